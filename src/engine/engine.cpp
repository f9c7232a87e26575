// The owner thread's side of the engine: the public members. See
// engine_state.h for the threads and locks.
#include "engine/engine_state.h"

#include <algorithm>
#include <cmath>

namespace tarn::engine {

namespace {
// 192 x 1024 frames: about 4 s at 48 kHz. The decoder refills the ring when
// it is half empty, so it wakes every 2 s and decodes 2 s at a time: short
// bursts cost far more CPU per second of sound (cold caches after each sleep).
constexpr std::size_t kRingBlocks = 192;
constexpr int kBlockFrames = 1024;
} // namespace

Engine::Impl::Impl() : ring(kRingBlocks, kBlockFrames, kMaxOutputChannels)
{
    decoderThread = std::thread(&Impl::decoderMain, this);
}

Engine::Impl::~Impl()
{
    {
        std::lock_guard lock(commandMutex);
        quit = true;
    }
    wake.notify_one();
    decoderThread.join();
    std::lock_guard lock(deviceMutex);
    device.close(); // the callback uses the ring: stop it before the ring goes
}

// Owner. Starts a new generation carrying `request` to the decoder thread.
// Older audio still in the ring is dropped here, so the decoder can refill it
// at once even while the device is paused (the callback would drop it too,
// but only once the device runs).
void Engine::Impl::restart(Command request)
{
    std::unique_ptr<Decoder> replaced; // destroyed after the locks are released
    std::lock_guard deviceLock(deviceMutex);
    const std::uint64_t next = generation.load() + 1;
    generation.store(next, std::memory_order_release);
    {
        std::lock_guard commandLock(commandMutex);
        if (request.newSource) {
            replaced = std::move(command.source);
            command.newSource = true;
            command.source = std::move(request.source);
            command.fileSerial = request.fileSerial;
            command.seek = false; // a seek asked for the previous file
        }
        if (request.newFormat) {
            command.newFormat = true;
            command.format = request.format;
        }
        if (request.seek) {
            command.seek = true;
            command.target = request.target;
        }
        command.generation = next;
        command.pending = true;
        commandWaiting.store(true);
    }
    wake.notify_one();
    // Drop what is left of older generations, up to the first block of the
    // new one (the decoder may already be writing it). Done after posting, so
    // the decoder cannot fill the ring with stale audio behind this.
    if (device.isOpen())
        device.lock();
    while (AudioBlock *b = ring.readable()) {
        if (b->generation == next)
            break;
        ring.pop();
    }
    if (device.isOpen())
        device.unlock();
    if (playing.load())
        device.setPaused(false); // it may have paused at the end of the file
}

bool Engine::Impl::ensureDevice()
{
    OutputSpec spec;
    {
        std::lock_guard lock(deviceMutex);
        if (device.isOpen())
            return true;
        std::string error;
        if (!device.open(&Impl::outputCallback, this, error)) {
            lastError = error;
            return false;
        }
        deviceLost = false;
        spec = device.spec();
        writer.configure(spec); // the device is paused: the callback is not running yet
    }
    const AudioFormat granted{spec.rate, spec.channels};
    if (granted != format) {
        // Audio prepared so far was for the format asked for; make it again.
        const double at = std::clamp(startSeconds, 0.0, estimatedLength);
        format = granted;
        Command c;
        c.newFormat = true;
        c.format = granted;
        c.seek = hasFile;
        c.target = at;
        restart(std::move(c));
    }
    return true;
}

int Engine::Impl::outputRate() const
{
    return format.rate;
}

Engine::Engine() : d(std::make_unique<Impl>()) {}

Engine::~Engine() = default;

bool Engine::setFileName(const std::string &path)
{
    d->fileName = path;
    d->state = Stopped;
    d->playing.store(false);
    std::string error;
    Command c;
    c.newSource = true;
    c.source = Decoder::open(path, d->format, error);
    d->hasFile = c.source != nullptr;
    d->estimatedLength = d->hasFile ? c.source->estimatedLength() : 0.0;
    d->lastError = d->hasFile ? std::string() : error;
    c.fileSerial = ++d->fileSerial;
    d->startSeconds = d->resumeSeconds = 0;
    d->restart(std::move(c));
    return d->hasFile;
}

const std::string &Engine::FileName() const
{
    return d->fileName;
}

void Engine::Play()
{
    if (!d->hasFile) {
        d->lastError = "no file is loaded";
        return;
    }
    if (!d->ensureDevice())
        return;
    const bool ended = d->endedGeneration.load() == d->generation.load();
    if (d->state == Playing && !ended)
        return; // already playing: nothing to restart, no dip in the sound
    if (ended) {
        // Played to its end: play it again from the start.
        Command c;
        c.seek = true;
        d->startSeconds = d->resumeSeconds = 0;
        d->restart(std::move(c));
    }
    d->lastError.clear();
    d->resumeSeconds = Position();
    d->state = Playing;
    d->firstSampleLatencyNs.store(-1);
    d->playCalledNs.store(steadyNowNs());
    d->latencyPending.store(true);
    d->fadeIn.store(d->resumeSeconds > 0); // mid-file: ramp in, no click
    d->gainJump.store(true);
    d->playing.store(true);
    std::lock_guard lock(d->deviceMutex);
    d->device.setPaused(false);
}

void Engine::Pause()
{
    if (d->state != Playing)
        return;
    d->state = Paused;
    d->playing.store(false); // the output fades out, then the device pauses
}

void Engine::Stop()
{
    d->state = Stopped;
    d->playing.store(false);
    if (!d->hasFile)
        return;
    Command c;
    c.seek = true;
    d->startSeconds = d->resumeSeconds = 0;
    d->restart(std::move(c));
}

double Engine::Position() const
{
    if (!d->hasFile)
        return 0;
    const std::uint64_t gen = d->generation.load();
    const std::uint64_t heard = d->heard.load();
    const int rate = d->outputRate();
    if (!Stamp::matches(heard, gen) || rate <= 0)
        return d->startSeconds;
    std::int64_t frame = Stamp::value(heard);
    if (d->state == Playing && d->endedGeneration.load() != gen) {
        // What the device still holds has not been heard yet; all that was
        // handed out before the last Play() has.
        const std::int64_t heardBefore = std::llround(d->resumeSeconds * rate);
        frame = std::max(heardBefore, frame - d->device.bufferFrames());
    }
    return double(frame) / rate;
}

void Engine::setPosition(double seconds)
{
    if (!d->hasFile)
        return;
    if (!std::isfinite(seconds))
        seconds = 0;
    seconds = std::clamp(seconds, 0.0, Length());
    Command c;
    c.seek = true;
    c.target = seconds;
    d->startSeconds = d->resumeSeconds = seconds;
    d->restart(std::move(c));
}

double Engine::Length() const
{
    if (!d->hasFile)
        return 0;
    const std::uint64_t decoded = d->decodedLengthUs.load();
    if (Stamp::matches(decoded, d->fileSerial))
        return Stamp::value(decoded) / 1e6; // the decoder reached the end: exact
    return d->estimatedLength;
}

void Engine::setVolume(std::int32_t hundredthsOfDb)
{
    d->volume = hundredthsOfDb;
    d->targetGain.store(gainForVolume(hundredthsOfDb));
}

std::int32_t Engine::Volume() const
{
    return d->volume;
}

int Engine::PlayStatus() const
{
    if (d->state == Playing && d->endedGeneration.load() == d->generation.load())
        return Stopped; // played to its end
    return d->state;
}

void Engine::setFlag1017(bool on)
{
    d->flag1017 = on;
}

bool Engine::flag1017() const
{
    return d->flag1017;
}

std::string Engine::LastError() const
{
    return d->lastError;
}

void Engine::setEndOfStreamCallback(EndOfStreamCallback callback)
{
    std::lock_guard lock(d->endOfStreamMutex); // waits for a running callback
    std::swap(d->endOfStream, callback);
}

bool Engine::isCurrentGeneration(std::uint64_t generation) const
{
    return generation == d->generation.load();
}

OutputSpec Engine::outputSpec() const
{
    return d->device.spec();
}

std::int64_t Engine::firstSampleLatencyNs() const
{
    return d->firstSampleLatencyNs.load();
}

} // namespace tarn::engine
