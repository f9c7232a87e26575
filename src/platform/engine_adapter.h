// MediaEngine on the real playback engine. The engine's events arrive on an
// engine thread; they are posted to this object's thread (the UI thread) as
// queued calls, and dropped there when the file they belong to is no longer
// current.
#pragma once

#include "engine/engine.h"
#include "platform/media_engine.h"

#include <QElapsedTimer>
#include <QObject>

namespace tarn {

class EngineAdapter final : public QObject, public MediaEngine {
    Q_OBJECT
public:
    explicit EngineAdapter(engine::EngineOptions options = {}, QObject *parent = nullptr);
    ~EngineAdapter() override;

    void setFileName(const QString &path) override;
    QString FileName() const override;
    QString LastError() const override;
    void setNextFileName(const QString &path) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    double Position() const override;
    void setPosition(double seconds) override;
    double Length() const override;
    void setVolume(int hundredthsOfDb) override;
    int Volume() const override;
    PlayState PlayStatus() const override;
    bool outputLost() const override;
    void setFlag1017(bool on) override;
    void preloadOutput() override;
    void setVideoSink(engine::VideoSink *sink) override;
    void setEndOfStreamHandler(std::function<void()> handler) override;
    void setOpenedHandler(std::function<void(bool ok)> handler) override;
    void setPlayFailedHandler(std::function<void()> handler) override;
    void setVolumeChangedHandler(std::function<void(int hundredthsOfDb)> handler) override;

private:
    void deliver(const engine::Event &event);

    engine::Engine engine_;                  // UI thread only
    QString fileName_;                       // as set, so FileName() gives it back unchanged
    std::function<void()> endOfStream_;      // UI thread only
    std::function<void(bool ok)> opened_;    // UI thread only
    std::function<void()> playFailed_;       // UI thread only
    std::function<void(int)> volumeChanged_; // UI thread only
    mutable QElapsedTimer withoutOutput_;    // playing with no output open since; UI thread only
};

} // namespace tarn
