list(APPEND CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/AppState.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ErrorTrap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PrivateFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RowGuard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SystemModule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/modMain.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/AppContext.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IdleLock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ListViews.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QtPrompter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextArea.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextLimit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WidgetUtils.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Ribbon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StatusBarPanes.cpp
)
