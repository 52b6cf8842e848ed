#pragma once

#include <memory>

#include <QString>
#include <QStringList>

class QSettings;

// The per-user settings store: INI file, organisation and application
// "Trevanto", group "Medlantis". A read never fails: the default stands in.
class Settings
{
public:
    Settings();                             // the user's own store
    explicit Settings(const QString &path); // a given file (tests)
    ~Settings();

    QString GetSetting(const QString &key, const QString &defaultValue = QString()) const;
    void SaveSetting(const QString &key, const QString &value);
    QString fileName() const;
    // Makes the file (and the user's own store's folder) readable by its
    // owner alone, as every save does; returns the paths left as they were.
    QStringList makePrivate() const;

private:
    std::unique_ptr<QSettings> m_store;
    bool m_ownStore = false; // the folder is the program's own, not a caller's
};

namespace SettingKeys {
inline const char *const DatabaseFile = "Database File";
inline const char *const DatabasePassword = "Database Password";
inline const char *const LastLogin = "Last Login";
inline const char *const BackupDestination = "Backup Destination";
inline const char *const BackupFilename = "Backup Filename";
inline const char *const BackupFile = "Backup File";
// The daily backup at exit: "1" or "0" (also read as "true" or "false").
inline const char *const AutomaticBackup = "Automatic Backup";
// Empty means "Backups" beside the working database.
inline const char *const AutomaticBackupFolder = "Automatic Backup Folder";
inline const char *const KeepBackups = "Keep Backups";
// Seconds without a byte from the database server before a statement gives up.
inline const char *const ServerTimeoutSeconds = "Server Time-out Seconds";
// Minutes without input before the desk locks itself; 0 = never, default 15.
inline const char *const LockAfterMinutes = "Lock After Minutes";
} // namespace SettingKeys
