// The media engine as the windows see it: the members the player drives,
// called on the UI thread only. The real one wraps tarn::engine::Engine
// (EngineAdapter); tests use a fake.
#pragma once

#include <QString>

#include <functional>

namespace tarn {

class MediaEngine {
public:
    virtual ~MediaEngine() = default;

    // Opens the file, leaving it stopped at 0; on failure the engine holds no
    // file (Length() 0) and LastError() says why.
    virtual void setFileName(const QString &path) = 0;
    virtual QString FileName() const = 0;
    virtual QString LastError() const = 0;

    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;

    virtual double Position() const = 0;
    virtual void setPosition(double seconds) = 0;
    virtual double Length() const = 0;

    virtual void setVolume(int hundredthsOfDb) = 0;
    virtual int Volume() const = 0;
    virtual int PlayStatus() const = 0; // 0 stopped, 1 paused, 2 playing

    virtual void setFlag1017(bool on) = 0;

    // Runs on the UI thread once per natural end of the current file; never
    // for a file that was replaced, stopped or seeked away from its end.
    virtual void setEndOfStreamHandler(std::function<void()> handler) = 0;
};

} // namespace tarn
