#include "patients/frmAddNewPatient.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "patients/PatientQueries.h"
#include "patients/frmPatientList.h"
#include "patients/modOLEObject.h"
#include "reports/modSaveRecordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/MainFrame.h"
#include "shell/Prompter.h"
#include "shell/TextArea.h"
#include "shell/WidgetUtils.h"
#include "shell/modMain.h"

namespace {

const QString kModule = QStringLiteral("frmAddNewPatient");
const QString kStagingName = QStringLiteral("temp-XXXXXX.bmp");

// A group of captioned fields, one per row.
QGroupBox *fieldGroup(QWidget *parent, const QString &caption,
                      const std::initializer_list<std::pair<const char *, QWidget *>> &rows)
{
    auto *group = new QGroupBox(caption, parent);
    auto *grid = new QGridLayout(group);
    int row = 0;
    for (const auto &entry : rows) {
        grid->addWidget(newBuddyLabel(group, QLatin1String(entry.first), entry.second), row, 0);
        grid->addWidget(entry.second, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    return group;
}

// The columns this window shows and writes.
QStringList savedColumns()
{
    return {"LastName", "FirstName", "MiddleName", "SSN", "MedicareNumber", "DateOfBirth",
            "Gender", "MaritalStatus", "Address1", "Address2", "City", "State", "Zip",
            "Country", "Phone", "Mobile", "ContactPerson", "ContactNo", "Notes", "Photo"};
}

[[noreturn]] void invalidValue(const QString &column, const QString &value)
{
    throw std::runtime_error(QStringLiteral("Invalid property value: %1 '%2' is not in the list.")
                                 .arg(column, value)
                                 .toStdString());
}

} // namespace

frmAddNewPatient::frmAddNewPatient(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmAddNewPatient"));
    setWindowTitle(QStringLiteral("Add New Patient"));
    buildWindow();

    for (QLineEdit *name : {txtLastname, txtFirstName, txtMiddleName})
        connect(name, &QLineEdit::textChanged, this, [this] { updateFullName(); });
    connect(cmdLoadImage, &QPushButton::clicked, this, [this] { cmdLoadImage_Click(); });
    connect(cmdSaveToFile, &QPushButton::clicked, this, [this] { cmdSaveToFile_Click(); });
    connect(cmdClear, &QPushButton::clicked, this, [this] { cmdClear_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmAddNewPatient::buildWindow()
{
    txtLastname = newLineEdit(this, "txtLastname");
    txtFirstName = newLineEdit(this, "txtFirstName");
    txtMiddleName = newLineEdit(this, "txtMiddleName");
    txtName = newLineEdit(this, "txtName");
    txtName->setEnabled(false);
    txtName->setFocusPolicy(Qt::NoFocus);
    txtName->setStyleSheet(QStringLiteral("QLineEdit { background: #ffffe1; color: black; }"));
    txtSSN = newLineEdit(this, "txtSSN", 20);
    txtMedicareNumber = newLineEdit(this, "txtMedicareNumber", 20);
    cboGender = new QComboBox(this);
    cboGender->setObjectName(QStringLiteral("cboGender"));
    cboGender->addItems({QStringLiteral("Male"), QStringLiteral("Female")});
    cboMaritalStatus = new QComboBox(this);
    cboMaritalStatus->setObjectName(QStringLiteral("cboMaritalStatus"));
    cboMaritalStatus->addItems({QStringLiteral("Single"), QStringLiteral("Married"),
                                QStringLiteral("Widowed"), QStringLiteral("Single Parent"),
                                QStringLiteral("Separated"), QStringLiteral("Partnered"),
                                QStringLiteral("Unmarried"), QStringLiteral("Divorced")});
    dtpBirthDate = new QDateEdit(QDate::currentDate(), this);
    dtpBirthDate->setObjectName(QStringLiteral("dtpBirthDate"));
    dtpBirthDate->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    dtpBirthDate->setCalendarPopup(true);
    txtContactPerson = newLineEdit(this, "txtContactPerson", 50);
    txtMobileNumber = newLineEdit(this, "txtMobileNumber", 50);
    txtPhoneNumber = newLineEdit(this, "txtPhoneNumber", 50);
    txtContactPersonNumber = newLineEdit(this, "txtContactPersonNumber", 50);
    txtAddress1 = newLineEdit(this, "txtAddress1", 50);
    txtAddress2 = newLineEdit(this, "txtAddress2", 50);
    txtCity = newLineEdit(this, "txtCity", 50);
    txtState = newLineEdit(this, "txtState", 50);
    txtZip = newLineEdit(this, "txtZip", 50);
    txtCountry = newLineEdit(this, "txtCountry", 50);
    txtNotes = new TextArea(this);
    txtNotes->setMaxLength(kNotesLimit);
    txtNotes->setObjectName(QStringLiteral("txtNotes"));
    txtNotes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtNotes->setFixedHeight(70);

    imgPhoto = new QLabel(this);
    imgPhoto->setObjectName(QStringLiteral("imgPhoto"));
    imgPhoto->setFixedSize(160, 180);
    imgPhoto->setFrameShape(QFrame::Box);
    imgPhoto->setAlignment(Qt::AlignCenter);
    cmdLoadImage = newButton(this, "cmdLoadImage", QStringLiteral("Load Image"));
    cmdSaveToFile = newButton(this, "cmdSaveToFile", QStringLiteral("Save to File"));
    cmdClear = newButton(this, "cmdClear", QStringLiteral("Clear"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setVisible(false);
    Command1 = newButton(this, "Command1", QStringLiteral("Export to PDF"));
    cmdSave = newButton(this, "cmdSave", QStringLiteral("Save"));
    cmdSave->setDefault(true);
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));

    auto *names = new QGridLayout;
    const std::pair<const char *, QLineEdit *> nameFields[] = {
        {"Last Name:", txtLastname},
        {"First Name:", txtFirstName},
        {"Middle Name:", txtMiddleName},
    };
    for (int i = 0; i < 3; ++i) {
        names->addWidget(newBuddyLabel(this, QLatin1String(nameFields[i].first),
                                       nameFields[i].second),
                         0, 2 * i);
        names->addWidget(nameFields[i].second, 0, 2 * i + 1);
        names->setColumnStretch(2 * i + 1, 1);
    }

    auto *identification = fieldGroup(this, QStringLiteral("Identification"),
                                      {{"Name:", txtName},
                                       {"SSN:", txtSSN},
                                       {"Medicare Number:", txtMedicareNumber}});
    auto *basic = fieldGroup(this, QStringLiteral("Basic Information"),
                             {{"Gender:", cboGender},
                              {"Marital Status:", cboMaritalStatus},
                              {"Date of Birth:", dtpBirthDate}});
    auto *contact = fieldGroup(this, QStringLiteral("Contact Information"),
                               {{"Contact Person:", txtContactPerson},
                                {"Mobile #:", txtMobileNumber},
                                {"Phone #:", txtPhoneNumber},
                                {"Contact #:", txtContactPersonNumber}});
    auto *address = fieldGroup(this, QStringLiteral("Address Information"),
                               {{"Address Line 1:", txtAddress1},
                                {"Address Line 2:", txtAddress2},
                                {"City/Town:", txtCity},
                                {"State/Province:", txtState},
                                {"Zip/Postal Code:", txtZip},
                                {"Country:", txtCountry}});
    auto *notes = new QGroupBox(QStringLiteral("Other Information/Notes"), this);
    (new QVBoxLayout(notes))->addWidget(txtNotes);

    auto *photo = new QVBoxLayout;
    photo->addWidget(new QLabel(QStringLiteral("Patient's Photo"), this));
    photo->addWidget(imgPhoto);
    photo->addWidget(cmdLoadImage);
    photo->addWidget(cmdSaveToFile);
    photo->addWidget(cmdClear);
    photo->addWidget(ProgressBar1);
    photo->addStretch();

    auto *groups = new QGridLayout;
    groups->addLayout(names, 0, 0, 1, 2);
    groups->addWidget(identification, 1, 0);
    groups->addWidget(basic, 1, 1);
    groups->addWidget(contact, 2, 0);
    groups->addWidget(address, 2, 1, 2, 1);
    groups->addWidget(notes, 3, 0);
    groups->addLayout(photo, 0, 2, 4, 1);

    auto *buttons = buttonRow({Command1}, {cmdSave, cmdCancel});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    setTabChain({txtFirstName, txtMiddleName, txtLastname, txtSSN, txtMedicareNumber,
                 dtpBirthDate, cboGender, cboMaritalStatus, txtAddress1, txtAddress2, txtCity,
                 txtState, txtZip, txtCountry, txtPhoneNumber, txtMobileNumber, txtContactPerson,
                 txtContactPersonNumber, txtNotes, cmdLoadImage, cmdSaveToFile, cmdClear, Command1,
                 cmdSave, cmdCancel});
}

void frmAddNewPatient::Form_Load()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("Form_Load"));
    step([&] { setWindowIcon(QIcon(QStringLiteral(":/medlantis.png"))); });
    step([&] { applyHandCursor(this, ctx.folders().program); });
    step([&] { setWindowTitle(applicationTitle()); });
}

void frmAddNewPatient::Form_Activate()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("Form_Activate"));
    Recordset rs;
    step([&] {
        ResetControls(this);
        m_photo = QImage();
        m_photoChanged = false;
        m_saving = false;
        ProgressBar1->setVisible(false);
        m_patientID.clear();
        m_guard.clear();
        m_newPatient = ctx.EditPatientID.isEmpty();
        txtFirstName->setFocus();
    });
    if (m_newPatient) {
        // Nothing is written until Save.
        step([&] { m_patientID = QString::number(nextPatientID(ctx.db())); });
        return;
    }
    step([&] {
        m_patientID = ctx.EditPatientID;
        rs.Open(QStringLiteral("Select * from PatientRecords where PatientID=")
                    + sqlId(m_patientID),
                ctx.db(), adOpenStatic, adLockReadOnly);
        if (rs.isEOF()) {
            step.stop();
            return;
        }
        m_guard.load(rs, QStringLiteral("PatientRecords"), QStringLiteral("PatientID"),
                     m_patientID, savedColumns());
        Audit::view(ctx.db(), QStringLiteral("PatientRecords"), m_patientID, m_patientID);
    });
    // A missing value leaves its box empty.
    const auto fill = [&](QLineEdit *box, const char *column) {
        step([&] { showWhole(box, rs.Text(QLatin1String(column))); });
    };
    const auto choose = [&](QComboBox *box, const char *column) {
        step([&] {
            const QString value = rs.Text(QLatin1String(column));
            if (value.isEmpty())
                return;
            const int index = box->findText(value, Qt::MatchFixedString);
            if (index < 0)
                invalidValue(QLatin1String(column), value);
            box->setCurrentIndex(index);
        });
    };
    fill(txtFirstName, "FirstName");
    fill(txtLastname, "LastName");
    fill(txtMiddleName, "MiddleName");
    fill(txtSSN, "SSN");
    fill(txtMedicareNumber, "MedicareNumber");
    step([&] {
        const QString stored = rs.Text(QStringLiteral("DateOfBirth"));
        if (stored.isEmpty())
            return;
        const QDate born = dateFromText(stored);
        if (!born.isValid())
            throw std::runtime_error(
                QStringLiteral("Type mismatch: '%1' is not a date.").arg(stored).toStdString());
        dtpBirthDate->setDate(born);
    });
    choose(cboGender, "Gender");
    choose(cboMaritalStatus, "MaritalStatus");
    fill(txtAddress1, "Address1");
    fill(txtAddress2, "Address2");
    fill(txtCity, "City");
    fill(txtState, "State");
    fill(txtZip, "Zip");
    fill(txtCountry, "Country");
    fill(txtPhoneNumber, "Phone");
    fill(txtMobileNumber, "Mobile");
    fill(txtContactPerson, "ContactPerson");
    fill(txtContactPersonNumber, "ContactNo");
    step([&] {
        // Notes written elsewhere may be longer than the box lets one type.
        txtNotes->setText(rs.Text(QStringLiteral("Notes")));
    });
    step([&] {
        if (rs.IsNull(QStringLiteral("Photo")))
            return;
        const QString staging = ctx.newTempFile(kStagingName);
        BlobToFile(rs, QStringLiteral("Photo"), staging);
        if (FileExists(staging)) {
            setPhoto(QImage(staging));
            RemoveFile(staging);
        }
    });
}

void frmAddNewPatient::updateFullName()
{
    txtName->setText(
        patientFullName(txtFirstName->text(), txtMiddleName->text(), txtLastname->text()));
}

void frmAddNewPatient::setPhoto(const QImage &picture)
{
    // Kept as it is stored, so a large one stored before is saved scaled down.
    m_photo = photoForStorage(picture);
    if (picture.isNull()) {
        imgPhoto->clear();
        return;
    }
    const QSize room = imgPhoto->contentsRect().size();
    imgPhoto->setPixmap(QPixmap::fromImage(
        picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

bool frmAddNewPatient::fieldsComplete()
{
    const auto refuse = [this](const char *text, const char *title, QWidget *focus) {
        ctx.prompter().message(QLatin1String(text), QLatin1String(title), MsgIcon::Warning,
                               MsgButtons::OK);
        if (focus)
            focus->setFocus();
        return false;
    };
    if (txtLastname->text().isEmpty())
        return refuse("Please indicate patient's Last name.", "Last Name Required", txtLastname);
    if (txtFirstName->text().isEmpty())
        return refuse("Please indicate patient's First name.", "First Name Required",
                      txtFirstName);
    if (dtpBirthDate->date() > QDate::currentDate())
        return refuse("Birthdate must be before current date.", "Invalid BirthDate",
                      dtpBirthDate);
    if (cboGender->currentText().isEmpty())
        return refuse("Please indicate patient's Gender.", "Gender Required", nullptr);
    if (cboMaritalStatus->currentText().isEmpty())
        return refuse("Please indicate patient's Marital Status.", "Marital Status Required",
                      cboMaritalStatus);
    return true;
}

PatientFields frmAddNewPatient::fields() const
{
    PatientFields f;
    f.LastName = txtLastname->text();
    f.FirstName = txtFirstName->text();
    f.MiddleName = txtMiddleName->text();
    f.SSN = txtSSN->text();
    f.MedicareNumber = txtMedicareNumber->text();
    f.DateOfBirth = dtpBirthDate->date();
    f.Gender = cboGender->currentText();
    f.MaritalStatus = cboMaritalStatus->currentText();
    f.Address1 = txtAddress1->text();
    f.Address2 = txtAddress2->text();
    f.City = txtCity->text();
    f.State = txtState->text();
    f.Zip = txtZip->text();
    f.Country = txtCountry->text();
    f.Phone = txtPhoneNumber->text();
    f.Mobile = txtMobileNumber->text();
    f.ContactPerson = txtContactPerson->text();
    f.ContactNo = txtContactPersonNumber->text();
    f.Notes = txtNotes->text();
    return f;
}

void frmAddNewPatient::writePatient(const PatientFields &values, bool writePhoto,
                                    const QString &photoFile)
{
    Connection &db = ctx.db();
    Transaction transaction(db);
    QString id = m_patientID;
    bool exists = false;
    if (m_newPatient) {
        // Another workstation may have taken this id since the window opened,
        // or given it to visits: never write over those, take the next free id.
        id = QString::number(std::max(id.toLongLong(), nextPatientID(db)));
    } else {
        Recordset rs;
        rs.Open(QStringLiteral("select * from [PatientRecords] where patientid=") + sqlId(id), db,
                adOpenDynamic, adLockOptimistic);
        exists = !rs.isEOF();
    }
    // The change and its trail row go together.
    Audit::recordWrite(
        db, m_newPatient ? QStringLiteral("Add") : QStringLiteral("Update"),
        QStringLiteral("PatientRecords"), QStringLiteral("PatientID"), id, id, [&] {
            if (!exists)
                db.Execute(QStringLiteral("insert into [PatientRecords] ([PatientID]) values (")
                           + sqlId(id) + QLatin1Char(')'));
            db.Execute(patientUpdateSql(values, id));
            if (!writePhoto) {
                // The stored picture stays byte for byte as it is.
            } else if (photoFile.isEmpty()) {
                db.Execute(
                    QStringLiteral("Update [PatientRecords] set [Photo]=null where PatientID=")
                    + sqlId(id));
            } else {
                ProgressBar1->setVisible(true);
                ProgressBar1->setValue(0);
                FileToBlob(db,
                           QStringLiteral("select [Photo] from [PatientRecords] where "
                                          "[PatientID]=")
                               + id,
                           photoFile, ProgressBar1);
                ProgressBar1->setVisible(false);
            }
        });
    transaction.commit();
    m_patientID = id;
    m_newPatient = false;
}

void frmAddNewPatient::cmdSave_Click()
{
    if (m_saving || !fieldsComplete())
        return;
    m_saving = true;
    Steps step(ctx.prompter(), kModule, QStringLiteral("cmdSave_Click"));
    // Staged even when unchanged: saving over another workstation's change
    // writes the picture this window shows.
    const bool withPhoto = !m_photo.isNull();
    QString staging;
    bool written = false;
    step([&] {
        if (withPhoto)
            staging = ctx.newTempFile(kStagingName);
        if (withPhoto && !m_photo.save(staging, "BMP"))
            throw std::runtime_error(
                QStringLiteral("Cannot write the file %1.").arg(staging).toStdString());
    });
    step([&] {
        if (step.failed())
            return;
        written = saveGuarded(ctx.db(), ctx.prompter(), m_guard, [&] {
                      const bool writePhoto =
                          m_newPatient || m_photoChanged || m_guard.overriding();
                      writePatient(fields(), writePhoto, withPhoto ? staging : QString());
                  })
                  == GuardedSave::Saved;
    });
    step([&] {
        ProgressBar1->setVisible(false);
        if (!staging.isEmpty())
            RemoveFile(staging);
    });
    m_saving = false;
    // After a failure, or a change elsewhere not saved over, the window stays
    // open with everything typed.
    if (!written)
        return;
    step([&] { close(); });
    step([&] {
        QApplication::processEvents();
        QApplication::processEvents();
    });
    // Showing the list runs its activation, which reloads it.
    step([&] { ctx.mainFrame().showChild(ctx.window<frmPatientList>()); });
}

void frmAddNewPatient::Command1_Click()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("Command1_Click"));
    Recordset rs;
    step([&] {
        rs.Open(QStringLiteral("select * from PatientRecords where PatientID=")
                    + sqlId(m_patientID),
                ctx.db(), adOpenStatic, adLockReadOnly);
    });
    step([&] {
        if (!rs.State()) {
            step.stop();
        } else if (rs.isEOF()) {
            ctx.prompter().message(QStringLiteral("No record found."),
                                   QStringLiteral("No Record Found"), MsgIcon::Warning,
                                   MsgButtons::OK);
            step.stop();
        }
    });
    step([&] { SaveRecordsetToPDF(rs, QString(), ctx); });
}

void frmAddNewPatient::cmdLoadImage_Click()
{
    const QString file = ctx.prompter().openFile(
        QStringLiteral("Select Photo"),
        QStringLiteral("All Photo Files (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp|"));
    if (file.isEmpty() || !FileExists(file))
        return;
    QString reason;
    const QImage picture = loadPhoto(file, &reason);
    if (picture.isNull()) {
        ctx.prompter().message(QStringLiteral("The picture %1 cannot be used: %2.")
                                   .arg(QDir::toNativeSeparators(file), reason),
                               QStringLiteral("Load Image"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        return;
    }
    setPhoto(picture);
    m_photoChanged = true;
}

void frmAddNewPatient::cmdSaveToFile_Click()
{
    if (m_photo.isNull()) {
        ctx.prompter().message(QStringLiteral("There is no photo to save."),
                               QStringLiteral("Save to File"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        return;
    }
    const QString file = ctx.prompter().saveFile(
        QStringLiteral("Save File As"), QStringLiteral("Bitmap Image Files (*.bmp)|*.bmp|"));
    if (file.isEmpty())
        return;
    trapped(ctx.prompter(), kModule, QStringLiteral("cmdSaveToFile_Click"), 100, [&] {
        // Written beside the target and renamed, so a failure keeps any old file.
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly) || !m_photo.save(&out, "BMP") || !out.commit())
            throw std::runtime_error(QStringLiteral("Cannot write the file %1: %2")
                                         .arg(QDir::toNativeSeparators(file), out.errorString())
                                         .toStdString());
    });
}

void frmAddNewPatient::cmdClear_Click()
{
    setPhoto(QImage());
    m_photoChanged = true;
}
