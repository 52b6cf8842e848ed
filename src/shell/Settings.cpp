#include "shell/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "shell/PrivateFiles.h"

namespace {
const QString kGroup = QStringLiteral("Medlantis");
}

Settings::Settings()
    : m_store(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                          QStringLiteral("Trevanto"), QStringLiteral("Trevanto"))),
      m_ownStore(true)
{
}

Settings::Settings(const QString &path)
    : m_store(std::make_unique<QSettings>(path, QSettings::IniFormat))
{
}

Settings::~Settings() = default;

QString Settings::GetSetting(const QString &key, const QString &defaultValue) const
{
    if (m_store->status() != QSettings::NoError)
        return defaultValue;
    return m_store->value(kGroup + QLatin1Char('/') + key, defaultValue).toString();
}

void Settings::SaveSetting(const QString &key, const QString &value)
{
    m_store->setValue(kGroup + QLatin1Char('/') + key, value);
    m_store->sync();
    // It holds the database password and who signed in last.
    makePrivate();
}

QStringList Settings::makePrivate() const
{
    QStringList left;
    const QFileInfo file(fileName());
    if (!file.isFile())
        return left;
    QStringList paths{file.absoluteFilePath()};
    if (m_ownStore)
        paths.prepend(file.absolutePath());
    for (const QString &path : paths) {
        if (!PrivateFiles::makePrivate(path))
            left << QDir::toNativeSeparators(path);
    }
    return left;
}

QString Settings::fileName() const
{
    return m_store->fileName();
}
