#include "support/TestWorld.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include "app/MDIFormMain.h"
#include "data/Cipher.h"
#include "data/Credentials.h"
#include "data/PgEngine.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"

void copyBlankDatabase(const QString &path)
{
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral(MEDLANTIS_BLANK_DB), path))
        qFatal("cannot copy the blank database to %s", qPrintable(path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

int patientsIn(const QString &path, const QString &password)
{
    Connection c;
    c.Open(path, password);
    Recordset rs;
    rs.Open(QStringLiteral("select count(*) from PatientRecords"), c, adOpenStatic, adLockReadOnly);
    return rs.Value(0).toInt();
}

QString testServerUnavailable()
{
    if (qEnvironmentVariableIsEmpty("MEDLANTIS_TEST_PG_PORT"))
        return QStringLiteral("no tests' database server: MEDLANTIS_TEST_PG_PORT is not set "
                              "(bash tools/test.sh starts one)");
    return QString();
}

QString testServerUri(const QString &database)
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
        .arg(qEnvironmentVariable("MEDLANTIS_TEST_PG_USER", QStringLiteral("medlantis")),
             qEnvironmentVariable("MEDLANTIS_TEST_PG_PORT"), database);
}

QString testServerPassword()
{
    return qEnvironmentVariable("MEDLANTIS_TEST_PG_PASSWORD");
}

namespace {

// Runs administrative SQL on the server's own "postgres" database.
void runOnServer(const QString &sql)
{
    PgEngine admin(testServerUri(QStringLiteral("postgres")), testServerPassword());
    admin.executeRaw(sql);
}

} // namespace

TestWorld::TestWorld(EngineKind engine, bool withDatabase)
{
    if (engine == EngineKind::Server) {
        if (!testServerUnavailable().isEmpty())
            qFatal("%s", qPrintable(testServerUnavailable()));
        static int worlds = 0;
        m_serverDatabase = QStringLiteral("medlantis_test_%1_%2")
                               .arg(QCoreApplication::applicationPid())
                               .arg(++worlds);
        runOnServer(QStringLiteral("CREATE DATABASE %1").arg(m_serverDatabase));
    }
    build(withDatabase);
}

TestWorld::TestWorld(bool withDatabase)
{
    build(withDatabase);
}

QStringList TestWorld::tempFilesLeft() const
{
    const QDir temp(path(QStringLiteral("temp")));
    QStringList left;
    QDirIterator it(temp.path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        left << temp.relativeFilePath(it.next());
    return left;
}

void TestWorld::build(bool withDatabase)
{
    QDir root(m_dir.path());
    for (const char *sub : {"program", "appdata", "desktop", "temp", "runtime"})
        root.mkpath(QLatin1String(sub));
    copyBlankDatabase(path(QStringLiteral("program/dbBlank.mdb")));
    Folders folders;
    folders.program = path(QStringLiteral("program"));
    folders.appData = path(QStringLiteral("appdata"));
    folders.desktop = path(QStringLiteral("desktop"));
    folders.temp = path(QStringLiteral("temp"));
    folders.runtime = path(QStringLiteral("runtime"));
    auto prompter = std::make_unique<FakePrompter>();
    m_prompter = prompter.get();
    m_ctx = std::make_unique<AppContext>(
        std::make_unique<Settings>(path(QStringLiteral("settings.ini"))), std::move(prompter),
        folders);
    m_ctx->onEndProcess = [this](int code) { endedWith = code; };
    useMainWindow(*m_ctx);
    // A modal window a test did not script shows and hides at once, so no test
    // can ever block in a modal loop.
    m_ctx->modalHook = [](Form &) {};
    if (withDatabase)
        QDir().mkpath(m_ctx->userDataFolder());
    if (onServer()) {
        m_ctx->settings().SaveSetting(SettingKeys::DatabaseFile, testServerUri(m_serverDatabase));
        m_ctx->settings().SaveSetting(SettingKeys::DatabasePassword, testServerPassword());
        if (withDatabase) {
            m_ctx->db().Open(m_ctx->databaseFile(), m_ctx->databasePassword());
            Schema::createMissing(m_ctx->db());
        }
    } else if (withDatabase) {
        copyBlankDatabase(m_ctx->defaultDatabase());
        SystemModule::connect(*m_ctx);
    }
}

TestWorld::~TestWorld()
{
    m_ctx.reset();
    if (onServer())
        runOnServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_serverDatabase));
}

void TestWorld::exec(const QString &sql)
{
    db().Execute(sql);
}

QVariant TestWorld::scalar(const QString &sql)
{
    Recordset rs;
    rs.Open(sql, db(), adOpenStatic, adLockReadOnly);
    return rs.isEOF() ? QVariant() : rs.Value(0);
}

int TestWorld::count(const QString &table)
{
    return scalar(QStringLiteral("select count(*) from ") + table).toInt();
}

bool TestWorld::passwordIs(int userId, const QString &password)
{
    const QString stored =
        scalar(QStringLiteral("select Password from Users where UserID=%1").arg(userId)).toString();
    return Credentials::check(stored, password) == Credentials::Match::Yes;
}

void TestWorld::addPatient(int id, const QString &last, const QString &first,
                           const QString &dateOfBirth)
{
    exec(QStringLiteral("insert into PatientRecords (PatientID, LastName, FirstName, MiddleName, "
                        "DateOfBirth, Gender, MaritalStatus) values (%1, '%2', '%3', '', '%4', "
                        "'Male', 'Single')")
             .arg(id)
             .arg(QString(last).replace(QLatin1Char('\''), QStringLiteral("''")),
                  QString(first).replace(QLatin1Char('\''), QStringLiteral("''")), dateOfBirth));
}

void TestWorld::addUser(int id, const QString &name, const QString &password,
                        const QString &privilege, int savePassword)
{
    addStoredUser(id, name, Credentials::hashPassword(password), privilege, savePassword);
}

void TestWorld::addStoredUser(int id, const QString &name, const QString &storedPassword,
                              const QString &privilege, int savePassword)
{
    Recordset rs;
    rs.Open(QStringLiteral("select * from Users where UserID = -1"), db());
    rs.AddNew();
    rs.setValue(QStringLiteral("UserID"), id);
    rs.setValue(QStringLiteral("UserName"), E(name));
    rs.setValue(QStringLiteral("Password"), storedPassword);
    rs.setValue(QStringLiteral("Privilege"), E(privilege));
    rs.setValue(QStringLiteral("SavePassword"), savePassword);
    rs.Update();
}

void TestWorld::signIn(int id, const QString &name, const QString &privilege,
                       const QString &password)
{
    exec(QStringLiteral("delete from Users where UserID=%1").arg(id));
    addUser(id, name, password, privilege);
    UserRecord &user = m_ctx->CurrentUser;
    user.UserID = id;
    user.UserName = name;
    user.Privilege = privilege;
}
