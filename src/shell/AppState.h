#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "data/Connection.h"
#include "data/Recordset.h"

class Prompter;
class Settings;

// Where the program finds and keeps its files.
struct Folders
{
    QString program; // holds the executable and the templates
    QString appData; // per-user roaming application data
    QString desktop;
    QString temp;    // TEMP, or the system's temporary folder
    QString runtime; // per-user folder for the single-instance lock

    static Folders fromEnvironment(const QString &programFolder);
    // The folder with the templates and styles for an executable in exeFolder:
    // <prefix>/share/medlantis when the program runs installed under <prefix>,
    // otherwise exeFolder itself (the build tree).
    static QString programFolderFor(const QString &exeFolder);
};


// An account as the windows know it; its password is never kept.
struct UserRecord
{
    qint32 UserID = 0;
    QString UserName;
    QString Privilege;
};

// The state that the windows share, without any window: settings, prompter,
// the shared connection and the hand-over values. A test builds its own.
class AppState
{
public:
    AppState(std::unique_ptr<Settings> settings, std::unique_ptr<Prompter> prompter,
             Folders folders);
    virtual ~AppState();
    AppState(const AppState &) = delete;
    AppState &operator=(const AppState &) = delete;

    Settings &settings() { return *m_settings; }
    Prompter &prompter() { return *m_prompter; }
    Connection &db() { return m_db; }
    const Folders &folders() const { return m_folders; }

    QString makerFolder() const;      // appData/Trevanto
    QString userDataFolder() const;   // appData/Trevanto/Medlantis
    static QString userDataFolderIn(const QString &appData);
    QString defaultDatabase() const;  // userDataFolder/dbData.mdb
    QString databaseFile() const;     // the "Database File" setting
    QString databasePassword() const; // the "Database Password" setting
    // The "Server Time-out Seconds" setting: how long a server may stay silent.
    int serverTimeoutSeconds() const;
    QString markerPath() const;       // "users.lst" beside the configured database
    // A new, empty file with an unpredictable name from the pattern
    // ("photo-XXXXXX.bmp") in this user's private temporary folder.
    QString newTempFile(const QString &pattern) const;

    // Ends the process at once (tests record it instead).
    void endProcess(int code = 0);
    std::function<void(int)> onEndProcess;

    UserRecord CurrentUser;
    QString EditPatientID;
    QString SelectedPatientID;
    QString SelectedHistoryID;
    QString PatientSelectorMode;
    QString UserEditorMode;
    Recordset PatientListRecordset;
    Recordset UserListRecordset;
    bool AppExiting = false;
    // The user-log row this run wrote at sign-in; 0 when none.
    qint32 OwnLogID = 0;

private:
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<Prompter> m_prompter;
    Folders m_folders;
    Connection m_db;
};
