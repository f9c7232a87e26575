// SettingsStore on QSettings in user scope. The application name is both the
// QSettings organisation and application, so on Linux the store is the file
// "$XDG_CONFIG_HOME/<app>/<app>.conf" (~/.config/Tarn Player/Tarn Player.conf);
// the section is a group and every value is stored as text.
//
// Each call opens the store afresh, so a value saved by another run is seen.
// QSettings writes the file atomically: a save that fails keeps the old file.
#pragma once

#include "persist/settings_store.h"

namespace tarn {

class QtSettingsStore final : public SettingsStore {
public:
    QString getSetting(const QString &app, const QString &section, const QString &key,
                       int defaultValue) override;
    bool saveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override;
};

} // namespace tarn
