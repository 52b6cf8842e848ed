#pragma once

#include <QGroupBox>

class QLineEdit;
struct PatientHeader;

// "Patient Information": seven read-only boxes the windows share. The boxes
// keep their control names, so a window exposes them as its own members.
class PatientInfoFrame : public QGroupBox
{
    Q_OBJECT
public:
    explicit PatientInfoFrame(QWidget *parent = nullptr);

    void fill(const PatientHeader &header);

    QLineEdit *txtLastname;
    QLineEdit *txtFirstname;
    QLineEdit *txtMi;
    QLineEdit *txtGender;
    QLineEdit *txtBirthDate;
    QLineEdit *txtAge;
    QLineEdit *txtCivilStatus;
};

// The frame's boxes under their control names, for a window that shows it.
struct PatientHeaderBoxes
{
    PatientInfoFrame *fraPatient = nullptr;
    QLineEdit *txtLastname = nullptr;
    QLineEdit *txtFirstname = nullptr;
    QLineEdit *txtMi = nullptr;
    QLineEdit *txtGender = nullptr;
    QLineEdit *txtBirthDate = nullptr;
    QLineEdit *txtAge = nullptr;
    QLineEdit *txtCivilStatus = nullptr;

    void makePatientFrame(QWidget *window);
};
