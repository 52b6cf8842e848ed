list(APPEND CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/UserListModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UserSession.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Form1.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmSetAdmin.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frmAddNewUser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmUserList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmChangePassword.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmLocked.cpp
)
