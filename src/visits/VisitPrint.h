#pragma once

#include <QString>

class AppContext;
class Prompter;
class QWidget;
class Steps;

// "No record found." / "No Record Found", for a patient without visits.
void tellNoRecordFound(Prompter &prompter);

// Prints every visit of the patient, oldest first, through
// DRMedicalHistoryIndividual; a patient without visits gets tellNoRecordFound.
void printPatientVisits(AppContext &ctx, const QString &patientId, Steps &step, QWidget *owner);
