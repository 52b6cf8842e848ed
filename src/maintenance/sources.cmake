list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frmNetworkSettings.cpp
)
list(APPEND CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/AuditAnchors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AutomaticBackup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AuditTrailModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BulkCopy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DatabaseFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RestoreSource.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ExitBackup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmAuditTrail.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmBackupData.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmRestoreData.cpp
)
