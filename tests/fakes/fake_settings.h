// An in-memory settings store; `failWrites` makes every save fail.
#pragma once

#include "persist/settings_store.h"

#include <QMap>

namespace tarn::test {

class FakeSettings final : public SettingsStore {
public:
    QMap<QString, QString> values; // "app/section/key" -> text
    bool failWrites = false;

    QString getSetting(const QString &app, const QString &section, const QString &key,
                       int defaultValue) override
    {
        return values.value(path(app, section, key), QString::number(defaultValue));
    }
    bool saveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override
    {
        if (failWrites)
            return false;
        values.insert(path(app, section, key), value);
        return true;
    }
    static QString path(const QString &app, const QString &section, const QString &key)
    {
        return app + QLatin1Char('/') + section + QLatin1Char('/') + key;
    }
};

} // namespace tarn::test
