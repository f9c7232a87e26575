// A scripted media engine: records every call in order, reports what the
// test sets, and raises end-of-stream when the test says so.
#pragma once

#include "platform/media_engine.h"

#include <QSet>
#include <QStringList>

namespace tarn::test {

class FakeEngine final : public MediaEngine {
public:
    // Every call as text, e.g. "FileName=/a.mp3", "Play", "Stop", "Position=0",
    // "Volume=-2500", "Flag1017=1".
    QStringList calls;

    QString fileName;
    QString lastError;
    double position = 0;
    double length = 0;
    int volume = 0;
    int playStatus = 0;
    bool flag1017 = false;
    QSet<QString> unplayable; // paths whose setFileName fails
    double lengthOnOpen = 0;  // Length() after a successful setFileName

    void setFileName(const QString &path) override
    {
        calls << QStringLiteral("FileName=") + path;
        fileName = path;
        position = 0;
        playStatus = 0;
        if (unplayable.contains(path)) {
            length = 0;
            lastError = QStringLiteral("not an audio file");
        } else {
            length = lengthOnOpen;
            lastError.clear();
        }
    }
    QString FileName() const override { return fileName; }
    QString LastError() const override { return lastError; }
    void Play() override
    {
        calls << QStringLiteral("Play");
        if (!unplayable.contains(fileName) && !fileName.isEmpty())
            playStatus = 2;
    }
    void Pause() override
    {
        calls << QStringLiteral("Pause");
        if (playStatus == 2)
            playStatus = 1;
    }
    void Stop() override
    {
        calls << QStringLiteral("Stop");
        playStatus = 0;
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
    int PlayStatus() const override { return playStatus; }
    void setFlag1017(bool on) override
    {
        calls << QStringLiteral("Flag1017=") + QString::number(on ? 1 : 0);
        flag1017 = on;
    }
    void setEndOfStreamHandler(std::function<void()> handler) override
    {
        endOfStream = std::move(handler);
    }

    // Raises the end-of-stream event as the real adapter does (on the UI thread).
    void finishTrack()
    {
        if (endOfStream)
            endOfStream();
    }

    std::function<void()> endOfStream;
};

} // namespace tarn::test
