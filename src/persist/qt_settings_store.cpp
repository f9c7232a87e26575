#include "persist/qt_settings_store.h"

#include <QSettings>

#include <memory>

namespace tarn {

namespace {

std::unique_ptr<QSettings> open(const QString &iniPath, const QString &app)
{
    if (iniPath.isEmpty())
        return std::make_unique<QSettings>(QSettings::UserScope, app, app);
    return std::make_unique<QSettings>(iniPath, QSettings::IniFormat);
}

} // namespace

QtSettingsStore::QtSettingsStore(QString iniPath) : iniPath_(std::move(iniPath)) {}

QString QtSettingsStore::getSetting(const QString &app, const QString &section,
                                    const QString &key, int defaultValue)
{
    auto settings = open(iniPath_, app);
    return settings->value(section + QLatin1Char('/') + key, QString::number(defaultValue))
        .toString();
}

bool QtSettingsStore::saveSetting(const QString &app, const QString &section, const QString &key,
                                  const QString &value)
{
    auto settings = open(iniPath_, app);
    settings->setValue(section + QLatin1Char('/') + key, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

} // namespace tarn
