#include "platform/engine_adapter.h"

#include <QMetaObject>
#include <QPointer>

namespace tarn {

EngineAdapter::EngineAdapter(QObject *parent) : QObject(parent)
{
    // Runs on an engine thread: only post. A queued call whose context object
    // is destroyed is dropped by Qt, and the destructor detaches the callback
    // (the engine guarantees it is neither running nor called afterwards).
    engine_.setEndOfStreamCallback([this](std::uint64_t generation) {
        QMetaObject::invokeMethod(
            this, [this, generation] { deliverEndOfStream(generation); }, Qt::QueuedConnection);
    });
}

EngineAdapter::~EngineAdapter()
{
    engine_.setEndOfStreamCallback({});
}

void EngineAdapter::deliverEndOfStream(quint64 generation)
{
    if (!engine_.isCurrentGeneration(generation))
        return; // overtaken by a new file, Stop or seek
    if (endOfStream_)
        endOfStream_();
}

void EngineAdapter::setFileName(const QString &path)
{
    engine_.setFileName(path.toStdString());
}

QString EngineAdapter::FileName() const
{
    return QString::fromStdString(engine_.FileName());
}

QString EngineAdapter::LastError() const
{
    return QString::fromStdString(engine_.LastError());
}

void EngineAdapter::Play() { engine_.Play(); }
void EngineAdapter::Pause() { engine_.Pause(); }
void EngineAdapter::Stop() { engine_.Stop(); }
double EngineAdapter::Position() const { return engine_.Position(); }
void EngineAdapter::setPosition(double seconds) { engine_.setPosition(seconds); }
double EngineAdapter::Length() const { return engine_.Length(); }
void EngineAdapter::setVolume(int hundredthsOfDb) { engine_.setVolume(hundredthsOfDb); }
int EngineAdapter::Volume() const { return engine_.Volume(); }
int EngineAdapter::PlayStatus() const { return engine_.PlayStatus(); }
void EngineAdapter::setFlag1017(bool on) { engine_.setFlag1017(on); }

void EngineAdapter::setEndOfStreamHandler(std::function<void()> handler)
{
    endOfStream_ = std::move(handler);
}

} // namespace tarn
