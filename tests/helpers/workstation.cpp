// A second workstation for the tests: a process of its own on the same
// database, driving the program's real windows offscreen. Each command writes
// one line per outcome to a report file, flushed at once, so the test can
// watch it while the process runs.
//
//   workstation save-patients <database> <password file> <count> <report>
//       Adds <count> patients "Saved<n>" through the patient editor. Each
//       line: "<n> committed" or "<n> refused <message>". The password is read
//       from its file before every save, as a user would type the new one.
//   workstation set-phone <database> <password> <patient id> <phone> <report>
//       Opens the patient in the editor, types the phone number and saves:
//       "saved", or the texts of the boxes shown.
//   workstation wrong-passwords <database> <password> <user name> <count> <report>
//       Signs in <count> times with a wrong password: one line per outcome
//       ("wrong", "locked", "signed-in", "no-account").
//   workstation set-privilege <database> <password> <admin id> <user id> <privilege> <report>
//       Signed in as the administrator <admin id>, gives the account <user id>
//       the privilege through the account editor: "saved", or the boxes shown.
//   workstation restore-paused <source> <database> <password> <report>
//       Restores the source over the database and, once half of its rows
//       are in, writes "halfway" and waits there for a minute, to be killed.
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include "app/MDIFormMain.h"
#include "data/SqlId.h"
#include "maintenance/DatabaseFiles.h"
#include "patients/frmAddNewPatient.h"
#include "shell/AppContext.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "support/FakePrompter.h"
#include "users/UserSession.h"
#include "users/frmAddNewUser.h"

namespace {

struct Workstation
{
    QTemporaryDir home;
    FakePrompter *prompter = nullptr;
    std::unique_ptr<AppContext> ctx;

    Workstation(const QString &database, const QString &password)
    {
        Folders folders;
        for (const char *sub : {"program", "appdata", "desktop", "temp", "runtime"})
            QDir(home.path()).mkpath(QLatin1String(sub));
        folders.program = home.filePath(QStringLiteral("program"));
        folders.appData = home.filePath(QStringLiteral("appdata"));
        folders.desktop = home.filePath(QStringLiteral("desktop"));
        folders.temp = home.filePath(QStringLiteral("temp"));
        folders.runtime = home.filePath(QStringLiteral("runtime"));
        auto fake = std::make_unique<FakePrompter>();
        prompter = fake.get();
        ctx = std::make_unique<AppContext>(
            std::make_unique<Settings>(home.filePath(QStringLiteral("settings.ini"))),
            std::move(fake), folders);
        ctx->onEndProcess = [](int) {};
        useMainWindow(*ctx);
        ctx->settings().SaveSetting(SettingKeys::DatabaseFile, database);
        ctx->settings().SaveSetting(SettingKeys::DatabasePassword, password);
        ctx->CurrentUser.UserName = QStringLiteral("Other");
        ctx->CurrentUser.Privilege = QStringLiteral("Administrator");
        SystemModule::connect(*ctx);
    }

    // Opens the patient editor (id "" for a new patient) and runs script inside it.
    void inEditor(const QString &id, const std::function<void(frmAddNewPatient &)> &script)
    {
        ctx->EditPatientID = id;
        ctx->modalHook = [&](Form &f) { script(static_cast<frmAddNewPatient &>(f)); };
        ctx->showModal(ctx->window<frmAddNewPatient>());
        ctx->modalHook = nullptr;
    }
};

QString readPassword(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class Report
{
public:
    explicit Report(const QString &path) : m_file(path)
    {
        m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
    void line(const QString &text)
    {
        m_file.write((text + QLatin1Char('\n')).toUtf8());
        m_file.flush();
    }

private:
    QFile m_file;
};

int savePatients(const QStringList &args)
{
    const QString database = args.at(0);
    const QString passwordFile = args.at(1);
    const int count = args.at(2).toInt();
    Report report(args.at(3));
    Workstation w(database, readPassword(passwordFile));
    for (int n = 1; n <= count; ++n) {
        w.ctx->settings().SaveSetting(SettingKeys::DatabasePassword, readPassword(passwordFile));
        w.prompter->clear();
        w.inEditor(QString(), [&](frmAddNewPatient &ed) {
            ed.txtLastname->setText(QStringLiteral("Saved%1").arg(n));
            ed.txtFirstName->setText(QStringLiteral("Pat"));
            ed.cmdSave->click();
        });
        if (w.prompter->boxes.empty())
            report.line(QStringLiteral("%1 committed").arg(n));
        else
            report.line(QStringLiteral("%1 refused %2")
                            .arg(n)
                            .arg(w.prompter->texts().join(QLatin1Char('|'))
                                     .replace(QLatin1Char('\n'), QLatin1Char(' '))));
    }
    return 0;
}

int setPhone(const QStringList &args)
{
    Workstation w(args.at(0), args.at(1));
    Report report(args.at(4));
    w.inEditor(args.at(2), [&](frmAddNewPatient &ed) {
        ed.txtPhoneNumber->setText(args.at(3));
        ed.cmdSave->click();
    });
    report.line(w.prompter->boxes.empty() ? QStringLiteral("saved")
                                          : w.prompter->texts().join(QLatin1Char('|')));
    return 0;
}

int wrongPasswords(const QStringList &args)
{
    Workstation w(args.at(0), args.at(1));
    w.ctx->CurrentUser = UserRecord();
    Report report(args.at(4));
    const int count = args.at(3).toInt();
    for (int i = 0; i < count; ++i) {
        const SignInCheck check =
            checkPassword(*w.ctx, args.at(2), QStringLiteral("wrong guess %1").arg(i));
        const char *outcome[] = {"signed-in", "no-account", "wrong", "locked"};
        report.line(QLatin1String(outcome[int(check.outcome)]));
    }
    return 0;
}

int setPrivilege(const QStringList &args)
{
    Workstation w(args.at(0), args.at(1));
    Report report(args.at(5));
    w.ctx->CurrentUser.UserID = args.at(2).toInt();
    Recordset &rs = w.ctx->UserListRecordset;
    rs.Open(QStringLiteral("Select * from users where userid=") + sqlId(args.at(3)), w.ctx->db());
    w.ctx->UserEditorMode = QStringLiteral("Update");
    frmAddNewUser &editor = w.ctx->window<frmAddNewUser>();
    editor.cmdSave->setText(QStringLiteral("Update"));
    w.ctx->modalHook = [&](Form &) {
        editor.cboPrivilege->setCurrentIndex(editor.cboPrivilege->findText(args.at(4)));
        editor.txtPassword->setText(QStringLiteral("changed1"));
        editor.txtRetype->setText(QStringLiteral("changed1"));
        editor.cmdSave->click();
    };
    w.ctx->showModal(editor);
    const QStringList texts = w.prompter->texts();
    report.line(texts == QStringList{QStringLiteral("User information updated successfully.")}
                    ? QStringLiteral("saved")
                    : texts.join(QLatin1Char('|')));
    return 0;
}

int restorePaused(const QStringList &args)
{
    Report report(args.at(3));
    bool paused = false;
    DatabaseFiles::restoreDatabase(args.at(0), args.at(1), args.at(2),
                                   [&](qint64 done, qint64 total) {
                                       if (paused || done * 2 < total)
                                           return;
                                       paused = true;
                                       report.line(QStringLiteral("halfway"));
                                       QThread::sleep(60);
                                   });
    report.line(QStringLiteral("restored"));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Q_INIT_RESOURCE(medlantis);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: workstation <command> ...\n");
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("save-patients") && args.size() == 4)
        return savePatients(args);
    if (command == QLatin1String("set-phone") && args.size() == 5)
        return setPhone(args);
    if (command == QLatin1String("wrong-passwords") && args.size() == 5)
        return wrongPasswords(args);
    if (command == QLatin1String("set-privilege") && args.size() == 6)
        return setPrivilege(args);
    if (command == QLatin1String("restore-paused") && args.size() == 4)
        return restorePaused(args);
    std::fprintf(stderr, "unknown command or arguments: %s\n", qPrintable(command));
    return 2;
}
