// The PulseAudio output module (libtarn-pulse.so): what openOutput() loads
// to talk to a PulseAudio server, so that libpulse is mapped only then.
#include "engine/pulse/pulse_output.h"

namespace tarn::engine {

namespace {

class PulseModule final : public OutputModule {
public:
    std::unique_ptr<AudioOutput> open(AudioOutput::RenderFn render, void *userdata,
                                      const OutputSpec *previous, const OutputVolume &volume,
                                      const OutputOptions &options, std::string &error) override
    {
        return PulseOutput::open(render, userdata, previous, error, options.pulseBuffer, volume);
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
