#include "shell/AppState.h"

#include <cstdlib>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include "shell/PrivateFiles.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/modMain.h"

Folders Folders::fromEnvironment(const QString &programFolder)
{
    Folders f;
    f.program = QDir::toNativeSeparators(programFolder);
    f.appData = SpecialFolderPath(26);
    f.desktop = SpecialFolderPath(0);
    const QString temp = qEnvironmentVariable("TEMP");
    f.temp = QDir::toNativeSeparators(temp.isEmpty() ? QDir::tempPath() : temp);
    f.runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (f.runtime.isEmpty())
        f.runtime = f.temp;
    return f;
}

QString Folders::programFolderFor(const QString &exeFolder)
{
    const QString installed = QDir::cleanPath(exeFolder + QStringLiteral("/../share/medlantis"));
    if (QFileInfo(installed + QStringLiteral("/dbBlank.mdb")).isFile())
        return installed;
    return exeFolder;
}

AppState::AppState(std::unique_ptr<Settings> settings, std::unique_ptr<Prompter> prompter,
                   Folders folders)
    : m_settings(std::move(settings)), m_prompter(std::move(prompter)),
      m_folders(std::move(folders))
{
    // A database replaced at another workstation reopens with the password as
    // it is set now.
    m_db.setPasswordSource([this] { return databasePassword(); });
    m_db.setServerTimeoutSource([this] { return serverTimeoutSeconds(); });
    // Started without its database: an action that needs it connects as the
    // start did.
    m_db.setRetryOpen([this] {
        m_db.Open(databaseFile(), databasePassword());
        SystemModule::prepareSchema(*this);
    });
    m_db.setNoticeSink([this](const QString &text) {
        m_prompter->message(text, applicationTitle(), MsgIcon::Information, MsgButtons::OK);
    });
    m_db.setWhoSource([this] {
        return AuditWho{CurrentUser.UserName, CurrentUser.Privilege,
                        QSysInfo::machineHostName()};
    });
}

AppState::~AppState() = default;

QString AppState::makerFolder() const
{
    return m_folders.appData + nativeSeparator() + QStringLiteral("Trevanto");
}

QString AppState::userDataFolder() const
{
    return userDataFolderIn(m_folders.appData);
}

QString AppState::userDataFolderIn(const QString &appData)
{
    return appData + nativeSeparator() + QStringLiteral("Trevanto") + nativeSeparator()
        + QStringLiteral("Medlantis");
}

QString AppState::defaultDatabase() const
{
    return userDataFolder() + nativeSeparator() + QStringLiteral("dbData.mdb");
}

QString AppState::databaseFile() const
{
    return m_settings->GetSetting(SettingKeys::DatabaseFile, defaultDatabase());
}

QString AppState::databasePassword() const
{
    return m_settings->GetSetting(SettingKeys::DatabasePassword, QString());
}

int AppState::serverTimeoutSeconds() const
{
    bool number = false;
    const int seconds =
        m_settings->GetSetting(SettingKeys::ServerTimeoutSeconds, QStringLiteral("20"))
            .trimmed()
            .toInt(&number);
    return number && seconds > 0 ? seconds : 20;
}

QString AppState::markerPath() const
{
    return NormalizePath(FolderOfPath(databaseFile()) + nativeSeparator()
                         + QStringLiteral("users.lst"));
}

QString AppState::newTempFile(const QString &pattern) const
{
    return PrivateFiles::newTempFile(m_folders.temp, pattern);
}

void AppState::endProcess(int code)
{
    if (onEndProcess) {
        onEndProcess(code);
        return;
    }
    std::exit(code);
}
