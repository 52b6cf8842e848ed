list(APPEND CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ReportData.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReportEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReportLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReportLayouts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextTablePdf.cpp
    ${CMAKE_CURRENT_LIST_DIR}/modSaveRecordset.cpp
)
list(APPEND UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ReportPageView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReportPreview.cpp
)
