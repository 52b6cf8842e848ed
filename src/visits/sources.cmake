list(APPEND CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PatientHeader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VisitListModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VisitRecord.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PatientInfoFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VisitPrint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmAddNewPatientRecord.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmPatientHistory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmPatientVisit.cpp
)
