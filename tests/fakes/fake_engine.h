// A scripted media engine: records every call in order, reports what the
// test sets, opens files asynchronously (the outcome comes as a posted event,
// as from the real engine) and raises end-of-stream when the test says so.
#pragma once

#include "platform/media_engine.h"

#include <QCoreApplication>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace tarn::test {

class FakeEngine final : public MediaEngine {
public:
    // Every call as text, e.g. "FileName=/a.mp3", "Play", "Stop", "Position=0",
    // "Volume=-2500", "Flag1017=1", "Next=/b.mp3", "PreloadOutput", "VideoSink".
    QStringList calls;

    QString fileName;
    QString nextFileName; // the last hint given
    QString lastError;
    double position = 0;
    double length = 0;
    int volume = 0;
    PlayState playStatus = PlayState::Stopped;
    bool flag1017 = false;
    QSet<QString> unplayable; // paths whose open fails
    double lengthOnOpen = 0;  // Length() once a file has opened
    QString playFailure;      // when set, Play() finds no sound output and says so in an event
    bool lostOutput = false;  // outputLost() while playing: the sound server went away
    engine::VideoSink *videoSink = nullptr; // the last one set

    // The most setFileName() calls that one end-of-stream or opened event
    // led to: a player that opens more than one file per event loops on the
    // UI thread.
    int mostOpensPerEvent = 0;

    std::function<void()> endOfStream;
    std::function<void(bool)> opened;
    std::function<void()> playFailed;
    std::function<void(int)> volumeChanged;

    void setFileName(const QString &path) override
    {
        calls << QStringLiteral("FileName=") + path;
        ++opensStarted_;
        fileName = path;
        position = 0;
        playStatus = PlayState::Stopped;
        length = 0;
        lastError.clear();
        playWhenOpen_ = false;
        opening_ = true;
        const quint64 open = ++openSerial_;
        QMetaObject::invokeMethod(
            &events_, [this, open] { finishOpen(open); }, Qt::QueuedConnection);
    }
    QString FileName() const override { return fileName; }
    QString LastError() const override { return lastError; }
    void setNextFileName(const QString &path) override
    {
        calls << QStringLiteral("Next=") + path;
        nextFileName = path;
    }
    void Play() override
    {
        calls << QStringLiteral("Play");
        if (opening_)
            playWhenOpen_ = true;
        else if (!fileName.isEmpty() && !unplayable.contains(fileName))
            playOpenFile();
    }
    void Pause() override
    {
        calls << QStringLiteral("Pause");
        playWhenOpen_ = false;
        if (playStatus == PlayState::Playing)
            playStatus = PlayState::Paused;
    }
    void Stop() override
    {
        calls << QStringLiteral("Stop");
        playWhenOpen_ = false;
        playStatus = PlayState::Stopped;
        position = 0;
    }
    double Position() const override { return position; }
    void setPosition(double seconds) override
    {
        calls << QStringLiteral("Position=") + QString::number(seconds);
        position = seconds;
    }
    double Length() const override { return length; }
    void setVolume(int v) override
    {
        calls << QStringLiteral("Volume=") + QString::number(v);
        volume = v;
    }
    int Volume() const override { return volume; }
    PlayState PlayStatus() const override { return playStatus; }
    bool outputLost() const override { return lostOutput && playStatus == PlayState::Playing; }
    void setFlag1017(bool on) override
    {
        calls << QStringLiteral("Flag1017=") + QString::number(on ? 1 : 0);
        flag1017 = on;
    }
    void preloadOutput() override { calls << QStringLiteral("PreloadOutput"); }
    void setVideoSink(engine::VideoSink *sink) override
    {
        calls << QStringLiteral("VideoSink");
        videoSink = sink;
    }
    void setEndOfStreamHandler(std::function<void()> handler) override
    {
        endOfStream = std::move(handler);
    }
    void setOpenedHandler(std::function<void(bool)> handler) override
    {
        opened = std::move(handler);
    }
    void setPlayFailedHandler(std::function<void()> handler) override
    {
        playFailed = std::move(handler);
    }
    void setVolumeChangedHandler(std::function<void(int)> handler) override
    {
        volumeChanged = std::move(handler);
    }

    // The desktop's mixer sets the volume to `v`: the engine has it at once,
    // and the handler hears of it as a posted event, as from the real adapter.
    void changeVolumeOutside(int v)
    {
        volume = v;
        QMetaObject::invokeMethod(
            &events_,
            [this] {
                if (volumeChanged)
                    volumeChanged(volume);
            },
            Qt::QueuedConnection);
    }

    bool opening() const { return opening_; }

    // Raises the end-of-stream event as the real adapter does (on the UI thread).
    void finishTrack()
    {
        if (endOfStream)
            countOpens(endOfStream);
    }

    // Runs the posted events until no open is pending, each delivery being
    // one event (an opened handler may start the next open), then once more
    // for what the last one posted. Gives up after `rounds` events.
    void settle(int rounds = 1000)
    {
        for (int i = 0; opening_ && i < rounds; ++i)
            QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    }

    // The calls without the next-file hints.
    QStringList playerCalls() const
    {
        QStringList result = calls;
        result.removeIf([](const QString &c) { return c.startsWith(QLatin1String("Next=")); });
        return result;
    }

private:
    void finishOpen(quint64 open)
    {
        if (open != openSerial_)
            return; // replaced by a later open: never reported
        opening_ = false;
        const bool ok = !unplayable.contains(fileName);
        if (ok) {
            length = lengthOnOpen;
        } else {
            length = 0;
            lastError = QStringLiteral("not an audio file");
        }
        if (ok && playWhenOpen_)
            playOpenFile();
        playWhenOpen_ = false;
        if (opened)
            countOpens([this, ok] { opened(ok); });
    }

    // As the real engine: the output is opened on the engine's thread, and a
    // failure comes as an event of its own.
    void playOpenFile()
    {
        if (playFailure.isEmpty()) {
            playStatus = PlayState::Playing;
            return;
        }
        const quint64 open = openSerial_;
        QMetaObject::invokeMethod(
            &events_,
            [this, open] {
                if (open != openSerial_)
                    return;
                lastError = playFailure;
                playStatus = PlayState::Stopped;
                if (playFailed)
                    playFailed();
            },
            Qt::QueuedConnection);
    }

    template <typename F> void countOpens(const F &event)
    {
        const int before = opensStarted_;
        event();
        mostOpensPerEvent = std::max(mostOpensPerEvent, opensStarted_ - before);
    }

    QObject events_; // context of the posted open outcomes; drops them when the fake goes
    quint64 openSerial_ = 0;
    int opensStarted_ = 0;
    bool opening_ = false;
    bool playWhenOpen_ = false;
};

} // namespace tarn::test
