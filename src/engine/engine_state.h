// The engine's shared state and who may touch what.
//
// THREADS
//   owner    the thread that calls Engine's public members (the UI thread).
//   video    one thread per open file that has a picture, while a video sink
//            is set (see video_stream.h): decodes and shows the pictures on
//            the clock, and reports the end of a file without sound.
//   decoder  one thread per engine: opens, seeks, reads and closes files,
//            opens the next file ahead, decodes into the ring, reports
//            Opened, PlayFailed and EndOfStream; opens the output (it may
//            take up to a second with a server that does not answer),
//            unpauses it when there is audio to play, pauses it once it fell
//            silent, closes it after a few idle seconds, reopens a removed one.
//   output   the output's own thread (render): drains the ring, applies the
//            volume, fades out when playback stops, records what it handed
//            over; never blocks, never allocates, takes no engine lock.
//
// LOCKS (take in this order; never the other way round)
//   deviceMutex  the output pointer and every call on the output; owner and
//                decoder, each briefly (opening an output happens outside
//                it, and the new one is swapped in).
//   the output's own lock  held around render and around the output's report
//                of a volume the mixer set; taken under deviceMutex to drop
//                stale blocks and to set the volume.
//   commandMutex the command slot; owner and decoder, briefly.
//   statusMutex  what the decoder learnt of files (open results, lengths,
//                the file prepared next); owner and decoder, briefly.
//   eventMutex   the event callback; held by the decoder or video thread
//                while it runs the callback, by the owner while replacing
//                it. Taken with no other engine lock held.
//   video.mutex, video.sinkMutex  see video_stream.h; taken with no other
//                engine lock held.
//
// SEGMENTS AND TICKETS
//   Both come from one counter (`serials`), so each is unique. A ticket names
//   one opened file, a segment one stretch of continuous audio of it. Blocks
//   carry their segment; the output drops blocks below `minSegment` (set by
//   the owner at every restart) and those `cancelled` (a file prepared next
//   that the hint no longer names).
#pragma once

#include "engine/audio_output.h"
#include "engine/block_ring.h"
#include "engine/decoder.h"
#include "engine/engine.h"
#include "engine/heard_marks.h"
#include "engine/sample_writer.h"
#include "engine/video_stream.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarn::engine {

// What the owner asks of the decoder thread (guarded by commandMutex). Later
// requests are merged into a pending one.
struct Command {
    bool pending = false;
    bool open = false; // close the current file and open `path`
    std::string path;
    std::uint64_t ticket = 0;
    bool adopt = false; // the file prepared next becomes the current one
    std::uint64_t adoptSegment = 0;
    bool seek = false; // seek the current file to `target` seconds
    double target = 0;
    bool play = false; // Play(): open the output if needed and let it run
    bool hint = false; // the file to prepare next changed to `hintPath`
    std::string hintPath;
    std::uint64_t segment = 0; // tag for what is decoded from now (0: unchanged)
};

// What the decoder learnt, for the owner (guarded by statusMutex).
struct FileStatus {
    std::uint64_t ticket = 0; // the open this describes
    Engine::OpenState state = Engine::OpenState::None;
    std::string reason;         // why it failed or broke off
    double estimatedLength = 0; // once open
    double exactLength = -1;    // once decoded to the end
    std::string outputError;    // why the last Play() found no output
    bool videoOnly = false;     // pictures and no sound: the monotonic clock times it
};
struct PreparedNext {
    std::string path;
    std::uint64_t ticket = 0;
    std::uint64_t segment = 0; // 0: nothing prepared
};

struct Engine::Impl {
    explicit Impl(EngineOptions options);
    ~Impl();

    const OutputOptions outputOptions; // which output, and how; any thread reads it

    // ---- owner thread only ----
    std::string fileName;
    std::string playError; // Play() found nothing to play
    std::uint64_t ticket = 0;
    std::uint64_t segment = 0;
    double startSeconds = 0; // where the current segment starts playing
    bool flag1017 = false;
    PlayState state = PlayState::Stopped;
    bool flushedPause = false; // paused with the output flushed: resume from pausedAt
    double pausedAt = 0;
    mutable bool adopted = false; // taken over from the decoder; its end not yet taken
    std::string hintPath;
    VideoControl steer; // what the video thread was told last

    // ---- written by the owner, read by the others ----
    std::atomic<std::uint64_t> serials{0};
    std::atomic<std::uint64_t> minSegment{0};
    std::atomic<std::uint64_t> wantedTicket{0}; // an open of another ticket is cancelled
    std::atomic<std::uint64_t> hintSerial{0};   // a preparation of an older hint is cancelled
    std::atomic<bool> preparing{false};         // the decoder opens the file named next
    std::atomic<bool> quit{false};
    std::atomic<bool> preloadWanted{false}; // load the output's library when next awake
    std::atomic<bool> playing{false};       // the output hands out audio only while set
    std::atomic<float> targetGain{1.0f};
    std::atomic<std::int64_t> playCalledNs{0};
    std::atomic<bool> latencyPending{false};
    std::atomic<bool> gainJump{false}; // set the gain afresh for the next audio:
    std::atomic<bool> fadeIn{false};   // from 0 (resuming mid-file) or at once (a fresh start)

    // ---- written by the owner (setVolume) and the output thread (the mixer's
    //      changes), each holding the output's lock; read by anyone ----
    std::atomic<std::int32_t> volume{0}; // what Volume() says
    std::atomic<float> gain{1.0f};       // what the output is to have, and opens at

    // ---- written by the output thread ----
    HeardMarks marks;
    std::atomic<std::int64_t> firstSampleLatencyNs{-1};
    std::atomic<bool> pauseWanted{false}; // fell silent with nothing to play
    std::atomic<bool> endHanded{false};   // a file's last frame was handed out

    // ---- written by the decoder thread (and the video thread of a file without sound) ----
    std::atomic<std::uint64_t> heardEnd{0}; // the latest segment whose end was heard
    // The last few segments prepared next and then dropped (a hint that
    // changed); written round robin by the decoder, read by the output.
    static constexpr int kCancelSlots = 4;
    std::atomic<std::uint64_t> cancelled[kCancelSlots] = {};
    int nextCancelSlot = 0; // decoder thread only
    bool isCancelled(std::uint64_t s) const
    {
        for (const auto &c : cancelled)
            if (c.load(std::memory_order_acquire) == s)
                return true;
        return false;
    }
    std::atomic<bool> decoderSleeping{false};

    // ---- statusMutex ----
    mutable std::mutex statusMutex;
    FileStatus status;     // of the owner's current ticket (or the one before)
    FileStatus nextStatus; // of the file prepared next
    PreparedNext prepared;

    // ---- deviceMutex ----
    mutable std::mutex deviceMutex;
    std::unique_ptr<AudioOutput> output;
    bool outputLost = false;  // removed: the decoder keeps trying to reopen it
    bool outputPaused = true; // paused by the engine
    OutputSpec openedSpec;    // of the last output opened, for a reopen
    std::chrono::steady_clock::time_point idleSince; // paused for lack of sound
    SampleWriter writer;    // output thread only (configured while it is paused)
    bool outputIdle = true; // output thread only: silent with nothing to play
    bool atEnd = false;     // output thread only: the last block handed ended a file

    // ---- commandMutex ----
    std::mutex commandMutex;
    std::condition_variable wake; // decoder waits here; anyone notifies
    Command command;
    std::atomic<bool> commandWaiting{false}; // mirrors command.pending for a cheap check

    // ---- video.mutex, video.sinkMutex (see video_stream.h) ----
    VideoShared video;

    // ---- eventMutex ----
    std::mutex eventMutex;
    EventCallback eventCallback;

    // ---- decoder thread only ----
    struct Feed {
        std::unique_ptr<Decoder> decoder;
        std::uint64_t ticket = 0;
        std::uint64_t segment = 0;
        bool drained = false; // the decoder gave its last frames (into staging)
        bool ended = false;   // its last block is in the ring
    };
    Feed current, next;
    std::unique_ptr<VideoStream> videoStream; // the current file's pictures, if shown
    Feed *feeding = nullptr;                  // whose audio goes into the ring now
    // What the decoder resamples to: the first output's format, learnt when
    // the first file opens, and asked of every output opened after it, so
    // audio already decoded never has to be made again.
    AudioFormat decodeFormat;
    bool formatKnown = false;
    bool playWanted = false;    // a Play() whose output is still to be opened
    std::string preparePath;    // the hint as the decoder knows it
    bool prepareTried = false;  // the hint was tried since it last changed
    std::vector<float> staging; // resampled frames not yet in the ring
    std::size_t stagingUsed = 0;
    std::int64_t stagingFrame = 0;
    std::uint64_t reportedEnd = 0;
    bool idlePending = false; // the output fell silent: pause it once the end was heard
    std::chrono::steady_clock::time_point lastDeviceCheck;

    BlockRing ring; // see block_ring.h for its two sides

    // Owner (engine.cpp).
    std::uint64_t newSerial() { return serials.fetch_add(1) + 1; }
    void restart(Command request);
    // Under deviceMutex: makes `opened` the output (render is not running).
    void installOutput(std::unique_ptr<AudioOutput> opened);
    // Under deviceMutex: stops render for good, then lets the output go
    // (render reads the pointer until it has stopped). What it had played
    // stays the position until another output plays.
    void closeOutput();
    // Files end in the order they play, so a later end means this one is over.
    bool ended() const { return segment != 0 && heardEnd.load() >= segment; }
    FileStatus currentStatus() const;
    void postEvent(const Event &event);
    // Tells the video thread the segment, the state and the monotonic clock,
    // which reads `clockSeconds` now.
    void steerVideo(double clockSeconds);

    // Owner or video thread: the seconds of `segment` being heard now, or
    // `fallback` before any of it was handed to an output.
    double heardSeconds(std::uint64_t segment, double fallback) const;
    // Decoder or video thread: `s` ended (heardEnd only grows).
    void noteHeardEnd(std::uint64_t s);

    // Decoder thread (decoder_thread.cpp).
    void decoderMain();
    void apply(Command &cmd);
    void openCurrent(const std::string &path, std::uint64_t ticket, std::uint64_t segment);
    std::unique_ptr<VideoStream> openVideo(const std::string &path, CancelToken cancel,
                                           bool withSound, std::uint64_t ticket,
                                           std::string &error);
    bool prepareWanted() const;
    void prepareNext();
    void cancelNext();
    void startFeeding(Feed &feed);
    void fillRing();
    void reportEndOfStream();
    void pauseIdleOutput();
    void watchOutput();
    bool openOutputNow(std::string &error);
    void learnFormat(std::string &outputError);
    void syncOutput();
    void reportOutputError(const std::string &error);
    std::chrono::milliseconds sleepLimit();

    // Output thread (output_callback.cpp).
    static int render(void *userdata, std::uint8_t *dest, int frames);
    // Output thread, the output's lock held: the mixer changed the volume.
    static void volumeChangedOutside(void *userdata, float gain);
    // What every output is opened with.
    OutputVolume outputVolume() { return {gain.load(), &Impl::volumeChangedOutside, this}; }

    std::thread decoderThread; // last: started once everything above exists
};

} // namespace tarn::engine
