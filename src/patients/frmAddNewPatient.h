#pragma once

#include <QImage>

#include "shell/Form.h"
#include "shell/RowGuard.h"

struct PatientFields;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TextArea;

// Adds a new patient (EditPatientID empty) or edits the one EditPatientID
// names: names, numbers, birth date, contact and address data, notes and
// a photo. Always shown modally.
class frmAddNewPatient : public Form
{
    Q_OBJECT
public:
    explicit frmAddNewPatient(AppContext &ctx);

    QLineEdit *txtLastname;
    QLineEdit *txtFirstName;
    QLineEdit *txtMiddleName;
    QLineEdit *txtName;
    QLineEdit *txtSSN;
    QLineEdit *txtMedicareNumber;
    QComboBox *cboGender;
    QComboBox *cboMaritalStatus;
    QDateEdit *dtpBirthDate;
    QLineEdit *txtContactPerson;
    QLineEdit *txtMobileNumber;
    QLineEdit *txtPhoneNumber;
    QLineEdit *txtContactPersonNumber;
    QLineEdit *txtAddress1;
    QLineEdit *txtAddress2;
    QLineEdit *txtCity;
    QLineEdit *txtState;
    QLineEdit *txtZip;
    QLineEdit *txtCountry;
    TextArea *txtNotes;
    QLabel *imgPhoto;
    QPushButton *cmdLoadImage;
    QPushButton *cmdSaveToFile;
    QPushButton *cmdClear;
    QProgressBar *ProgressBar1;
    QPushButton *Command1; // "Export to PDF"
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    static constexpr int kNotesLimit = 255;

    // The patient this window writes: allocated for a new patient, else EditPatientID.
    QString patientID() const { return m_patientID; }
    // The picture as loaded (imgPhoto shows it scaled); null when there is none.
    const QImage &photo() const { return m_photo; }

    void cmdSave_Click();
    void Command1_Click();
    void cmdLoadImage_Click();
    void cmdSaveToFile_Click();
    void cmdClear_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;

private:
    void buildWindow();
    void updateFullName();
    void setPhoto(const QImage &picture);
    // The five checks; false after telling the user what is missing.
    bool fieldsComplete();
    PatientFields fields() const;
    // Writes the row and the photo whole, or nothing at all.
    void writePatient(const PatientFields &values, bool writePhoto, const QString &photoFile);

    QString m_patientID;
    bool m_newPatient = true;
    QImage m_photo;
    // False while the picture is the one stored: then Save leaves the column alone.
    bool m_photoChanged = false;
    // The stored values the window opened with, for the check at Save.
    RowGuard m_guard;
    bool m_saving = false;
};
