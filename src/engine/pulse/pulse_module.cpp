// The PulseAudio output module (libtarn-pulse.so): what openOutput() loads
// to talk to a PulseAudio server, so that libpulse is mapped only then.
#include "engine/pulse/pulse_output.h"

#include <cstdlib>

namespace tarn::engine {

namespace {

// TARN_PULSE_BUFFER_MS="TARGET,REQUEST[,PREBUF[,ADJUST]]" chooses the
// PulseAudio buffer (for measurements and for sinks that need more); ADJUST 0
// leaves the sink's latency at TARGET - 2 x REQUEST. The server's default
// otherwise (see pulse_buffer.h).
std::optional<PulseBuffer> requestedBuffer()
{
    return parsePulseBuffer(std::getenv("TARN_PULSE_BUFFER_MS"));
}

class PulseModule final : public OutputModule {
public:
    std::unique_ptr<AudioOutput> open(AudioOutput::RenderFn render, void *userdata,
                                      const OutputSpec *previous, const OutputVolume &volume,
                                      std::string &error) override
    {
        return PulseOutput::open(render, userdata, previous, error, requestedBuffer(), volume);
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
