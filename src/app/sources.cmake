# What assembles the program: the main window with its command dispatch and
# the start-up sequence. main.cpp is the executable's own.
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/MDIFormMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Startup.cpp
)
