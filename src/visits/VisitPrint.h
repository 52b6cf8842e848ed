#pragma once

class AppContext;
class Prompter;
class QWidget;
class Steps;

// "No record found." / "No Record Found", for a patient without visits.
void tellNoRecordFound(Prompter &prompter);

// Prints every visit of SelectedPatientID, oldest first, through
// DRMedicalHistoryIndividual; a patient without visits gets tellNoRecordFound.
void printPatientVisits(AppContext &ctx, Steps &step, QWidget *owner);
