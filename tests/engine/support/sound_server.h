// A private PulseAudio server with a null sink, for tests that need a real
// sound server on a headless machine (SDL's dummy and disk drivers open only
// one output device per process). Points SDL at it for the lifetime of this
// object and ends the server afterwards.
#pragma once

#include "engine/support/media_files.h"

#include <sys/types.h>

namespace tarn::test {

class PrivateSoundServer {
public:
    PrivateSoundServer();
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer &) = delete;
    PrivateSoundServer &operator=(const PrivateSoundServer &) = delete;

    // False when pulseaudio is not installed or did not come up.
    bool running() const { return pid_ > 0 && ready_; }
    // Ends the server, as when the sound server crashes or is restarted.
    void stop();
    // Starts it again on the same socket; returns running().
    bool start();

private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

} // namespace tarn::test
