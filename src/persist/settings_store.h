// Per-user settings store: text values keyed by application name, section
// and key. The real store is QSettings in user scope; tests use a fake or a
// QSettings file in a temporary folder.
#pragma once

#include <QString>

namespace tarn {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `defaultValue` as decimal text when the key is absent.
    virtual QString getSetting(const QString &app, const QString &section, const QString &key,
                               int defaultValue) = 0;
    // Stores the text; false when it could not be written (the old value stays).
    virtual bool saveSetting(const QString &app, const QString &section, const QString &key,
                             const QString &value) = 0;
};

} // namespace tarn
