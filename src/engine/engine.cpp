// The owner thread's side of the engine: the public members. See
// engine_state.h for the threads and locks.
#include "engine/engine_state.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarn::engine {

namespace {
constexpr int kBlockFrames = 1024;
} // namespace

Engine::Impl::Impl(EngineOptions options)
    : outputOptions(std::move(options.output)),
      ring(std::max(options.ringBlocks, 4), kBlockFrames, kMaxOutputChannels)
{
    preloadWanted.store(options.preloadOutput);
    decoderThread = std::thread(&Impl::decoderMain, this);
}

Engine::Impl::~Impl()
{
    {
        std::lock_guard lock(commandMutex);
        quit.store(true); // also cancels a read that hangs
    }
    wake.notify_one();
    decoderThread.join();
    videoStream.reset(); // its clock reads the output
    std::lock_guard lock(deviceMutex);
    closeOutput(); // render uses the ring: stop it before the ring goes
}

// Owner. Starts a new segment carrying `request` to the decoder thread.
// Older audio still in the ring is dropped here, and what the output holds is
// flushed where it can be, so that what comes next is heard at once.
void Engine::Impl::restart(Command request)
{
    adopted = false;
    segment = request.segment = newSerial();
    minSegment.store(segment, std::memory_order_release);
    flushedPause = false;
    {
        std::lock_guard commandLock(commandMutex);
        if (request.open) {
            command.open = true;
            command.path = std::move(request.path);
            command.ticket = request.ticket;
            command.adopt = false;
            command.seek = false; // a seek asked for the previous file
        }
        if (request.seek) {
            command.seek = true;
            command.target = request.target;
        }
        command.segment = request.segment;
        command.pending = true;
        commandWaiting.store(true);
    }
    wake.notify_one();
    std::lock_guard deviceLock(deviceMutex);
    if (!output) {
        // Nothing can read the ring now; drop what is stale up to the first
        // block of the new segment (the decoder may already be writing it).
        while (AudioBlock *b = ring.readable()) {
            if (b->segment >= segment)
                break;
            ring.pop();
        }
        return;
    }
    output->lock();
    while (AudioBlock *b = ring.readable()) {
        if (b->segment >= segment)
            break;
        ring.pop();
    }
    output->flush();
    output->unlock();
    // An output paused at the end of the file runs again once the decoder
    // has audio of the new segment (syncOutput).
}

void Engine::Impl::postEvent(const Event &event)
{
    std::lock_guard lock(eventMutex);
    if (!eventCallback)
        return;
    try {
        eventCallback(event);
    } catch (...) {
        // The receiver's fault must not end the thread that reports.
    }
}

void Engine::Impl::steerVideo(double clockSeconds)
{
    steer.segment = segment;
    steer.target = startSeconds;
    steer.running = state == PlayState::Playing;
    steer.clockSeconds = clockSeconds;
    steer.clockNs = steadyNowNs();
    ++steer.serial;
    {
        std::lock_guard lock(video.mutex);
        video.control = steer;
    }
    video.wake.notify_all();
}

double Engine::Impl::heardSeconds(std::uint64_t s, double fallback) const
{
    std::int64_t heardTotal = 0; // with no output, closeOutput() left the marks at what was heard
    int rate = 0;
    {
        std::lock_guard lock(deviceMutex);
        if (output) {
            heardTotal = output->framesHanded() - output->queuedFrames();
            rate = output->spec().rate;
        } else {
            rate = openedSpec.rate;
        }
    }
    const MarkSnapshot m = marks.read();
    const HeardMark *mark = m.current.segment == s    ? &m.current
                            : m.previous.segment == s ? &m.previous
                                                      : nullptr;
    if (!mark || rate <= 0)
        return fallback;
    return double(heardFrame(*mark, heardTotal)) / rate;
}

void Engine::Impl::noteHeardEnd(std::uint64_t s)
{
    std::uint64_t seen = heardEnd.load();
    while (seen < s && !heardEnd.compare_exchange_weak(seen, s)) {
    }
}

void Engine::Impl::closeOutput()
{
    if (!output)
        return;
    output->lock();
    const std::int64_t heardTotal = output->framesHanded() - output->queuedFrames();
    output->unlock();
    output->close();
    output.reset();
    // Render has stopped, so the marks are this thread's to write (as in
    // installOutput()). Until another output plays, the position is where
    // they stand: make them say what was heard, not what was handed to an
    // output that is gone (the sound server went away: the status still
    // says Playing, and the position must not fall back to the start).
    MarkSnapshot m = marks.read();
    for (HeardMark *mark : {&m.current, &m.previous}) {
        mark->frame = heardFrame(*mark, heardTotal);
        mark->total = 0;
    }
    marks.publish(m);
}

void Engine::Impl::installOutput(std::unique_ptr<AudioOutput> opened)
{
    writer.configure(opened->spec());
    outputIdle = true;
    atEnd = false;
    // The new output counts from 0: all handed to the old one counts as heard.
    MarkSnapshot m = marks.read();
    m.current.total = m.previous.total = m.end.total = 0;
    marks.publish(m);
    outputLost = false;
    outputPaused = true;
    openedSpec = opened->spec();
    output = std::move(opened);
    // Opened at this gain already where the output applies it itself.
    const float g = gain.load();
    targetGain.store(output->setGain(g) ? 1.0f : std::min(g, 1.0f));
    idleSince = std::chrono::steady_clock::now();
}

FileStatus Engine::Impl::currentStatus() const
{
    std::lock_guard lock(statusMutex);
    if (status.ticket == ticket)
        return status;
    if (nextStatus.ticket == ticket)
        return nextStatus; // taken over; the decoder has not moved it yet
    FileStatus opening;
    opening.ticket = ticket;
    opening.state = ticket != 0 ? OpenState::Opening : OpenState::None;
    return opening;
}

Engine::Engine(EngineOptions options) : d(std::make_unique<Impl>(options)) {}

Engine::~Engine() = default;

void Engine::setFileName(const std::string &path)
{
    d->fileName = path;
    d->playError.clear();
    // The advance at a natural end: the file prepared next already plays.
    // Take it over as it is, without a restart.
    if (d->ended()) {
        PreparedNext next;
        {
            std::lock_guard lock(d->statusMutex);
            next = d->prepared;
        }
        const MarkSnapshot m = d->marks.read();
        if (next.segment != 0 && next.path == path && m.current.segment == next.segment &&
            !d->isCancelled(next.segment)) {
            d->ticket = next.ticket;
            d->segment = next.segment;
            d->startSeconds = 0;
            d->flushedPause = false;
            // A short file may play out before the owner's Play() or even
            // before this: its end-of-stream is then on its way, and Play()
            // must not start it again.
            d->adopted = true;
            d->wantedTicket.store(next.ticket);
            {
                std::lock_guard lock(d->commandMutex);
                d->command.adopt = true;
                d->command.adoptSegment = next.segment;
                d->command.pending = true;
                d->commandWaiting.store(true);
            }
            d->wake.notify_one();
            d->steerVideo(0);
            d->postEvent({Event::Kind::Opened, next.ticket});
            return;
        }
    }
    d->state = PlayState::Stopped;
    d->playing.store(false);
    d->adopted = false;
    d->ticket = d->newSerial();
    d->wantedTicket.store(d->ticket); // cancels an open or read still going on
    d->startSeconds = 0;
    Command c;
    c.open = true;
    c.path = path;
    c.ticket = d->ticket;
    d->restart(std::move(c));
    d->steerVideo(0);
}

const std::string &Engine::FileName() const
{
    return d->fileName;
}

Engine::OpenState Engine::openState() const
{
    return d->currentStatus().state;
}

void Engine::setNextFileName(const std::string &path)
{
    if (path == d->hintPath)
        return;
    d->hintPath = path;
    d->hintSerial.fetch_add(1); // cancels the preparation of an older hint
    {
        std::lock_guard lock(d->commandMutex);
        d->command.hint = true;
        d->command.hintPath = path;
        d->command.pending = true;
        d->commandWaiting.store(true);
    }
    d->wake.notify_one();
}

void Engine::preloadOutput()
{
    {
        std::lock_guard lock(d->commandMutex);
        d->preloadWanted.store(true);
    }
    d->wake.notify_one();
}

void Engine::Play()
{
    const OpenState open = openState();
    if (open == OpenState::None || open == OpenState::Failed) {
        d->playError = open == OpenState::None ? "no file is loaded" : "";
        return;
    }
    d->playError.clear();
    {
        std::lock_guard lock(d->statusMutex);
        // The last Play() found no output: this one tries again.
        if (!std::exchange(d->status.outputError, {}).empty() && d->state == PlayState::Playing)
            d->state = PlayState::Stopped;
    }
    if (d->adopted && d->ended()) {
        d->state = PlayState::Playing; // taken over as it played out: its end is on its way
        return;
    }
    if (d->ended()) {
        // Played to its end: play it again from the start.
        Command c;
        c.seek = true;
        d->startSeconds = 0;
        d->restart(std::move(c));
    } else if (d->state == PlayState::Playing) {
        return; // already playing: nothing to restart, no dip in the sound
    } else if (d->flushedPause) {
        // The output dropped what it held at the pause: go on from what was heard.
        Command c;
        c.seek = true;
        c.target = d->pausedAt;
        d->startSeconds = d->pausedAt;
        d->restart(std::move(c));
    }
    const double from = Position();
    d->state = PlayState::Playing;
    d->firstSampleLatencyNs.store(-1);
    d->playCalledNs.store(steadyNowNs());
    d->latencyPending.store(true);
    d->fadeIn.store(from > 0); // mid-file: ramp in, no click
    d->gainJump.store(true);
    d->playing.store(true);
    d->steerVideo(from);
    // The decoder thread opens the output if there is none (never this
    // thread: a sound server that does not answer may take a second) and
    // lets it run once there is audio to play.
    {
        std::lock_guard lock(d->commandMutex);
        d->command.play = true;
        d->command.pending = true;
        d->commandWaiting.store(true);
    }
    d->wake.notify_one();
}

void Engine::Pause()
{
    if (d->state != PlayState::Playing || d->ended())
        return;
    const double at = Position();
    d->state = PlayState::Paused;
    d->pausedAt = at; // what Position() says while paused
    d->steerVideo(at);
    if (d->currentStatus().videoOnly) {
        d->playing.store(false);
        return; // no sound to silence
    }
    std::lock_guard lock(d->deviceMutex);
    d->playing.store(false); // an SDL output fades out, then pauses
    if (d->output && d->output->canFlush()) {
        // Silent at once: cork, and drop what the server still holds.
        d->output->setPaused(true);
        d->outputPaused = true;
        d->idleSince = std::chrono::steady_clock::now();
        d->flushedPause = d->output->flush();
    }
}

void Engine::Stop()
{
    d->state = PlayState::Stopped;
    d->playing.store(false);
    if (d->ticket == 0)
        return;
    Command c;
    c.seek = true;
    d->startSeconds = 0;
    d->restart(std::move(c));
    d->steerVideo(0);
}

double Engine::Position() const
{
    const FileStatus st = d->currentStatus();
    if (st.state != OpenState::Open)
        return 0;
    if (d->ended())
        return Length();
    if (d->state == PlayState::Paused)
        return d->pausedAt;
    if (st.videoOnly) {
        const double t = d->state == PlayState::Playing ? monotonicSeconds(d->steer, steadyNowNs())
                                                        : d->startSeconds;
        return std::clamp(t, 0.0, Length());
    }
    const double seconds = d->heardSeconds(d->segment, d->startSeconds);
    return std::clamp(seconds, d->startSeconds, std::max(d->startSeconds, Length()));
}

void Engine::setPosition(double seconds)
{
    if (d->currentStatus().state != OpenState::Open)
        return;
    if (!std::isfinite(seconds))
        seconds = 0;
    seconds = std::clamp(seconds, 0.0, Length());
    if (d->ended()) {
        // An ended file is stopped: the seek moves the position only.
        d->state = PlayState::Stopped;
        d->playing.store(false);
    }
    Command c;
    c.seek = true;
    c.target = seconds;
    d->startSeconds = d->pausedAt = seconds;
    d->restart(std::move(c));
    d->steerVideo(seconds);
}

double Engine::Length() const
{
    const FileStatus st = d->currentStatus();
    if (st.state != OpenState::Open)
        return 0;
    return st.exactLength >= 0 ? st.exactLength : st.estimatedLength;
}

void Engine::setVolume(std::int32_t hundredthsOfDb)
{
    const float gain = gainForVolume(hundredthsOfDb);
    std::lock_guard lock(d->deviceMutex);
    if (!d->output) {
        d->volume.store(hundredthsOfDb);
        d->gain.store(gain);
        d->targetGain.store(gain);
        return;
    }
    // Under the output's lock, as a change from the mixer is noted: whichever
    // comes last is what both the output and Volume() have.
    d->output->lock();
    d->volume.store(hundredthsOfDb);
    d->gain.store(gain);
    d->targetGain.store(d->output->setGain(gain) ? 1.0f : gain);
    d->output->unlock();
}

std::int32_t Engine::Volume() const
{
    return d->volume.load();
}

void Engine::Impl::volumeChangedOutside(void *userdata, float gain)
{
    auto &d = *static_cast<Impl *>(userdata);
    d.gain.store(gain);
    d.volume.store(volumeForGain(gain));
    d.postEvent({Event::Kind::VolumeChanged, 0});
}

PlayState Engine::PlayStatus() const
{
    if (d->adopted && d->state == PlayState::Playing)
        return PlayState::Playing; // until the owner took its end-of-stream
    const FileStatus st = d->currentStatus();
    if (d->ended() || st.state == OpenState::Failed || !st.outputError.empty())
        return PlayState::Stopped;
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
    if (!d->playError.empty())
        return d->playError;
    const FileStatus st = d->currentStatus();
    return st.state != OpenState::Failed && !st.outputError.empty() ? st.outputError : st.reason;
}

void Engine::setEventCallback(EventCallback callback)
{
    std::lock_guard lock(d->eventMutex); // waits for a running callback
    std::swap(d->eventCallback, callback);
}

bool Engine::isCurrent(const Event &event) const
{
    if (event.kind == Event::Kind::VolumeChanged)
        return true;
    if (event.kind != Event::Kind::EndOfStream)
        return event.id == d->ticket;
    if (event.id != d->segment)
        return false;
    d->adopted = false; // its end is taken: Play() starts it again from now on
    return true;
}

void Engine::setVideoSink(VideoSink *sink)
{
    std::lock_guard lock(d->video.sinkMutex); // waits for a call into the old one
    d->video.sink = sink;
    d->video.wanted.store(sink != nullptr);
}

std::uint64_t Engine::droppedVideoFrames() const
{
    return d->video.dropped.load();
}

OutputSpec Engine::outputSpec() const
{
    std::lock_guard lock(d->deviceMutex);
    return d->openedSpec;
}

std::int64_t Engine::firstSampleLatencyNs() const
{
    return d->firstSampleLatencyNs.load();
}

bool Engine::outputOpen() const
{
    std::lock_guard lock(d->deviceMutex);
    return d->output != nullptr;
}

} // namespace tarn::engine
