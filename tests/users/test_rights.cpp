#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/MDIFormMain.h"
#include "data/Cipher.h"
#include "maintenance/frmAuditTrail.h"
#include "maintenance/frmBackupData.h"
#include "maintenance/frmRestoreData.h"
#include "patients/frmPatientList.h"
#include "support/TestWorld.h"
#include "users/frmUserList.h"

// Rights are read from the database when they are used: an administrator
// demoted at another workstation loses them at the next administrative action.
namespace {

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
}

// Gives the account the privilege from a second workstation, signed in as
// the administrator adminId there.
void fromAnotherWorkstation(TestWorld &w, int adminId, int userId, const QString &privilege)
{
    const QString report = w.path(QStringLiteral("report-%1.txt").arg(privilege));
    QProcess other;
    other.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                {QStringLiteral("set-privilege"), w.ctx().databaseFile(),
                 w.ctx().databasePassword(), QString::number(adminId), QString::number(userId),
                 privilege, report});
    ASSERT_TRUE(other.waitForFinished(60000));
    ASSERT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    ASSERT_EQ(readAll(report), QStringLiteral("saved"));
}

} // namespace

TEST(Rights, ADemotionAtAnotherWorkstationCountsAtTheNextAdministrativeAction)
{
    struct Case
    {
        const char *action;
        const char *text;
    };
    const Case cases[] = {
        {"Users", "Only an administrator can manage the user accounts."},
        {"Audit Trail", "Only an administrator can read the audit trail."},
        {"Restore", "Only an administrator can restore the database."},
        {"Delete patient", "Only an administrator can delete a patient."},
    };
    TestWorld w;
    w.signIn(1, QStringLiteral("Anna"), QStringLiteral("Administrator"));
    w.addUser(2, QStringLiteral("Carl"), QStringLiteral("carlpass"),
              QStringLiteral("Administrator"));
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    QStringList shown;
    w.ctx().modalHook = [&](Form &child) { shown << child.objectName(); };
    main.CommandBars_Execute(9040, QStringLiteral("Users"));
    ASSERT_EQ(shown, QStringList{QStringLiteral("frmUserList")});

    fromAnotherWorkstation(w, 2, 1, QStringLiteral("Staff"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.action);
        shown.clear();
        w.prompter().clear();
        const QString action = QLatin1String(c.action);
        if (action == QLatin1String("Users")) {
            main.CommandBars_Execute(9040, action);
        } else if (action == QLatin1String("Audit Trail")) {
            main.CommandBars_Execute(9046, action);
        } else if (action == QLatin1String("Restore")) {
            auto &restore = w.ctx().window<frmRestoreData>();
            restore.show();
            restore.Text1->setText(w.path(QStringLiteral("any.mdb")));
            restore.cmdBackup->click();
        } else {
            w.prompter().answers.push_back(MsgAnswer::Yes);
            w.ctx().window<frmPatientList>().Toolbar1_ButtonClick(2);
        }
        EXPECT_EQ(shown, QStringList());
        ASSERT_FALSE(w.prompter().boxes.empty());
        EXPECT_EQ(w.prompter().boxes.front().text, QLatin1String(c.text));
        EXPECT_EQ(w.prompter().boxes.front().title, QStringLiteral("Administrator Required"));
        EXPECT_EQ(w.prompter().boxes.front().icon, MsgIcon::Exclamation);
    }
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
    EXPECT_EQ(w.ctx().CurrentUser.Privilege, QStringLiteral("Staff"));

    // Promoted again, the same desk may at once.
    fromAnotherWorkstation(w, 2, 1, QStringLiteral("Administrator"));
    main.CommandBars_Execute(9040, QStringLiteral("Users"));
    EXPECT_EQ(shown, QStringList{QStringLiteral("frmUserList")});
}

TEST(Rights, StaffSeeRestoreDisabledAndCannotRestoreAnyway)
{
    for (const char *privilege : {"Staff", "Administrator"}) {
        SCOPED_TRACE(privilege);
        TestWorld w;
        w.signIn(1, QStringLiteral("Anna"), QLatin1String(privilege));
        const bool administrator = QLatin1String(privilege) == QLatin1String("Administrator");
        auto &backup = w.ctx().window<frmBackupData>();
        backup.show();
        EXPECT_EQ(backup.Command1->isEnabled(), administrator);
        EXPECT_TRUE(backup.cmdSave->isEnabled());
        if (administrator)
            continue;
        // Reached anyway: Restore Now refuses and replaces nothing.
        w.addPatient(1, QStringLiteral("Kept"), QStringLiteral("Patient"));
        const QString source = w.path(QStringLiteral("other.mdb"));
        copyBlankDatabase(source);
        auto &restore = w.ctx().window<frmRestoreData>();
        restore.show();
        restore.Text1->setText(source);
        restore.cmdBackup->click();
        EXPECT_EQ(w.prompter().texts(),
                  QStringList{"Only an administrator can restore the database."});
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Administrator Required"));
        EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
    }
}
