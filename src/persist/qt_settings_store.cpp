#include "persist/qt_settings_store.h"

#include <QSettings>

namespace tarn {

namespace {

QString settingKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

} // namespace

QString QtSettingsStore::getSetting(const QString &app, const QString &section, const QString &key,
                                    int defaultValue)
{
    const QSettings settings(QSettings::UserScope, app, app);
    const QVariant value = settings.value(settingKey(section, key));
    // A value someone edited into a list ("1, 2") has no single text: treat it
    // like any other unreadable text rather than as the default.
    return value.isValid() ? value.toString() : QString::number(defaultValue);
}

bool QtSettingsStore::saveSetting(const QString &app, const QString &section, const QString &key,
                                  const QString &value)
{
    QSettings settings(QSettings::UserScope, app, app);
    settings.setValue(settingKey(section, key), value);
    settings.sync();
    // A FormatError tells of lines in the file QSettings could not read; it
    // writes the value all the same (dropping those lines). Only an
    // AccessError means the value was not stored.
    return settings.status() != QSettings::AccessError;
}

} // namespace tarn
