// A main window that records what is asked of it: "play", "pause", "back",
// "stop", "next", "volume=1250", "show", "hide", "open=/a.mp3|/b" (or
// "open+play=..." when the first is to play). `during` runs inside each
// call, after it is recorded (to write a file meanwhile, or to throw).
#pragma once

#include "controls/main_window_controls.h"

#include <QStringList>

#include <functional>

namespace tarn::test {

class FakeMainWindow final : public MainWindowControls {
public:
    QStringList calls;
    int volume = 0;
    QString trackText = QStringLiteral("No Track");
    std::function<void(const QString &call)> during;

    void play() override { record(QStringLiteral("play")); }
    void pause() override { record(QStringLiteral("pause")); }
    void back() override { record(QStringLiteral("back")); }
    void stop() override { record(QStringLiteral("stop")); }
    void next() override { record(QStringLiteral("next")); }
    int volumePosition() const override { return volume; }
    void setVolumePosition(int position) override
    {
        volume = position;
        record(QStringLiteral("volume=") + QString::number(position));
    }
    QString currentTrackText() const override { return trackText; }
    void openFiles(const QStringList &paths, bool playFirst) override
    {
        record((playFirst ? QStringLiteral("open+play=") : QStringLiteral("open=")) +
               paths.join(QLatin1Char('|')));
    }
    void showMainWindow() override { record(QStringLiteral("show")); }
    void hideMainWindow() override { record(QStringLiteral("hide")); }

private:
    void record(const QString &call)
    {
        calls << call;
        if (during)
            during(call);
    }
};

} // namespace tarn::test
