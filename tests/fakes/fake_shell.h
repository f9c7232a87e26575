// A tray, a registry and a program starter that record what the windows ask
// of them and answer from what the test set.
#pragma once

#include "platform/program_starter.h"
#include "platform/registry.h"
#include "platform/tray_icon.h"

#include <QMap>
#include <QStringList>

namespace tarn::test {

class FakeTray final : public TrayIcon {
public:
    QStringList calls; // "icon=1", "balloon=title|text|kind|timeout"
    bool hostAvailable = true;

    void setIconVisible(bool on) override { calls << QStringLiteral("icon=%1").arg(on); }
    void showBalloon(const QString &title, const QString &text, int iconKind,
                     int timeoutMs) override
    {
        calls
            << QStringLiteral("balloon=%1|%2|%3|%4").arg(title, text).arg(iconKind).arg(timeoutMs);
    }
    bool isHostAvailable() const override { return hostAvailable; }
    void setRequestHandler(std::function<void(TrayRequest)> handler) override
    {
        handler_ = std::move(handler);
    }
    // The user makes a request on the icon.
    void request(TrayRequest what)
    {
        if (handler_)
            handler_(what);
    }

private:
    std::function<void(TrayRequest)> handler_;
};

// Keys below the machine's root, by path. As for an ordinary user, a key
// opens for reading only: asking for more access is refused.
class FakeRegistry final : public Registry {
public:
    QMap<QString, QMap<QString, Value>> keys; // path -> value name -> value
    int openKeys = 0;                         // opened and not yet closed
    int badCloses = 0;                        // closes of keys that were not open

    std::optional<Key> openKey(std::uint32_t root, const QString &path,
                               std::uint32_t access) override
    {
        if (root != kLocalMachine || !keys.contains(path) || (access & ~kKeyRead) != 0)
            return std::nullopt;
        handles_.insert(++lastHandle_, path);
        ++openKeys;
        return lastHandle_;
    }
    std::optional<Value> queryValue(Key key, const QString &name, int bufferSize) override
    {
        const QMap<QString, Value> values = keys.value(handles_.value(key));
        if (!values.contains(name) || values[name].bytes.size() > bufferSize)
            return std::nullopt;
        return values[name];
    }
    void closeKey(Key key) override
    {
        if (handles_.remove(key) == 1)
            --openKeys;
        else
            ++badCloses;
    }

private:
    QMap<Key, QString> handles_;
    Key lastHandle_ = 0;
};

class FakeProgramStarter final : public ProgramStarter {
public:
    QStringList started;
    bool succeeds = true;
    bool start(const QString &path) override
    {
        started << path;
        return succeeds;
    }
};

} // namespace tarn::test
