// The engine's decoder thread: takes the owner's commands, opens and closes
// files, keeps the ring full, runs on into the file prepared next, reports
// Opened, PlayFailed and EndOfStream, opens the output, runs, pauses and
// closes it, and reopens a removed one. See engine_state.h for the threads and locks.
#include "engine/engine_state.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <pthread.h>
#include <utility>

namespace tarn::engine {

using namespace std::chrono_literals;

namespace {
// An SDL output keeps a thread streaming silence while paused: close it after
// this long without sound. It opens again at the next Play().
constexpr auto kIdleClose = 3s;
// While the ring fills, the output is offered what is new every this many
// blocks (fillRing).
constexpr int kWantMoreEvery = 8;
} // namespace

void Engine::Impl::decoderMain()
{
    pthread_setname_np(pthread_self(), "tarn-decoder"); // told apart in top and perf
    for (;;) {
        const auto limit = sleepLimit();
        Command cmd;
        {
            std::unique_lock lock(commandMutex);
            const auto busy = [&] {
                return quit.load() || command.pending || preloadWanted.load() ||
                       (feeding && !feeding->ended && ring.writable() != nullptr) ||
                       pauseWanted.load() || endHanded.load() || prepareWanted();
            };
            if (!busy() && limit > 0ms) {
                // Asleep until the owner posts or the output drains half the
                // ring, ends a file or falls silent; the limit times the end
                // of a file being heard and watches the output.
                decoderSleeping.store(true);
                wake.wait_for(lock, limit, busy);
                decoderSleeping.store(false);
            }
            if (quit.load())
                return;
            if (command.pending) {
                cmd = std::move(command);
                command = Command{};
                commandWaiting.store(false);
            }
        }
        // Before the first Play, which would wait for it; off the owner's
        // thread, so that its window does not.
        if (preloadWanted.exchange(false))
            ::tarn::engine::preloadOutput(outputOptions);
        if (cmd.pending)
            apply(cmd);
        reportEndOfStream();
        pauseIdleOutput();
        watchOutput();
        syncOutput();
        prepareNext();
        fillRing();
    }
}

// How long the thread may sleep when nothing else wakes it.
std::chrono::milliseconds Engine::Impl::sleepLimit()
{
    const MarkSnapshot m = marks.read();
    std::lock_guard lock(deviceMutex);
    if (!output)
        return outputLost ? 1000ms : 10000ms;
    if (m.end.segment > reportedEnd) {
        // A file's last sample is on its way to the ear: wake when it is heard.
        const HeardMark &due = m.endBefore.segment > reportedEnd ? m.endBefore : m.end;
        const std::int64_t left = due.total - (output->framesHanded() - output->queuedFrames());
        const int rate = std::max(1, output->spec().rate);
        return std::chrono::milliseconds(std::clamp<std::int64_t>(left * 1000 / rate + 1, 0, 1000));
    }
    if (outputPaused && !output->idleIsFree()) {
        const auto closeAt = idleSince + kIdleClose;
        const auto now = std::chrono::steady_clock::now();
        return closeAt <= now ? 0ms : std::chrono::ceil<std::chrono::milliseconds>(closeAt - now);
    }
    return outputPaused ? 5000ms : 1000ms;
}

void Engine::Impl::apply(Command &cmd)
{
    if (cmd.play)
        playWanted = true;
    if (cmd.hint) {
        preparePath = cmd.hintPath;
        prepareTried = false;
        // A file prepared next that the output has not reached is dropped;
        // one it already plays stays, and the hint names what follows it.
        if (next.decoder && marks.read().current.segment != next.segment)
            cancelNext();
    }
    if (cmd.open) {
        cancelNext();
        feeding = nullptr;
        videoStream.reset();
        current = Feed{}; // the old file closes here, off the owner's thread
        std::string outputError;
        if (!formatKnown)
            learnFormat(outputError);
        openCurrent(cmd.path, cmd.ticket, cmd.segment);
        if (!outputError.empty())
            reportOutputError(outputError);
    }
    if (cmd.adopt && next.decoder && next.segment == cmd.adoptSegment) {
        const bool wasFeeding = feeding == &next;
        videoStream.reset(); // the file prepared next is shown without pictures
        current = std::move(next);
        next = Feed{};
        if (wasFeeding)
            feeding = &current;
        std::lock_guard lock(statusMutex);
        status = nextStatus;
        nextStatus = FileStatus{};
        prepared = PreparedNext{};
    }
    // A new segment for the current file always comes with a seek (or an
    // open): everything of the old one is dropped by the output.
    assert(cmd.segment == 0 || cmd.open || cmd.seek || !current.decoder);
    if (cmd.seek && current.decoder) {
        cancelNext();
        current.decoder->seek(cmd.target);
        current.drained = current.ended = false;
        current.segment = cmd.segment;
        startFeeding(current);
    }
}

void Engine::Impl::openCurrent(const std::string &path, std::uint64_t ticket,
                               std::uint64_t openSegment)
{
    std::string error;
    const CancelToken cancel{&wantedTicket, ticket, &quit};
    auto decoder = Decoder::open(path, decodeFormat, cancel, error);
    std::unique_ptr<VideoStream> stream;
    if (video.wanted.load() && (!decoder || decoder->hasVideo()))
        stream = openVideo(path, cancel, decoder != nullptr, ticket, error);
    if (wantedTicket.load() != ticket)
        return; // replaced while it opened: the newer request is waiting
    const bool open = decoder || stream;
    {
        std::lock_guard lock(statusMutex);
        status = FileStatus{};
        status.ticket = ticket;
        status.state = open ? OpenState::Open : OpenState::Failed;
        status.reason = open ? std::string() : error;
        status.estimatedLength = decoder  ? decoder->estimatedLength()
                                 : stream ? stream->length()
                                          : 0.0;
        status.videoOnly = !decoder && stream;
    }
    videoStream = std::move(stream);
    if (decoder) {
        current = Feed{std::move(decoder), ticket, openSegment};
        startFeeding(current);
    }
    postEvent({Event::Kind::Opened, ticket});
}

// The pictures of `path`, timed by its sound when it has one. When the file
// has no sound either, `error` becomes why its pictures cannot be shown.
std::unique_ptr<VideoStream> Engine::Impl::openVideo(const std::string &path, CancelToken cancel,
                                                     bool withSound, std::uint64_t ticket,
                                                     std::string &error)
{
    std::string videoError;
    CodecModule *module = codecModule(videoError);
    auto decoder = module ? module->openVideo(path, cancel, videoError) : nullptr;
    if (!decoder) {
        if (!withSound)
            error = videoError;
        return nullptr;
    }
    VideoStream::AudioClock audioClock;
    if (withSound)
        audioClock = [this](std::uint64_t s, double fallback) { return heardSeconds(s, fallback); };
    return std::make_unique<VideoStream>(std::move(decoder), video, std::move(audioClock),
                                         [this, ticket](std::uint64_t s, double seconds) {
                                             {
                                                 std::lock_guard lock(statusMutex);
                                                 if (status.ticket == ticket)
                                                     status.exactLength = seconds;
                                             }
                                             noteHeardEnd(s);
                                             postEvent({Event::Kind::EndOfStream, s});
                                         });
}

// Opens the hinted file once the current one is wholly in the ring, and
// feeds it in right behind, so the output runs on into it.
bool Engine::Impl::prepareWanted() const
{
    return current.decoder && current.ended && !next.decoder && !prepareTried &&
           !preparePath.empty();
}

void Engine::Impl::prepareNext()
{
    if (!prepareWanted() || commandWaiting.load())
        return;
    prepareTried = true;
    const std::uint64_t ticket = newSerial();
    const CancelToken cancel{.current = &wantedTicket,
                             .mine = current.ticket,
                             .quit = &quit,
                             .later = ticket,
                             .opening = &preparing,
                             .hint = &hintSerial,
                             .hintMine = hintSerial.load()};
    std::string error;
    preparing.store(true);
    auto decoder = Decoder::open(preparePath, decodeFormat, cancel, error);
    preparing.store(false);
    if (!decoder)
        return; // the owner opens it itself at the end, and learns why it fails
    next = Feed{std::move(decoder), ticket, newSerial()};
    {
        std::lock_guard lock(statusMutex);
        nextStatus = FileStatus{};
        nextStatus.ticket = next.ticket;
        nextStatus.state = OpenState::Open;
        nextStatus.estimatedLength = next.decoder->estimatedLength();
        prepared = PreparedNext{preparePath, next.ticket, next.segment};
    }
    startFeeding(next);
}

void Engine::Impl::cancelNext()
{
    if (!next.decoder)
        return;
    cancelled[nextCancelSlot].store(next.segment, std::memory_order_release);
    nextCancelSlot = (nextCancelSlot + 1) % kCancelSlots;
    if (feeding == &next)
        feeding = nullptr;
    next = Feed{};
    prepareTried = false;
    std::lock_guard lock(statusMutex);
    nextStatus = FileStatus{};
    prepared = PreparedNext{};
}

void Engine::Impl::startFeeding(Feed &feed)
{
    feeding = &feed;
    staging.clear();
    stagingUsed = 0;
    stagingFrame = 0;
}

// Fills free blocks until the ring is full, the file ends or a new command
// arrives.
void Engine::Impl::fillRing()
{
    int published = 0;
    while (feeding && !feeding->ended && !commandWaiting.load()) {
        AudioBlock *block = ring.writable();
        if (!block)
            break;
        Feed &feed = *feeding;
        Decoder &source = *feed.decoder;
        const int channels = source.outputFormat().channels;
        block->segment = feed.segment;
        block->channels = channels;
        block->frames = 0;
        block->firstFrame = stagingFrame;
        while (block->frames < ring.framesPerBlock()) {
            if (stagingUsed == staging.size()) {
                if (feed.drained)
                    break;
                staging.clear();
                stagingUsed = 0;
                feed.drained = !source.decode(staging, stagingFrame);
                continue;
            }
            if (block->frames == 0)
                block->firstFrame = stagingFrame;
            const int n = std::min<std::int64_t>(ring.framesPerBlock() - block->frames,
                                                 (staging.size() - stagingUsed) / channels);
            std::memcpy(block->samples.get() + std::size_t(block->frames) * channels,
                        staging.data() + stagingUsed, sizeof(float) * n * channels);
            block->frames += n;
            stagingUsed += std::size_t(n) * channels;
            stagingFrame += n;
        }
        block->last = feed.drained && stagingUsed == staging.size();
        if (block->frames == 0)
            block->firstFrame = stagingFrame;
        if (block->last) {
            feed.ended = true;
            const double length = double(stagingFrame) / source.outputFormat().rate;
            std::lock_guard lock(statusMutex);
            FileStatus &st = &feed == &current ? status : nextStatus;
            if (st.ticket == feed.ticket) {
                st.exactLength = length;
                st.reason = source.breakReason();
            }
        }
        ring.publish();
        ++published;
        if (block->last)
            feeding = nullptr; // the file prepared next follows, once opened
        if (published % kWantMoreEvery == 1) {
            // An output that ran dry (after a seek, or at the start) asks
            // again now, not at its next period, and again every few blocks
            // while the ring fills: the first block alone is only a few
            // milliseconds of sound, and a slow decoder must not leave the
            // output waiting for the end of the whole burst.
            std::lock_guard lock(deviceMutex);
            if (output)
                output->wantMore();
        }
    }
    if (published > 0 && published % kWantMoreEvery != 1) { // the last ones not yet offered
        std::lock_guard lock(deviceMutex);
        if (output)
            output->wantMore();
    }
}

void Engine::Impl::reportEndOfStream()
{
    endHanded.store(false); // the marks below tell what is due, and sleepLimit() when
    const MarkSnapshot m = marks.read();
    for (const HeardMark &end : {m.endBefore, m.end}) {
        if (end.segment == 0 || end.segment <= reportedEnd)
            continue;
        {
            std::lock_guard lock(deviceMutex);
            if (output && output->framesHanded() - output->queuedFrames() < end.total)
                return; // not heard yet; sleepLimit() wakes the thread in time
        }
        reportedEnd = end.segment;
        noteHeardEnd(end.segment);
        postEvent({Event::Kind::EndOfStream, end.segment});
    }
}

// Pauses the output once render fell silent and there is nothing for it to
// play: stopped or paused, the end of the last file, a file that failed to
// open. syncOutput() lets it run again when audio comes.
void Engine::Impl::pauseIdleOutput()
{
    if (pauseWanted.exchange(false))
        idlePending = true;
    if (!idlePending)
        return;
    const MarkSnapshot m = marks.read();
    std::lock_guard lock(deviceMutex);
    if (!output || outputPaused) {
        idlePending = false;
        return;
    }
    const bool nothingToPlay = feeding == nullptr && ring.filled() == 0;
    if (playing.load() && !nothingToPlay) {
        idlePending = false; // sound came meanwhile
        return;
    }
    if (playing.load() && m.end.segment >= minSegment.load() && reportedEnd < m.end.segment)
        return; // the end still sounds: pause once it was heard (sleepLimit() times it)
    idlePending = false;
    output->setPaused(true); // nothing to play: spare the CPU
    outputPaused = true;
    idleSince = std::chrono::steady_clock::now();
}

void Engine::Impl::watchOutput()
{
    const auto now = std::chrono::steady_clock::now();
    OutputSpec previous;
    {
        std::lock_guard lock(deviceMutex);
        if (output && outputPaused && !output->idleIsFree() && now - idleSince >= kIdleClose) {
            closeOutput(); // idle: SDL would stream silence for ever
            return;
        }
        if (now - lastDeviceCheck < 1s)
            return;
        lastDeviceCheck = now;
        if (output) {
            if (!output->lost())
                return;
            // Unplugged, or the sound server went away: open the default
            // output again (the desktop may route it elsewhere now).
            closeOutput();
            outputLost = true;
        }
        if (!outputLost)
            return; // never opened, or closed on purpose
        previous = openedSpec;
    }
    std::string error;
    auto opened = openOutput(&Impl::render, this, &previous, outputVolume(), outputOptions, error);
    if (!opened)
        return; // tried again at the next check, and at the owner's next Play()
    std::lock_guard lock(deviceMutex);
    installOutput(std::move(opened)); // syncOutput() lets it run
}

// Before the first file opens: opens the output, so that the decoder
// resamples straight to its format (the sink's own rate with PulseAudio).
// With no output the decoder keeps its default format, which every output
// opened later is asked for.
void Engine::Impl::learnFormat(std::string &outputError)
{
    std::string error;
    const bool opened = openOutputNow(error);
    formatKnown = true;
    if (opened) {
        std::lock_guard lock(deviceMutex);
        decodeFormat = AudioFormat{openedSpec.rate, openedSpec.channels};
    } else if (playWanted) {
        playWanted = false;
        outputError = error;
    }
}

// Opens an output if there is none, outside deviceMutex (a server that does
// not answer takes a second), in the format the decoder writes once it has
// written any. True when there is one.
bool Engine::Impl::openOutputNow(std::string &error)
{
    OutputSpec previous;
    {
        std::lock_guard lock(deviceMutex);
        if (output)
            return true;
        previous = openedSpec;
    }
    if (previous.rate <= 0 && formatKnown)
        previous = OutputSpec{decodeFormat.rate, decodeFormat.channels, true, 4};
    auto opened = openOutput(&Impl::render, this, previous.rate > 0 ? &previous : nullptr,
                             outputVolume(), outputOptions, error);
    if (!opened)
        return false;
    std::lock_guard lock(deviceMutex);
    installOutput(std::move(opened));
    return true;
}

void Engine::Impl::reportOutputError(const std::string &error)
{
    const std::uint64_t ticket = wantedTicket.load();
    {
        std::lock_guard lock(statusMutex);
        if (status.ticket != ticket)
            return; // a newer file is on its way; its own Play() tries again
        status.outputError = error;
    }
    postEvent({Event::Kind::PlayFailed, ticket});
}

// Lets the output run while the owner plays and there is audio for it, and
// opens one for a Play() that found none.
void Engine::Impl::syncOutput()
{
    if (!playing.load()) {
        playWanted = false; // stopped or paused before the output was opened
        return;
    }
    if (feeding == nullptr && ring.filled() == 0)
        return; // nothing to play (yet, or any more): an open output stays paused
    {
        std::lock_guard lock(deviceMutex);
        if (output) {
            playWanted = false;
            // Again under the lock: Pause() clears `playing` and pauses the
            // output under it, and must not be undone here.
            if (outputPaused && playing.load()) {
                // Render tells again when it falls silent (see pauseIdleOutput).
                output->lock();
                outputIdle = false;
                output->unlock();
                output->setPaused(false);
                outputPaused = false;
            }
            return;
        }
        if (outputLost)
            return; // watchOutput() reopens it
    }
    if (!std::exchange(playWanted, false))
        return; // a failed open is tried again at the next Play()
    std::string error;
    if (!openOutputNow(error)) {
        reportOutputError(error);
        return;
    }
    syncOutput();
}

} // namespace tarn::engine
