// A private PulseAudio server with a null sink, for tests that need a real
// sound server on a headless machine (SDL's dummy and disk drivers open only
// one output device per process). Points SDL at it for the lifetime of this
// object and ends the server afterwards.
#pragma once

#include "engine/support/media_files.h"

#include <string>
#include <sys/types.h>

namespace tarn::test {

struct NullSinkOptions {
    // The server's own default rate stays 44100, so a client that asks the
    // sink itself can be told apart.
    int rate = 44100;
    // Float samples (passed through unchanged) in eight channels, the first
    // two front left and right. The sink mixes in pieces of at most 64 KiB,
    // and the first piece of each mix reaches the monitor before a rewind
    // can change it: 2046 frames here instead of 16368, so the monitor
    // follows a rewind to within that.
    bool precise = false;
    // Load module-stream-restore, which a desktop's server has: it gives a
    // new stream the volume its program's last stream had, unless the
    // program gives one itself.
    bool streamRestore = false;
};

class PrivateSoundServer {
public:
    explicit PrivateSoundServer(NullSinkOptions sink = {});
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer &) = delete;
    PrivateSoundServer &operator=(const PrivateSoundServer &) = delete;

    // False when pulseaudio is not installed or did not come up.
    bool running() const { return pid_ > 0 && ready_; }
    // Ends the server, as when the sound server is restarted; with `crash`
    // it is killed (SIGKILL), as when it crashes.
    void stop(bool crash = false);
    // Starts it again on the same socket; returns running().
    bool start();
    // Stops the server process (SIGSTOP) so that it accepts connections but
    // never answers, as a hung server does; thaw() lets it run again.
    void freeze();
    void thaw();

    std::string address() const; // for PULSE_SERVER or --server
    pid_t pid() const { return pid_; }
    static constexpr const char *sinkName = "tarn_null";

private:
    TempDir dir_;
    NullSinkOptions sink_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

} // namespace tarn::test
