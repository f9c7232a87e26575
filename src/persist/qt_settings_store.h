// SettingsStore on QSettings. The application name is the QSettings
// application, the section a group; values are stored as text.
#pragma once

#include "persist/settings_store.h"

#include <QString>

namespace tarn {

class QtSettingsStore final : public SettingsStore {
public:
    // `iniPath` empty: the user's native settings location for the
    // application. Otherwise an INI file at that path (tests, portable use).
    explicit QtSettingsStore(QString iniPath = {});

    QString getSetting(const QString &app, const QString &section, const QString &key,
                       int defaultValue) override;
    bool saveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override;

private:
    QString iniPath_;
};

} // namespace tarn
