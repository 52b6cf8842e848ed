#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QStringList>

class AppState;
class Prompter;
class QLockFile;

namespace SystemModule {

// Copies the template database into the per-user data folder on first run.
void CopyBlankDB(AppState &state);

// Makes the per-user data folder and everything in it, and the settings file,
// readable by this user alone; returns the paths that belong to another user
// and were left as they were.
QStringList makeUserFilesPrivate(AppState &state);

// (Re)opens the shared connection from the settings; reports a failure with
// the error box and leaves the connection closed.
void connect(AppState &state);

// After connecting: offers to create the tables of an empty server database,
// refuses a database without the program's tables, and adds what the schema
// gained since an older database was made. Throws DbError.
void prepareSchema(AppState &state);

} // namespace SystemModule

namespace ODBCProvider {

// True when the database engine can be used. The probe returns the engine's
// version, "" when it is missing.
bool CheckProvider(Prompter &prompter, const std::function<QString()> &probe);

} // namespace ODBCProvider

// Holds the per-user lock while this process runs.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &folder);
    ~SingleInstance();
    // False when another running instance holds the lock.
    bool acquire();

private:
    std::unique_ptr<QLockFile> m_lock;
};
