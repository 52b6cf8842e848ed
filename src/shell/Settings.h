#pragma once

#include <memory>

#include <QString>

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

private:
    std::unique_ptr<QSettings> m_store;
};

namespace SettingKeys {
inline const char *const DatabaseFile = "Database File";
inline const char *const DatabasePassword = "Database Password";
inline const char *const LastLogin = "Last Login";
inline const char *const BackupDestination = "Backup Destination";
inline const char *const BackupFilename = "Backup Filename";
inline const char *const BackupFile = "Backup File";
} // namespace SettingKeys
