#pragma once

#include <memory>

#include <QString>
#include <QTemporaryDir>

#include "shell/AppContext.h"
#include "support/FakePrompter.h"

// A whole world for one test in a temporary folder: settings file, program
// folder (with the blank template), per-user data, desktop and TEMP.
// Modal windows are scripted through ctx().modalHook (by default they show
// and hide at once).
class TestWorld
{
public:
    // withDatabase: copy the blank template into place and connect.
    explicit TestWorld(bool withDatabase = true);
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

    // Adds a patient row with the given id and names.
    void addPatient(int id, const QString &last, const QString &first,
                    const QString &dateOfBirth = QStringLiteral("1980-05-17"));
    // Adds a user account (enciphered like the program does).
    void addUser(int id, const QString &name, const QString &password, const QString &privilege,
                 int savePassword = 0);

    int endedWith = -1; // exit code the program asked for, -1 = still running

private:
    QTemporaryDir m_dir;
    FakePrompter *m_prompter = nullptr;
    std::unique_ptr<AppContext> m_ctx;
};

// Copies the build's blank template database to path.
void copyBlankDatabase(const QString &path);
