#pragma once

#include <memory>
#include <string>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "shell/AppContext.h"
#include "support/FakePrompter.h"

// Where a world keeps its database: the embedded file, or a database of its
// own on the tests' PostgreSQL server (which tools/test.sh starts).
enum class EngineKind { Embedded, Server };

// Why the tests' database server cannot be used; "" when it can.
QString testServerUnavailable();
// The address of a database on the tests' server; the password apart.
QString testServerUri(const QString &database);
QString testServerPassword();

// A whole world for one test in a temporary folder: settings file, program
// folder (with the blank template), per-user data, desktop and TEMP.
// Modal windows are scripted through ctx().modalHook (by default they show
// and hide at once).
class TestWorld
{
public:
    // withDatabase: copy the blank template into place and connect.
    explicit TestWorld(bool withDatabase = true);
    // On the server, a fresh database with the program's tables; it is dropped
    // with the world. Call only when testServerUnavailable() is "".
    explicit TestWorld(EngineKind engine, bool withDatabase = true);
    bool onServer() const { return !m_serverDatabase.isEmpty(); }
    ~TestWorld();

    AppContext &ctx() { return *m_ctx; }
    FakePrompter &prompter() { return *m_prompter; }
    Connection &db() { return m_ctx->db(); }
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    // Runs SQL on the shared connection.
    void exec(const QString &sql);
    // The first column of the first row, or a null QVariant.
    QVariant scalar(const QString &sql);
    int count(const QString &table);
    // The files anywhere in the world's TEMP, by their path inside it.
    QStringList tempFilesLeft() const;
    // True when the stored password of the account checks with password.
    bool passwordIs(int userId, const QString &password);

    // Adds a patient row with the given id and names.
    void addPatient(int id, const QString &last, const QString &first,
                    const QString &dateOfBirth = QStringLiteral("1980-05-17"));
    // Adds a user account as the program stores it: the password hashed.
    void addUser(int id, const QString &name, const QString &password, const QString &privilege,
                 int savePassword = 0);
    // Adds the account and makes it the signed-in user, as a login would: rights
    // are read from its row.
    void signIn(int id, const QString &name, const QString &privilege,
                const QString &password = QStringLiteral("password1"));
    // Adds an account whose Password column holds storedPassword as it stands
    // (an older version's enciphered value, or something broken).
    void addStoredUser(int id, const QString &name, const QString &storedPassword,
                       const QString &privilege, int savePassword = 0);

    int endedWith = -1; // exit code the program asked for, -1 = still running

private:
    void build(bool withDatabase);

    QTemporaryDir m_dir;
    QString m_serverDatabase;
    FakePrompter *m_prompter = nullptr;
    std::unique_ptr<AppContext> m_ctx;
};

// Copies the build's blank template database to path.
void copyBlankDatabase(const QString &path);

// Number of patients in the database file at path, opened on its own.
int patientsIn(const QString &path, const QString &password = QString());

// Runs a value-parameterized test on both engines; the server variant is
// skipped, saying why, only when no tests' server is set up.
#define SKIP_WITHOUT_SERVER(engine)                                                            \
    do {                                                                                       \
        if ((engine) == EngineKind::Server && !testServerUnavailable().isEmpty())              \
            GTEST_SKIP() << testServerUnavailable().toStdString();                             \
    } while (0)

inline std::string engineName(EngineKind engine)
{
    return engine == EngineKind::Server ? "Server" : "Embedded";
}
