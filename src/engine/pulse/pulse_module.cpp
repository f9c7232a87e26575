// The PulseAudio output module (libtarn-pulse.so): what openOutput() loads
// to talk to a PulseAudio server, so that libpulse is mapped only then.
#include "engine/pulse/pulse_output.h"

#include <cstdio>
#include <cstdlib>

namespace tarn::engine {

namespace {

// TARN_PULSE_BUFFER_MS="TARGET,REQUEST[,PREBUF[,ADJUST]]" chooses the
// PulseAudio buffer (for measurements and for sinks that need more); ADJUST 0
// leaves the sink's latency at TARGET - 2 x REQUEST. The defaults otherwise.
PulseBuffer pulseBuffer()
{
    PulseBuffer b;
    const char *text = std::getenv("TARN_PULSE_BUFFER_MS");
    int target = 0, request = 0, prebuf = -1, adjust = -1;
    const int n =
        text != nullptr ? std::sscanf(text, "%d,%d,%d,%d", &target, &request, &prebuf, &adjust) : 0;
    if (n >= 2 && target >= 20 && target <= 10000 && request >= 5 && request <= target) {
        b.targetMs = target;
        b.requestMs = request;
        if (n >= 3 && prebuf >= 0 && prebuf <= target)
            b.prebufMs = prebuf;
        if (n >= 4)
            b.adjustLatency = adjust != 0;
    }
    return b;
}

class PulseModule final : public OutputModule {
public:
    std::unique_ptr<AudioOutput> open(AudioOutput::RenderFn render, void *userdata,
                                      const OutputSpec *previous, const OutputVolume &volume,
                                      std::string &error) override
    {
        return PulseOutput::open(render, userdata, previous, error, pulseBuffer(), volume);
    }
};

} // namespace

} // namespace tarn::engine

extern "C" __attribute__((visibility("default"))) tarn::engine::OutputModule *
tarn_output_module(int version)
{
    static tarn::engine::PulseModule module;
    return version == tarn::engine::kOutputModuleVersion ? &module : nullptr;
}
