#include "platform/engine_adapter.h"

#include <QFile>
#include <QMetaObject>

namespace tarn {

EngineAdapter::EngineAdapter(engine::EngineOptions options, QObject *parent)
    : QObject(parent), engine_(options)
{
    // Runs on an engine thread: only post. A queued call whose context object
    // is destroyed is dropped by Qt, and the destructor detaches the callback
    // (the engine guarantees it is neither running nor called afterwards).
    engine_.setEventCallback([this](const engine::Event &event) {
        QMetaObject::invokeMethod(
            this, [this, event] { deliver(event); }, Qt::QueuedConnection);
    });
}

EngineAdapter::~EngineAdapter()
{
    engine_.setEventCallback({});
}

void EngineAdapter::deliver(const engine::Event &event)
{
    if (!engine_.isCurrent(event))
        return; // overtaken by a new file, Stop or seek
    switch (event.kind) {
    case engine::Event::Kind::Opened:
        if (opened_)
            opened_(engine_.openState() == engine::Engine::OpenState::Open);
        break;
    case engine::Event::Kind::PlayFailed:
        if (playFailed_)
            playFailed_();
        break;
    case engine::Event::Kind::EndOfStream:
        if (endOfStream_)
            endOfStream_();
        break;
    case engine::Event::Kind::VolumeChanged:
        // The volume now, not when the event was raised: a setVolume() since
        // then came later, and the engine plays at that.
        if (volumeChanged_)
            volumeChanged_(engine_.Volume());
        break;
    }
}

void EngineAdapter::setFileName(const QString &path)
{
    fileName_ = path;
    engine_.setFileName(QFile::encodeName(path).toStdString());
}

QString EngineAdapter::FileName() const
{
    return fileName_;
}

QString EngineAdapter::LastError() const
{
    return QString::fromStdString(engine_.LastError());
}

void EngineAdapter::setNextFileName(const QString &path)
{
    engine_.setNextFileName(QFile::encodeName(path).toStdString());
}

void EngineAdapter::Play()
{
    engine_.Play();
}
void EngineAdapter::Pause()
{
    engine_.Pause();
}
void EngineAdapter::Stop()
{
    engine_.Stop();
}
double EngineAdapter::Position() const
{
    return engine_.Position();
}
void EngineAdapter::setPosition(double seconds)
{
    engine_.setPosition(seconds);
}
double EngineAdapter::Length() const
{
    return engine_.Length();
}
void EngineAdapter::setVolume(int hundredthsOfDb)
{
    engine_.setVolume(hundredthsOfDb);
}
int EngineAdapter::Volume() const
{
    return engine_.Volume();
}
PlayState EngineAdapter::PlayStatus() const
{
    return engine_.PlayStatus();
}
// The engine opens its output on its own thread, at a Play() and again
// after losing one; a moment without one is an output on its way. Playing
// for longer without one, nothing can be heard.
bool EngineAdapter::outputLost() const
{
    constexpr qint64 kGraceMs = 1500;
    if (engine_.PlayStatus() != PlayState::Playing || engine_.outputOpen()) {
        withoutOutput_.invalidate();
        return false;
    }
    if (!withoutOutput_.isValid())
        withoutOutput_.start();
    return withoutOutput_.elapsed() >= kGraceMs;
}

void EngineAdapter::setFlag1017(bool on)
{
    engine_.setFlag1017(on);
}

void EngineAdapter::preloadOutput()
{
    engine_.preloadOutput();
}

void EngineAdapter::setVideoSink(engine::VideoSink *sink)
{
    engine_.setVideoSink(sink);
}

void EngineAdapter::setEndOfStreamHandler(std::function<void()> handler)
{
    endOfStream_ = std::move(handler);
}

void EngineAdapter::setOpenedHandler(std::function<void(bool ok)> handler)
{
    opened_ = std::move(handler);
}

void EngineAdapter::setPlayFailedHandler(std::function<void()> handler)
{
    playFailed_ = std::move(handler);
}

void EngineAdapter::setVolumeChangedHandler(std::function<void(int hundredthsOfDb)> handler)
{
    volumeChanged_ = std::move(handler);
}

} // namespace tarn
