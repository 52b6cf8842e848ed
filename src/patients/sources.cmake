list(APPEND CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PatientListModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PatientQueries.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frmAddNewPatient.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmPatientList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/modOLEObject.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frmMedicalHistory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmSearchPatient.cpp
)
