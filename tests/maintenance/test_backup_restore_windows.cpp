#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include "maintenance/AutomaticBackup.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmBackupData.h"
#include "maintenance/frmRestoreData.h"
#include "patients/PatientListModel.h"
#include "patients/frmPatientList.h"
#include "app/MDIFormMain.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/modMain.h"
#include "support/TestWorld.h"
#include "users/UserSession.h"

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <class T>
T &opened(TestWorld &w)
{
    T &form = w.ctx().window<T>();
    form.show();
    return form;
}

QString setting(TestWorld &w, const char *key)
{
    return w.ctx().settings().GetSetting(QLatin1String(key), QStringLiteral("<unset>"));
}

// The connection is open and takes writes.
void expectUsableConnection(TestWorld &w)
{
    ASSERT_EQ(w.db().State(), 1);
    const int patients = w.count(QStringLiteral("PatientRecords"));
    w.addPatient(900, QStringLiteral("After"), QStringLiteral("Check"));
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), patients + 1);
}

} // namespace

TEST(frmBackupData, BacksUpIntoTheFolderTypedWithOrWithoutItsSeparator)
{
    for (const char *typed : {"Backups", "Backups/"}) {
        SCOPED_TRACE(typed);
        TestWorld w;
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
        QDir(w.root()).mkdir(QStringLiteral("Backups"));
        auto &form = opened<frmBackupData>(w);
        form.Text1->setText(w.path(QLatin1String(typed)));

        QTest::keyClick(form.Text2, Qt::Key_Return);

        EXPECT_TRUE(DatabaseFiles::isUsableDatabase(w.path(QStringLiteral("Backups/dbData.mdb")),
                                                    QString()));
        EXPECT_FALSE(QFile::exists(w.path(QStringLiteral("BackupsdbData.mdb"))));
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text, QStringLiteral("Database successfully backup."));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Medlantis"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
        EXPECT_TRUE(form.isVisible());
        expectUsableConnection(w);
    }
}

TEST(frmBackupData, DestinationIsStoredOnEveryEditButTheFileNameIsNot)
{
    TestWorld w;
    auto &form = opened<frmBackupData>(w);
    EXPECT_EQ(form.Text1->text(), w.path(QStringLiteral("desktop")) + QLatin1Char('/'));
    EXPECT_EQ(form.Text2->text(), QStringLiteral("dbData.mdb"));

    form.Text1->clear();
    for (const QChar c : QStringLiteral("/srv/bk")) {
        QTest::keyClick(form.Text1, c.toLatin1());
        EXPECT_EQ(setting(w, "Backup Destination"), form.Text1->text());
    }
    QTest::keyClick(form.Text1, Qt::Key_Backspace);
    EXPECT_EQ(setting(w, "Backup Destination"), QStringLiteral("/srv/b"));
    form.Text2->selectAll();
    QTest::keyClicks(form.Text2, QStringLiteral("monday.mdb"));

    form.close();
    ASSERT_FALSE(form.isVisible());
    form.show();
    EXPECT_EQ(form.Text1->text(), QStringLiteral("/srv/b"));
    EXPECT_EQ(form.Text2->text(), QStringLiteral("dbData.mdb"));
    EXPECT_EQ(setting(w, "Backup Filename"), QStringLiteral("<unset>"));

    auto &restore = opened<frmRestoreData>(w);
    EXPECT_EQ(restore.Text1->text(), QString());
    QTest::keyClicks(restore.Text1, QStringLiteral("/srv/b/dbData.mdb"));
    EXPECT_EQ(setting(w, "Backup File"), QStringLiteral("/srv/b/dbData.mdb"));
    restore.close();
    restore.show();
    EXPECT_EQ(restore.Text1->text(), QStringLiteral("/srv/b/dbData.mdb"));
}

TEST(frmBackupData, BrowseGivesTheChosenFolderOneSeparator)
{
    TestWorld w;
    auto &form = opened<frmBackupData>(w);
    w.prompter().files = {QStringLiteral("/srv/backups"), QStringLiteral("/"), QString()};

    form.cmdLoad->click();
    EXPECT_EQ(form.Text1->text(), QStringLiteral("/srv/backups/"));
    form.cmdLoad->click();
    EXPECT_EQ(form.Text1->text(), QStringLiteral("/"));
    form.cmdLoad->click(); // cancelled
    EXPECT_EQ(form.Text1->text(), QStringLiteral("/"));

    ASSERT_EQ(w.prompter().dialogs.size(), 3u);
    EXPECT_EQ(w.prompter().dialogs[0].kind, QStringLiteral("folder"));
    EXPECT_EQ(w.prompter().dialogs[0].title, QStringLiteral("Please select folder:"));
    EXPECT_EQ(w.prompter().dialogs[0].filter, QString());
    EXPECT_EQ(setting(w, "Backup Destination"), QStringLiteral("/"));
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST(frmBackupData, FailedBackupIsReportedAndTheConnectionIsOpenAgain)
{
    const struct
    {
        const char *folder;
        const char *name;
    } cases[] = {{"nowhere", "dbData.mdb"}, {"desktop", ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder);
        TestWorld w;
        auto &form = opened<frmBackupData>(w);
        form.Text1->setText(w.path(QLatin1String(c.folder)));
        form.Text2->setText(QLatin1String(c.name));

        form.cmdSave->click();

        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
        EXPECT_TRUE(w.prompter().last().text.contains(
            QStringLiteral("frmBackupData.cmdSave_Click at line 104")));
        EXPECT_TRUE(QDir(w.path(QStringLiteral("desktop"))).isEmpty());
        expectUsableConnection(w);
    }
}

TEST(frmBackupData, ReadOnlyDestinationIsReported)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write into read-only folders";
    TestWorld w;
    const QString folder = w.path(QStringLiteral("desktop"));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    auto &form = opened<frmBackupData>(w);

    form.cmdSave->click();

    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(QDir(folder).isEmpty());
    expectUsableConnection(w);
}

TEST(BackupAndRestore, RibbonCommandOpensTheBackupWindowModally)
{
    TestWorld w;
    MDIFormMain main(w.ctx());
    QString shown;
    w.ctx().modalHook = [&](Form &form) {
        shown = form.objectName();
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Backup Data"));
    };
    main.CommandBars_Execute(9023, QStringLiteral("Backup / Restore Patient Database"));
    EXPECT_EQ(shown, QStringLiteral("frmBackupData"));
}

TEST(BackupAndRestore, RestoreOfABackupBringsBackADeletedPatient)
{
    TestWorld w;
    w.signIn(1, QStringLiteral("Admin"), QStringLiteral("Administrator"));
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    auto &backup = opened<frmBackupData>(w);
    backup.cmdSave->click();
    const QString copy = w.path(QStringLiteral("desktop/dbData.mdb"));
    ASSERT_TRUE(QFile::exists(copy));
    w.exec(QStringLiteral("delete from PatientRecords where PatientID = 1"));
    ASSERT_EQ(w.count(QStringLiteral("PatientRecords")), 0);
    auto &list = opened<frmPatientList>(w);
    list.listPatients();
    ASSERT_EQ(list.model().rowCount(), 0);
    w.prompter().clear();
    w.prompter().files = {copy};

    bool scripted = false;
    w.ctx().modalHook = [&](Form &shown) {
        auto *restore = qobject_cast<frmRestoreData *>(&shown);
        ASSERT_NE(restore, nullptr);
        EXPECT_FALSE(backup.isVisible());
        restore->cmdLoad->click();
        EXPECT_EQ(restore->Text1->text(), copy);
        QTest::keyClick(restore->Text1, Qt::Key_Return);
        scripted = true;
    };
    backup.Command1->click();

    EXPECT_TRUE(scripted);
    ASSERT_EQ(w.prompter().dialogs.size(), 1u);
    EXPECT_EQ(w.prompter().dialogs[0].kind, QStringLiteral("open"));
    EXPECT_EQ(w.prompter().dialogs[0].title, QStringLiteral("Select Database File"));
    EXPECT_EQ(w.prompter().dialogs[0].filter,
              QStringLiteral("Database File (*.mdb)|*mdb|Undo copy (*.before-restore)|"
                             "*.before-restore|"));
    EXPECT_EQ(qtFileFilter(w.prompter().dialogs[0].filter),
              QStringLiteral("Database File (*mdb);;Undo copy (*.before-restore)"));
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Database successfully restored."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Medlantis"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::None);
    EXPECT_EQ(setting(w, "Backup File"), copy);

    ASSERT_EQ(w.db().State(), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select LastName from PatientRecords where PatientID = 1")),
              QVariant(QStringLiteral("Doe")));
    // The open list shows the restored patient without being asked.
    EXPECT_EQ(list.model().rowCount(), 1);
    // The replaced database, without the patient, is kept beside the working file.
    const QString kept = DatabaseFiles::beforeRestorePath(w.ctx().databaseFile());
    EXPECT_TRUE(kept.endsWith(QStringLiteral("/dbData.mdb.before-restore")));
    Connection before;
    before.Open(kept, QString());
    Recordset rs;
    rs.Open(QStringLiteral("select count(*) from PatientRecords"), before, adOpenStatic,
            adLockReadOnly);
    EXPECT_EQ(rs.Value(0).toInt(), 0);
}

TEST(frmRestoreData, UnusableSourceLeavesTheWorkingDatabaseAsItWas)
{
    for (const char *kind : {"empty field", "text file", "truncated copy"}) {
        SCOPED_TRACE(kind);
        TestWorld w;
        w.signIn(1, QStringLiteral("Admin"), QStringLiteral("Administrator"));
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
        const QString working = w.ctx().databaseFile();
        QString source;
        if (QLatin1String(kind) == QLatin1String("text file")) {
            source = w.path(QStringLiteral("desktop/notes.mdb"));
            QString text = QStringLiteral("Jane Doe, allergic to penicillin");
            ASSERT_EQ(ReadWriteTextFile(source, text, 2), 0);
        } else if (QLatin1String(kind) == QLatin1String("truncated copy")) {
            source = w.path(QStringLiteral("desktop/dbData.mdb"));
            DatabaseFiles::backupDatabase(working, source, QString());
            const QByteArray bytes = bytesOf(source);
            ASSERT_TRUE(WriteBytesToFile(source, bytes.left(bytes.size() / 2)));
        }
        const QByteArray before = bytesOf(working);
        auto &form = opened<frmRestoreData>(w);
        form.Text1->setText(source);

        form.cmdBackup->click();

        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text,
                  QStringLiteral("The selected file is not a usable Medlantis database. "
                                 "Nothing was restored."));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Restore Data"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_EQ(bytesOf(working), before);
        EXPECT_FALSE(QFile::exists(DatabaseFiles::beforeRestorePath(working)));
        EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
        expectUsableConnection(w);
    }
}

TEST(frmBackupData, DailyBackupSettingsShowTheirDefaultsAndAreStoredOnEveryChange)
{
    TestWorld w;
    auto &form = opened<frmBackupData>(w);
    const QString defaultFolder = AutomaticBackup::defaultFolder(w.ctx());
    EXPECT_EQ(form.chkAutoBackup->text().remove(QLatin1Char('&')),
              QStringLiteral("Back up automatically once a day"));
    EXPECT_TRUE(form.chkAutoBackup->isChecked());
    EXPECT_EQ(form.txtAutoBackupFolder->text(), defaultFolder);
    EXPECT_EQ(form.spnKeepBackups->value(), 14);
    // Defaults that were only shown are not stored: they follow the database.
    for (const char *key : {"Automatic Backup", "Automatic Backup Folder", "Keep Backups"})
        EXPECT_EQ(setting(w, key), QStringLiteral("<unset>")) << key;

    form.chkAutoBackup->click();
    EXPECT_EQ(setting(w, "Automatic Backup"), QStringLiteral("0"));
    for (QWidget *control : {static_cast<QWidget *>(form.txtAutoBackupFolder),
                             static_cast<QWidget *>(form.cmdAutoBackupFolder),
                             static_cast<QWidget *>(form.spnKeepBackups)})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    form.chkAutoBackup->click();
    EXPECT_EQ(setting(w, "Automatic Backup"), QStringLiteral("1"));
    EXPECT_TRUE(form.txtAutoBackupFolder->isEnabled());

    w.prompter().files = {QStringLiteral("/srv/daily"), QString()};
    form.cmdAutoBackupFolder->click();
    form.cmdAutoBackupFolder->click(); // cancelled
    EXPECT_EQ(form.txtAutoBackupFolder->text(), QStringLiteral("/srv/daily"));
    EXPECT_EQ(setting(w, "Automatic Backup Folder"), QStringLiteral("/srv/daily"));
    ASSERT_EQ(w.prompter().dialogs.size(), 2u);
    EXPECT_EQ(w.prompter().dialogs[0].kind, QStringLiteral("folder"));
    EXPECT_EQ(w.prompter().dialogs[0].title,
              QStringLiteral("Please select the folder for the daily backups:"));
    EXPECT_EQ(w.prompter().dialogs[0].filter, defaultFolder);

    form.txtAutoBackupFolder->clear();
    QTest::keyClicks(form.txtAutoBackupFolder, QStringLiteral("/mnt/b"));
    EXPECT_EQ(setting(w, "Automatic Backup Folder"), QStringLiteral("/mnt/b"));
    QTest::keyClick(form.spnKeepBackups, Qt::Key_Down);
    EXPECT_EQ(setting(w, "Keep Backups"), QStringLiteral("13"));
    EXPECT_TRUE(w.prompter().boxes.empty());

    form.close();
    form.show();
    EXPECT_TRUE(form.chkAutoBackup->isChecked());
    EXPECT_EQ(form.txtAutoBackupFolder->text(), QStringLiteral("/mnt/b"));
    EXPECT_EQ(form.spnKeepBackups->value(), 13);
}

namespace {

MDIFormMain &signedInMain(TestWorld &w)
{
    w.ctx().CurrentUser.UserID = 1;
    w.ctx().CurrentUser.UserName = QStringLiteral("Anna");
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    LogTimeIn(w.ctx());
    return main;
}

void exitAnsweringYes(TestWorld &w, MDIFormMain &main)
{
    w.endedWith = -1;
    w.prompter().answers.push_back(MsgAnswer::Yes);
    main.show();
    main.close();
}

QStringList dailyCopiesIn(TestWorld &w)
{
    QStringList copies;
    const QString database = w.ctx().databaseFile();
    const QDir folder(AutomaticBackup::defaultFolder(w.ctx()));
    for (const QString &name : folder.entryList(QDir::Files))
        if (AutomaticBackup::dateInName(name, database).isValid())
            copies << name;
    return copies;
}

} // namespace

TEST(AutomaticBackup, TwoExitsInADayLeaveOneCopyThatOpensWithThePasswordAndHoldsEveryPatient)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.addPatient(2, QStringLiteral("Roe"), QStringLiteral("Rick"));
    w.db().Close();
    DatabaseFiles::changePassword(w.ctx().databaseFile(), QString(), QStringLiteral("s3cret"));
    w.ctx().settings().SaveSetting(SettingKeys::DatabasePassword, QStringLiteral("s3cret"));
    SystemModule::connect(w.ctx());
    MDIFormMain &main = signedInMain(w);

    exitAnsweringYes(w, main);
    EXPECT_EQ(w.endedWith, 0);
    exitAnsweringYes(w, main);
    EXPECT_EQ(w.endedWith, 0);

    ASSERT_EQ(w.prompter().boxes.size(), 2u);
    for (const FakePrompter::Box &box : w.prompter().boxes)
        EXPECT_EQ(box.title, QStringLiteral("Confirm Exit Application"));
    const QStringList copies = dailyCopiesIn(w);
    ASSERT_EQ(copies.size(), 1);
    Connection copy;
    copy.Open(QDir(AutomaticBackup::defaultFolder(w.ctx())).filePath(copies[0]),
              QStringLiteral("s3cret"));
    Recordset rs;
    rs.Open(QStringLiteral("select count(*) from PatientRecords"), copy, adOpenStatic,
            adLockReadOnly);
    EXPECT_EQ(rs.Value(0).toInt(), 2);
}

TEST(AutomaticBackup, AFailedCopyIsToldOnceAndTheExitGoesOn)
{
    TestWorld w;
    const QString missing = w.path(QStringLiteral("usb/daily"));
    w.ctx().settings().SaveSetting(SettingKeys::AutomaticBackupFolder, missing);
    MDIFormMain &main = signedInMain(w);
    const int own = w.ctx().OwnLogID;

    exitAnsweringYes(w, main);

    EXPECT_EQ(w.endedWith, 0);
    ASSERT_EQ(w.prompter().boxes.size(), 2u);
    const FakePrompter::Box &box = w.prompter().last();
    EXPECT_EQ(box.title, QStringLiteral("Automatic Backup"));
    EXPECT_EQ(box.icon, MsgIcon::Exclamation);
    EXPECT_EQ(box.buttons, MsgButtons::OK);
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("The daily backup could not be written.")));
    EXPECT_TRUE(
        box.text.contains(QStringLiteral("The backup folder '%1' does not exist.").arg(missing)))
        << box.text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_FALSE(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=%1").arg(own))
                     .toString()
                     .isEmpty());
    EXPECT_EQ(w.scalar(QStringLiteral("select Changes from AuditTrail where Action='Backup'"))
                  .toString(),
              QStringLiteral("Automatic backup failed: The backup folder '%1' does not exist.")
                  .arg(missing));

    // The next start tells it again, once.
    w.prompter().clear();
    for (int start = 0; start < 2; ++start) {
        MDIFormMain next(w.ctx());
        next.show();
    }
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    const FakePrompter::Box &told = w.prompter().last();
    EXPECT_EQ(told.title, QStringLiteral("Automatic Backup"));
    EXPECT_EQ(told.icon, MsgIcon::Exclamation);
    EXPECT_TRUE(told.text.startsWith(QStringLiteral("The daily backup at the exit of ")))
        << told.text.toStdString();
    EXPECT_TRUE(
        told.text.contains(QStringLiteral("The backup folder '%1' does not exist.").arg(missing)));
}

TEST(AutomaticBackup, AStartSaysWhenTheNewestCopyIsDaysOld)
{
    TestWorld w;
    const QString folder = AutomaticBackup::defaultFolder(w.ctx());
    QDir().mkpath(folder);
    const QDateTime old = QDateTime::currentDateTime().addDays(-5);
    {
        QFile copy(QDir(folder).filePath(
            AutomaticBackup::fileNameFor(w.ctx().databaseFile(), old.date())));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        ASSERT_TRUE(copy.setFileTime(old, QFileDevice::FileModificationTime));
    }
    signedInMain(w);

    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("No automatic backup has been written since %1. Check the backup "
                             "folder in Backup / Restore Patient Database.")
                  .arg(old.date().toString(QStringLiteral("MM/dd/yyyy"))));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Automatic Backup"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
}

TEST(AutomaticBackup, NoCopyAtExitWhenSwitchedOff)
{
    TestWorld w;
    w.ctx().settings().SaveSetting(SettingKeys::AutomaticBackup, QStringLiteral("false"));
    MDIFormMain &main = signedInMain(w);

    exitAnsweringYes(w, main);

    EXPECT_EQ(w.endedWith, 0);
    EXPECT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(AutomaticBackup::defaultFolder(w.ctx())));
}
