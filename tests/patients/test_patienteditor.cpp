#include <functional>

#include <QBuffer>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "data/Recordset.h"
#include "patients/PatientListModel.h"
#include "patients/PatientQueries.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmPatientList.h"
#include "app/MDIFormMain.h"
#include "shell/TextArea.h"
#include "support/TestWorld.h"

namespace {

using Script = std::function<void(frmAddNewPatient &)>;

// Opens the editor as the ribbon or the list does and runs script inside it.
void withEditor(TestWorld &w, const QString &editPatientID, const Script &script)
{
    w.ctx().EditPatientID = editPatientID;
    w.ctx().modalHook = [&](Form &f) { script(static_cast<frmAddNewPatient &>(f)); };
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>());
    w.ctx().modalHook = nullptr;
}

void fillNames(frmAddNewPatient &ed, const QString &last, const QString &first)
{
    ed.txtLastname->setText(last);
    ed.txtFirstName->setText(first);
}

QVariant column(TestWorld &w, int id, const QString &name)
{
    return w.scalar(QStringLiteral("select %1 from PatientRecords where PatientID=%2")
                        .arg(name)
                        .arg(id));
}

QString writePicture(TestWorld &w, const QString &name, const char *format)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 5, (x + y) % 256));
    }
    const QString path = w.path(name);
    EXPECT_TRUE(picture.save(path, format));
    return path;
}

QByteArray bmpBytes(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return bytes;
}

} // namespace

TEST(PatientEditor, NewIdIsAboveEveryPatientAndVisitAndNothingIsWrittenBeforeSave)
{
    TestWorld w;
    QString id;
    withEditor(w, QString(), [&](frmAddNewPatient &ed) { id = ed.patientID(); });
    EXPECT_EQ(id, QStringLiteral("1"));

    for (int i = 1; i <= 7; ++i)
        w.addPatient(i, QStringLiteral("Last%1").arg(i), QStringLiteral("First"));
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        id = ed.patientID();
        fillNames(ed, QStringLiteral("Cancelled"), QStringLiteral("Carl"));
        ed.cmdCancel->click();
        EXPECT_FALSE(ed.isVisible());
    });
    EXPECT_EQ(id, QStringLiteral("8"));
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 7);

    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        fillNames(ed, QStringLiteral("Eighth"), QStringLiteral("Eve"));
        ed.cmdSave->click();
    });
    EXPECT_EQ(column(w, 8, QStringLiteral("LastName")).toString(), QStringLiteral("Eighth"));
    // A patient deleted without visits leaves nothing behind: the id is free.
    w.exec(QStringLiteral("delete from PatientRecords where PatientID=8"));
    withEditor(w, QString(), [&](frmAddNewPatient &ed) { id = ed.patientID(); });
    EXPECT_EQ(id, QStringLiteral("8"));

    // Patient 7 is deleted; its visits stay. The next patient must not inherit them.
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID, ChiefComplaint) "
                          "values (1, 7, 'Chest pain')"));
    w.exec(QStringLiteral("delete from PatientRecords where PatientID=7"));
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        id = ed.patientID();
        fillNames(ed, QStringLiteral("Newcomer"), QStringLiteral("Nina"));
        ed.cmdSave->click();
    });
    EXPECT_EQ(id, QStringLiteral("8"));
    EXPECT_EQ(w.scalar(QStringLiteral("select PatientID from PatientRecords where "
                                      "LastName='Newcomer'"))
                  .toInt(),
              8);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from MedicalHistory where PatientID=8"))
                  .toInt(),
              0);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from MedicalHistory where PatientID=7"))
                  .toInt(),
              1);

    // The same holds when the id was taken at save: visits under the id the window
    // chose, left by a patient another workstation added and deleted meanwhile.
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        EXPECT_EQ(ed.patientID(), QStringLiteral("9"));
        w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID) values (2, 9)"));
        fillNames(ed, QStringLiteral("Later"), QStringLiteral("Lou"));
        ed.cmdSave->click();
    });
    EXPECT_EQ(w.scalar(QStringLiteral("select PatientID from PatientRecords where "
                                      "LastName='Later'"))
                  .toInt(),
              10);
}

TEST(PatientEditor, RefusesIncompleteFieldsInOrder)
{
    TestWorld w;
    const QDate today = QDate::currentDate();
    const struct
    {
        const char *name;
        std::function<void(frmAddNewPatient &)> spoil;
        const char *text; // nullptr: saved
        const char *title;
        std::function<QWidget *(frmAddNewPatient &)> focus;
    } cases[] = {
        {"no last name", [](frmAddNewPatient &ed) { ed.txtLastname->clear(); },
         "Please indicate patient's Last name.", "Last Name Required",
         [](frmAddNewPatient &ed) { return ed.txtLastname; }},
        {"no names at all",
         [](frmAddNewPatient &ed) {
             ed.txtLastname->clear();
             ed.txtFirstName->clear();
         },
         "Please indicate patient's Last name.", "Last Name Required",
         [](frmAddNewPatient &ed) { return ed.txtLastname; }},
        {"no first name", [](frmAddNewPatient &ed) { ed.txtFirstName->clear(); },
         "Please indicate patient's First name.", "First Name Required",
         [](frmAddNewPatient &ed) { return ed.txtFirstName; }},
        {"born tomorrow",
         [&](frmAddNewPatient &ed) { ed.dtpBirthDate->setDate(today.addDays(1)); },
         "Birthdate must be before current date.", "Invalid BirthDate",
         [](frmAddNewPatient &ed) { return ed.dtpBirthDate; }},
        {"no gender", [](frmAddNewPatient &ed) { ed.cboGender->setCurrentIndex(-1); },
         "Please indicate patient's Gender.", "Gender Required", nullptr},
        {"no marital status",
         [](frmAddNewPatient &ed) { ed.cboMaritalStatus->setCurrentIndex(-1); },
         "Please indicate patient's Marital Status.", "Marital Status Required",
         [](frmAddNewPatient &ed) { return ed.cboMaritalStatus; }},
        {"last name one space, born today",
         [&](frmAddNewPatient &ed) {
             ed.txtLastname->setText(QStringLiteral(" "));
             ed.dtpBirthDate->setDate(today);
         },
         nullptr, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        w.prompter().clear();
        const int before = w.count(QStringLiteral("PatientRecords"));
        withEditor(w, QString(), [&](frmAddNewPatient &ed) {
            EXPECT_EQ(ed.cboGender->currentText(), QStringLiteral("Male"));
            EXPECT_EQ(ed.cboMaritalStatus->currentText(), QStringLiteral("Single"));
            fillNames(ed, QStringLiteral("Doe"), QStringLiteral("Jane"));
            c.spoil(ed);
            ed.txtSSN->setFocus();
            ed.cmdSave->click();
            if (!c.text) {
                EXPECT_FALSE(ed.isVisible());
                return;
            }
            EXPECT_TRUE(ed.isVisible());
            ASSERT_EQ(w.prompter().boxes.size(), 1u);
            EXPECT_EQ(w.prompter().last().text, QLatin1String(c.text));
            EXPECT_EQ(w.prompter().last().title, QLatin1String(c.title));
            EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
            EXPECT_EQ(ed.focusWidget(), c.focus ? c.focus(ed) : ed.txtSSN);
        });
        EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), before + (c.text ? 0 : 1));
    }
}

TEST(PatientEditor, StoresAndShowsEveryFieldExactly)
{
    TestWorld w;
    QString notes = QStringLiteral("Żółw 'quoted' \"double\" 100% a_b\nline two ");
    while (notes.size() < 300)
        notes += QStringLiteral("ß漢");
    const struct
    {
        QLineEdit *frmAddNewPatient::*box;
        const char *column;
        QString value;
    } fields[] = {
        {&frmAddNewPatient::txtLastname, "LastName", QStringLiteral("O'Brien")},
        {&frmAddNewPatient::txtFirstName, "FirstName", QStringLiteral("Séan \"Jack\"")},
        {&frmAddNewPatient::txtMiddleName, "MiddleName", QStringLiteral("d'Arcy_%")},
        {&frmAddNewPatient::txtSSN, "SSN", QStringLiteral("123-45-'6789'_%%%%")},
        {&frmAddNewPatient::txtMedicareNumber, "MedicareNumber", QStringLiteral("МЕД-42")},
        {&frmAddNewPatient::txtAddress1, "Address1", QStringLiteral("1 Queen's Rd; --")},
        {&frmAddNewPatient::txtAddress2, "Address2", QStringLiteral("Flat 'B'")},
        {&frmAddNewPatient::txtCity, "City", QStringLiteral("Αθήνα")},
        {&frmAddNewPatient::txtState, "State", QStringLiteral("N'Djamena")},
        {&frmAddNewPatient::txtZip, "Zip", QStringLiteral("00_1%")},
        {&frmAddNewPatient::txtCountry, "Country", QStringLiteral("Côte d'Ivoire")},
        {&frmAddNewPatient::txtPhoneNumber, "Phone", QStringLiteral("+1 (555) 'x'")},
        {&frmAddNewPatient::txtMobileNumber, "Mobile", QStringLiteral("٠١٢٣")},
        {&frmAddNewPatient::txtContactPerson, "ContactPerson", QStringLiteral("Mary O'Neil")},
        {&frmAddNewPatient::txtContactPersonNumber, "ContactNo", QStringLiteral("\"555\"")},
    };
    const QDate born(1971, 2, 28);
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        for (const auto &f : fields)
            (ed.*f.box)->setText(f.value);
        ed.dtpBirthDate->setDate(born);
        ed.cboGender->setCurrentText(QStringLiteral("Female"));
        ed.cboMaritalStatus->setCurrentText(QStringLiteral("Single Parent"));
        ed.txtNotes->insertPlainText(notes); // pasted: more than the box takes
        EXPECT_EQ(ed.txtNotes->toPlainText(), notes.left(frmAddNewPatient::kNotesLimit));
        ed.cmdSave->click();
    });
    ASSERT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
    for (const auto &f : fields)
        EXPECT_EQ(column(w, 1, QLatin1String(f.column)).toString(), f.value) << f.column;
    EXPECT_EQ(column(w, 1, QStringLiteral("Notes")).toString(),
              notes.left(frmAddNewPatient::kNotesLimit));
    EXPECT_EQ(column(w, 1, QStringLiteral("DateOfBirth")).toString(),
              QStringLiteral("1971-02-28"));
    EXPECT_EQ(column(w, 1, QStringLiteral("Gender")).toString(), QStringLiteral("Female"));
    EXPECT_TRUE(column(w, 1, QStringLiteral("Photo")).isNull());

    withEditor(w, QStringLiteral("1"), [&](frmAddNewPatient &ed) {
        for (const auto &f : fields)
            EXPECT_EQ((ed.*f.box)->text(), f.value) << f.column;
        EXPECT_EQ(ed.txtNotes->toPlainText(), notes.left(frmAddNewPatient::kNotesLimit));
        EXPECT_EQ(ed.dtpBirthDate->date(), born);
        EXPECT_EQ(ed.dtpBirthDate->displayFormat(), QStringLiteral("MM/dd/yyyy"));
        EXPECT_EQ(ed.cboMaritalStatus->currentText(), QStringLiteral("Single Parent"));
        EXPECT_EQ(ed.txtName->text(), QStringLiteral("Séan \"jack\" D'arcy_% O'brien"));
        // Saving again changes nothing.
        ed.cmdSave->click();
    });
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
    EXPECT_EQ(column(w, 1, QStringLiteral("LastName")).toString(), QStringLiteral("O'Brien"));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_NE(patientUpdateSql(PatientFields{QStringLiteral("O'Brien")}, QStringLiteral("1"))
                  .indexOf(QStringLiteral("[LastName]='O''Brien',")),
              -1);
}

TEST(PatientEditor, FullNameInProperCase)
{
    const struct
    {
        const char *first, *middle, *last, *expected;
    } cases[] = {
        {"mary", "ann", "SMITH", "Mary Ann Smith"},
        {"mary", "", "SMITH", "Mary Smith"},
        {"john", "  ", "doe", "John Doe"},
        {"jean-luc", "de la", "PICARD", "Jean-luc De La Picard"},
        {"élodie", "", "ÇELIK", "Élodie Çelik"},
    };
    TestWorld w;
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        EXPECT_FALSE(ed.txtName->isEnabled());
        EXPECT_EQ(ed.txtName->focusPolicy(), Qt::NoFocus);
        for (const auto &c : cases) {
            ed.txtFirstName->setText(QString::fromUtf8(c.first));
            ed.txtMiddleName->setText(QString::fromUtf8(c.middle));
            ed.txtLastname->setText(QString::fromUtf8(c.last));
            EXPECT_EQ(ed.txtName->text(), QString::fromUtf8(c.expected)) << c.expected;
        }
    });
}

TEST(PatientEditor, AnIdTakenBehindTheWindowsBackGoesToTheNextFreeId)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("First"), QStringLiteral("Fay"));
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        ASSERT_EQ(ed.patientID(), QStringLiteral("2"));
        // Another workstation saves its new patient under the same id.
        w.addPatient(2, QStringLiteral("Elsewhere"), QStringLiteral("Eli"));
        fillNames(ed, QStringLiteral("Here"), QStringLiteral("Hal"));
        ed.cmdSave->click();
        EXPECT_FALSE(ed.isVisible());
        EXPECT_EQ(ed.patientID(), QStringLiteral("3"));
    });
    EXPECT_EQ(column(w, 2, QStringLiteral("LastName")).toString(), QStringLiteral("Elsewhere"));
    EXPECT_EQ(column(w, 2, QStringLiteral("FirstName")).toString(), QStringLiteral("Eli"));
    EXPECT_EQ(column(w, 3, QStringLiteral("LastName")).toString(), QStringLiteral("Here"));
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 3);
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
}

TEST(PatientEditor, AFailingSaveKeepsTheWindowOpenWithEverythingTyped)
{
    TestWorld w;
    for (int i = 1; i <= 4; ++i)
        w.addPatient(i, QStringLiteral("Last%1").arg(i), QStringLiteral("First"));
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    main.CommandBars_Execute(9028, QStringLiteral("View Patient List"));
    frmPatientList &list = w.ctx().window<frmPatientList>();
    list.ListView1->setCurrentIndex(list.model().index(2, 0));
    const QString picture = writePicture(w, QStringLiteral("face.bmp"), "BMP");
    // The photo is written last; its failure must undo the row as well.
    w.exec(QStringLiteral("create trigger full_disk before update of Photo on PatientRecords "
                          "begin select raise(abort, 'database or disk is full'); end"));

    bool checked = false;
    w.ctx().EditPatientID.clear();
    w.ctx().modalHook = [&](Form &f) {
        auto &ed = static_cast<frmAddNewPatient &>(f);
        fillNames(ed, QStringLiteral("Kept"), QStringLiteral("Kay"));
        ed.txtCity->setText(QStringLiteral("Oslo"));
        w.prompter().files = {picture};
        ed.cmdLoadImage->click();
        ed.cmdSave->click();

        EXPECT_TRUE(ed.isVisible());
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
        EXPECT_TRUE(
            w.prompter().last().text.startsWith(QStringLiteral("database or disk is full")));
        EXPECT_TRUE(w.prompter().last().text.contains(
            QStringLiteral("frmAddNewPatient.cmdSave_Click")));
        EXPECT_EQ(ed.txtLastname->text(), QStringLiteral("Kept"));
        EXPECT_EQ(ed.txtCity->text(), QStringLiteral("Oslo"));
        EXPECT_FALSE(ed.photo().isNull());
        EXPECT_FALSE(ed.ProgressBar1->isVisible());
        EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 4);
        EXPECT_EQ(w.tempFilesLeft(), QStringList());
        EXPECT_EQ(list.ListView1->currentIndex().row(), 2); // not reloaded

        // Once the fault is gone the same window saves what was typed.
        w.exec(QStringLiteral("drop trigger full_disk"));
        ed.cmdSave->click();
        EXPECT_FALSE(ed.isVisible());
        checked = true;
    };
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>(), &list);
    EXPECT_TRUE(checked);
    EXPECT_EQ(column(w, 5, QStringLiteral("City")).toString(), QStringLiteral("Oslo"));
    EXPECT_FALSE(column(w, 5, QStringLiteral("Photo")).isNull());
    EXPECT_EQ(list.model().rowCount(), 5);
}

TEST(PatientEditor, APhotoIsStoredAsTheBitmapOfThePictureAndComesBack)
{
    TestWorld w;
    const QString jpeg = writePicture(w, QStringLiteral("face.jpg"), "JPG");
    QByteArray shownAsBmp;
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        fillNames(ed, QStringLiteral("Photo"), QStringLiteral("Pat"));
        w.prompter().files = {jpeg};
        ed.cmdLoadImage->click();
        ASSERT_FALSE(ed.photo().isNull());
        EXPECT_FALSE(ed.imgPhoto->pixmap().isNull());
        EXPECT_EQ(w.prompter().dialogs.back().title, QStringLiteral("Select Photo"));
        EXPECT_EQ(w.prompter().dialogs.back().filter,
                  QStringLiteral("All Photo Files (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp|"));
        shownAsBmp = bmpBytes(ed.photo());
        ed.cmdSave->click();
    });
    const QByteArray stored = column(w, 1, QStringLiteral("Photo")).toByteArray();
    EXPECT_TRUE(stored.startsWith("BM"));
    EXPECT_EQ(stored, shownAsBmp);
    EXPECT_EQ(w.tempFilesLeft(), QStringList());

    const QString saved = w.path(QStringLiteral("out.bmp"));
    withEditor(w, QStringLiteral("1"), [&](frmAddNewPatient &ed) {
        ASSERT_FALSE(ed.photo().isNull());
        EXPECT_EQ(bmpBytes(ed.photo()), stored);
        EXPECT_EQ(w.tempFilesLeft(), QStringList());
        w.prompter().files = {saved};
        ed.cmdSaveToFile->click();
        EXPECT_EQ(w.prompter().dialogs.back().title, QStringLiteral("Save File As"));
        EXPECT_EQ(w.prompter().dialogs.back().filter,
                  QStringLiteral("Bitmap Image Files (*.bmp)|*.bmp|"));
        ed.cmdClear->click();
        EXPECT_TRUE(ed.imgPhoto->pixmap().isNull());
        ed.cmdSave->click();
    });
    QFile out(saved);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), stored);
    EXPECT_TRUE(column(w, 1, QStringLiteral("Photo")).isNull());
    EXPECT_EQ(column(w, 1, QStringLiteral("LastName")).toString(), QStringLiteral("Photo"));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
}

TEST(PatientEditor, NoPictureToLoadOrSaveIsSaidAndChangesNothing)
{
    TestWorld w;
    const QString picture = writePicture(w, QStringLiteral("face.bmp"), "BMP");
    const QString notPicture = w.path(QStringLiteral("notes.jpg"));
    {
        QFile file(notPicture);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not a picture at all");
    }
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        ed.cmdSaveToFile->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text, QStringLiteral("There is no photo to save."));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_TRUE(w.prompter().dialogs.empty());

        w.prompter().files = {picture, notPicture, QString()};
        ed.cmdLoadImage->click();
        const QImage loaded = ed.photo();
        ASSERT_FALSE(loaded.isNull());
        ed.cmdLoadImage->click();
        ASSERT_EQ(w.prompter().boxes.size(), 2u);
        EXPECT_TRUE(w.prompter().last().text.startsWith(
            QStringLiteral("The picture %1 cannot be used: ").arg(notPicture)))
            << w.prompter().last().text.toStdString();
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Load Image"));
        EXPECT_EQ(ed.photo(), loaded);
        ed.cmdLoadImage->click(); // cancelled
        EXPECT_EQ(ed.photo(), loaded);
        EXPECT_EQ(w.prompter().boxes.size(), 2u);

        // Nothing saved yet, so nothing to export.
        ed.Command1->click();
        ASSERT_EQ(w.prompter().boxes.size(), 3u);
        EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Record Found"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
    });
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 0);
}

TEST(PatientEditor, AddingFromTheRibbonOpensTheListWithTheNewPatient)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Zeta"), QStringLiteral("Zoe"));
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    w.ctx().EditPatientID = QStringLiteral("1");
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    w.ctx().modalHook = [&](Form &f) {
        auto &ed = static_cast<frmAddNewPatient &>(f);
        EXPECT_EQ(ed.windowTitle(), QStringLiteral("Medlantis"));
        EXPECT_TRUE(ed.txtLastname->text().isEmpty()); // a new patient, whatever came before
        fillNames(ed, QStringLiteral("Alpha"), QStringLiteral("Al"));
        QTest::keyClick(&ed, Qt::Key_Return); // Enter saves
    };
    main.CommandBars_Execute(9031, QStringLiteral("Add Patient"));
    frmPatientList &list = w.ctx().window<frmPatientList>();
    ASSERT_TRUE(main.subWindowOf(list));
    EXPECT_TRUE(list.isVisible());
    ASSERT_EQ(list.model().rowCount(), 2);
    EXPECT_EQ(list.model().text(0, PatientListModel::LastName), QStringLiteral("Alpha"));
    EXPECT_EQ(list.model().text(0, PatientListModel::PatientID), QStringLiteral("2"));
}

TEST(PatientEditor, APhotoIsStoredAtMost800PixelsAcrossAndAHugeFileIsRefused)
{
    const struct
    {
        int width, height;
        const char *format;
        QSize stored;
    } pictures[] = {
        {1, 1, "BMP", {1, 1}},
        {20000, 100, "BMP", {800, 4}},
        {100, 20000, "JPG", {4, 800}},
        {2400, 2400, "JPG", {800, 800}},
        {800, 600, "BMP", {800, 600}},
    };
    for (const auto &p : pictures) {
        SCOPED_TRACE(std::to_string(p.width) + "x" + std::to_string(p.height));
        TestWorld w;
        QImage picture(p.width, p.height, QImage::Format_RGB32);
        for (int y = 0; y < p.height; ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < p.width; ++x)
                line[x] = qRgb(x % 256, y % 256, (x * y) % 256);
        }
        const QString file =
            w.path(QStringLiteral("face.") + QString::fromLatin1(p.format).toLower());
        ASSERT_TRUE(picture.save(file, p.format));
        withEditor(w, QString(), [&](frmAddNewPatient &ed) {
            fillNames(ed, QStringLiteral("Photo"), QStringLiteral("Pat"));
            w.prompter().files = {file};
            ed.cmdLoadImage->click();
            ed.cmdSave->click();
        });
        EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
        const QByteArray stored = column(w, 1, QStringLiteral("Photo")).toByteArray();
        EXPECT_TRUE(stored.startsWith("BM"));
        EXPECT_LT(stored.size(), 2 * 1024 * 1024);
        EXPECT_EQ(QImage::fromData(stored, "BMP").size(), p.stored);
    }

    TestWorld w;
    const QString huge = w.path(QStringLiteral("huge.bmp"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(60LL * 1024 * 1024));
    }
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        fillNames(ed, QStringLiteral("Photo"), QStringLiteral("Pat"));
        w.prompter().files = {huge};
        ed.cmdLoadImage->click();
        EXPECT_TRUE(ed.photo().isNull());
        ed.cmdSave->click();
    });
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("The picture %1 cannot be used: the file is larger than 50 MB.")
                  .arg(huge));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(column(w, 1, QStringLiteral("Photo")).isNull());
}

TEST(PatientEditor, NoNewPatientOnceTheLargestIdIsInUse)
{
    TestWorld w;
    w.exec(QStringLiteral("insert into PatientRecords (PatientID, LastName) values "
                          "(9223372036854775807, 'Last')"));
    withEditor(w, QString(), [&](frmAddNewPatient &ed) {
        fillNames(ed, QStringLiteral("Doe"), QStringLiteral("Jane"));
        ed.cmdSave->click();
    });
    ASSERT_FALSE(w.prompter().boxes.empty());
    for (const FakePrompter::Box &box : w.prompter().boxes)
        EXPECT_TRUE(box.text.startsWith(
            QStringLiteral("No new record can be added: the largest id is in use.")))
            << box.text.toStdString();
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
}
