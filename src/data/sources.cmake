list(APPEND CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Audit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AuditCheck.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Cipher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Connection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Credentials.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DatabaseLocation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Dialect.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Engine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PgCopy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PgEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Recordset.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Schema.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SqlId.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SqliteEngine.cpp
)
