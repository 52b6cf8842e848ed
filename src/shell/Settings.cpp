#include "shell/Settings.h"

#include <QSettings>

namespace {
const QString kGroup = QStringLiteral("Medlantis");
}

Settings::Settings()
    : m_store(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                          QStringLiteral("Trevanto"), QStringLiteral("Trevanto")))
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
}

QString Settings::fileName() const
{
    return m_store->fileName();
}
