// What a PrivateSoundServer's null sink plays, recorded from its monitor
// with parec as raw 32-bit float, for tests that drive a PulseAudio output
// and check what came out. Recording positions are frames of the sink's own
// timeline: a stream at the sink's rate that plays without an underrun lands
// there sample for sample, from the first sound it makes.
#pragma once

#include "engine/support/media_files.h"
#include "engine/support/sound_server.h"

#include <sys/types.h>
#include <vector>

namespace tarn::test {

class MonitorRecorder {
public:
    // Starts parec and returns once it records (or failed: running() false).
    // parec makes the sink mix at most `latencyMs` ahead, and the sink is
    // restarted at that: an idle null sink mixes two seconds ahead and can
    // rewind only as far as the latency asked since, so a stream that starts
    // then would play up to two seconds late. Give the latency the stream
    // under test asks of the sink, so that the recorder changes nothing.
    MonitorRecorder(const PrivateSoundServer &server, int rate, int channels, int latencyMs);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder &) = delete;
    MonitorRecorder &operator=(const MonitorRecorder &) = delete;

    bool running() const { return pid_ > 0 && recording_; }
    // Ends parec and returns what it recorded, interleaved.
    std::vector<float> stop();

private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool recording_ = false;
};

} // namespace tarn::test
