list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frmNetworkSettings.cpp
)
