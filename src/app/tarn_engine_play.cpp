// tarn-engine-play: plays files through the engine one after another, as the
// player's automatic advance does (at end-of-stream: next file, Play), and
// prints one line per event for checks and benchmarks:
//
//   <ms> open <path> length=<seconds>
//   <ms> error <path> <reason>
//   <ms> play
//   <ms> pause                  (only with --pause-at)
//   <ms> eos
//   <ms> done
//
// <ms> is milliseconds on the monotonic clock since the program started.
// --volume N sets Volume (hundredths of a dB, -10000 to 0); --seek starts the
// first file at SECONDS (later files start at 0, as at any advance);
// --pause-at pauses once, when the position first reaches SECONDS, for
// DURATION seconds. A file that cannot be opened is reported and skipped.
// Exit status: 0 when every file played to its end, 1 when any could not be
// opened or played, 2 on a usage error, 128 + signal number on SIGINT/SIGTERM.
//
// Threads: main() owns the engine and does all the work. The engine's
// end-of-stream callback and the signal thread only post to `Events` and
// wake main().
#include "engine/engine.h"
#include "engine/engine_environment.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point startTime = Clock::now();

void event(const std::string &text)
{
    const std::chrono::duration<double, std::milli> ms = Clock::now() - startTime;
    std::printf("%.3f %s\n", ms.count(), text.c_str());
    std::fflush(stdout);
}

struct Options {
    std::int32_t volume = 0;
    double seek = 0;
    std::optional<double> pauseAt;
    double pauseFor = 0;
    std::vector<std::string> files;
};

bool parseNumber(const char *text, double &out)
{
    char *end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= 0 && out < 1e9;
}

std::optional<Options> parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--volume" && hasValue) {
            char *end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || end == argv[i] || v < -10000 || v > 0)
                return std::nullopt;
            o.volume = static_cast<std::int32_t>(v);
        } else if (arg == "--seek" && hasValue) {
            if (!parseNumber(argv[++i], o.seek))
                return std::nullopt;
        } else if (arg == "--pause-at" && hasValue) {
            std::string value = argv[++i];
            const auto colon = value.find(':');
            double at = 0;
            if (colon == std::string::npos)
                return std::nullopt;
            const std::string duration = value.substr(colon + 1);
            value.resize(colon);
            if (!parseNumber(value.c_str(), at) || !parseNumber(duration.c_str(), o.pauseFor))
                return std::nullopt;
            o.pauseAt = at;
        } else if (arg == "--") {
            o.files.insert(o.files.end(), argv + i + 1, argv + argc);
            break;
        } else if (arg.starts_with("--")) {
            return std::nullopt;
        } else {
            o.files.push_back(arg);
        }
    }
    if (o.files.empty())
        return std::nullopt;
    return o;
}

// What the other threads tell main(). mutex guards everything below it.
struct Events {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<tarn::engine::Event> posted; // oldest first
    int signal = 0;                         // SIGINT or SIGTERM once received
};

// Waits for SIGINT/SIGTERM (blocked in every thread, so only sigwait() sees
// them) and hands the first one to main(). A signal sent by main() itself at
// exit ends the thread.
void signalThread(Events *events, sigset_t set)
{
    int sig = 0;
    if (sigwait(&set, &sig) != 0)
        return;
    {
        std::lock_guard lock(events->mutex);
        events->signal = sig;
    }
    events->wake.notify_all();
}

class Player {
public:
    Player(const Options &options, const tarn::engine::EngineOptions &engineOptions, Events &events)
        : options_(options), events_(events), engine_(engineOptions)
    {
        engine_.setVolume(options.volume);
        engine_.setEventCallback([this](const tarn::engine::Event &e) {
            {
                std::lock_guard lock(events_.mutex);
                events_.posted.push_back(e);
            }
            events_.wake.notify_all();
        });
    }

    // Returns the exit status.
    int run()
    {
        bool allPlayed = true;
        for (std::size_t i = 0; i < options_.files.size(); ++i) {
            const std::string &path = options_.files[i];
            // The next file is prepared ahead and follows without a gap.
            engine_.setNextFileName(i + 1 < options_.files.size() ? options_.files[i + 1] : "");
            std::fill(std::begin(seen_), std::end(seen_), false);
            engine_.setFileName(path);
            if (const int sig = waitFor(tarn::engine::Event::Kind::Opened))
                return 128 + sig;
            if (engine_.openState() != tarn::engine::Engine::OpenState::Open) {
                event("error " + path + " " + engine_.LastError());
                allPlayed = false;
                continue;
            }
            event("open " + path + " length=" + seconds(engine_.Length()));
            if (i == 0 && options_.seek > 0)
                engine_.setPosition(options_.seek);
            engine_.Play();
            event("play");
            if (const int sig = waitFor(tarn::engine::Event::Kind::EndOfStream))
                return 128 + sig;
            if (seen(tarn::engine::Event::Kind::PlayFailed)) {
                event("error " + path + " " + engine_.LastError());
                return 1; // no output device: the next files would fail the same way
            }
            event("eos");
        }
        event("done");
        return allPlayed ? 0 : 1;
    }

private:
    static std::string seconds(double s)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", s);
        return text;
    }

    // Until the current file's event of `kind` (returns 0) or a signal
    // (returns its number). Sleeps without waking unless a pause is still
    // due, when it looks at the position every 5 ms.
    int waitFor(tarn::engine::Event::Kind kind)
    {
        for (;;) {
            if (const int sig = signalReceived())
                return sig;
            if (take(kind))
                return 0;
            if (pauseDue() && engine_.Position() >= *options_.pauseAt) {
                pauseOnce();
                continue;
            }
            std::unique_lock lock(events_.mutex);
            const auto ready = [this] { return events_.signal != 0 || !events_.posted.empty(); };
            if (pauseDue())
                events_.wake.wait_for(lock, std::chrono::milliseconds(5), ready);
            else
                events_.wake.wait(lock, ready);
        }
    }

    int signalReceived()
    {
        std::lock_guard lock(events_.mutex);
        return events_.signal;
    }

    bool seen(tarn::engine::Event::Kind kind) const { return seen_[int(kind)]; }

    // Takes queued events, oldest first, noting those of the current file,
    // until one of `kind` (or a failed Play) was seen; true once it was. Later events stay
    // queued for the file set next (a short file can end even before the
    // owner takes it over, as the windows' event queue works too). The engine
    // is asked outside the events lock, which its callback thread takes.
    bool take(tarn::engine::Event::Kind kind)
    {
        const auto done = [&] { return seen(kind) || seen(tarn::engine::Event::Kind::PlayFailed); };
        while (!done()) {
            tarn::engine::Event e;
            {
                std::lock_guard lock(events_.mutex);
                if (events_.posted.empty())
                    break;
                e = events_.posted.front();
                events_.posted.pop_front();
            }
            if (e.kind == tarn::engine::Event::Kind::VolumeChanged)
                event("volume " + std::to_string(engine_.Volume())); // the desktop's mixer
            else if (engine_.isCurrent(e))
                seen_[int(e.kind)] = true;
        }
        return done();
    }

    bool pauseDue() const { return options_.pauseAt && !paused_; }

    void pauseOnce()
    {
        paused_ = true;
        engine_.Pause();
        event("pause");
        const auto resume = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(options_.pauseFor));
        {
            std::unique_lock lock(events_.mutex);
            if (events_.wake.wait_until(lock, resume, [this] { return events_.signal != 0; }))
                return; // waitForEnd() reports the signal
        }
        // The file may have ended just before Pause(); Play() would then start
        // it over instead of resuming. (waitFor() then sees it seen.)
        if (take(tarn::engine::Event::Kind::EndOfStream))
            return;
        engine_.Play();
        event("play");
    }

    const Options &options_;
    Events &events_;
    bool paused_ = false; // main thread only, like seen_
    bool seen_[4] = {};   // the current file's events taken, by Event::Kind
    tarn::engine::Engine engine_;
};

} // namespace

int main(int argc, char **argv)
{
    const std::optional<Options> options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: tarn-engine-play [--volume N] [--seek SECONDS] "
                     "[--pause-at SECONDS:DURATION] FILE...\n"
                     "  N: volume in hundredths of a dB, -10000 to 0\n"
                     "Environment:\n%s",
                     tarn::engine::kEngineEnvironmentHelp);
        return 2;
    }
    const tarn::engine::EngineOptions engineOptions =
        tarn::engine::applyEngineEnvironment("tarn-engine-play", ::getenv);
    // Block the signals before any thread starts so that every thread
    // inherits the mask and only the signal thread receives them; SDL must
    // not install its own handlers either.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
        std::perror("pthread_sigmask");
        return 1;
    }
    Events events;
    std::thread signals(signalThread, &events, set);
    int status = 0;
    {
        Player player(*options, engineOptions, events);
        status = player.run();
    } // the engine stops and closes its device before the program ends
    {
        std::lock_guard lock(events.mutex);
        if (events.signal == 0)
            pthread_kill(signals.native_handle(), SIGTERM); // ends the sigwait()
    }
    signals.join();
    return status;
}
