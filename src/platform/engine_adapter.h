// MediaEngine on the real playback engine. The engine's end-of-stream
// callback arrives on an engine thread; it is posted to this object's thread
// (the UI thread) as a queued call, and dropped there when the file it belongs
// to is no longer current.
#pragma once

#include "engine/engine.h"
#include "platform/media_engine.h"

#include <QObject>

namespace tarn {

class EngineAdapter final : public QObject, public MediaEngine {
    Q_OBJECT
public:
    explicit EngineAdapter(QObject *parent = nullptr);
    ~EngineAdapter() override;

    void setFileName(const QString &path) override;
    QString FileName() const override;
    QString LastError() const override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    double Position() const override;
    void setPosition(double seconds) override;
    double Length() const override;
    void setVolume(int hundredthsOfDb) override;
    int Volume() const override;
    int PlayStatus() const override;
    void setFlag1017(bool on) override;
    void setEndOfStreamHandler(std::function<void()> handler) override;

private:
    void deliverEndOfStream(quint64 generation);

    engine::Engine engine_;                  // UI thread only
    std::function<void()> endOfStream_;      // UI thread only
};

} // namespace tarn
