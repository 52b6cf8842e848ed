#pragma once

#include "reports/ReportLayout.h"

// The program's four printed reports.
ReportLayout DRPatientList();
ReportLayout DRUserList();
// Callers set the captions of "lblPatientID" and "lblPatientName" first.
ReportLayout DRMedicalHistoryIndividual();
ReportLayout DRMedicalHistoryAll();
