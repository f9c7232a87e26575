// The SDL output module (libtarn-sdl.so): what openOutput() loads where no
// PulseAudio server answers, so that SDL and the libraries it links are
// mapped only then.
#include "engine/sdl/sdl_output.h"

namespace tarn::engine {

namespace {

class SdlModule final : public OutputModule {
public:
    std::unique_ptr<AudioOutput> open(AudioOutput::RenderFn render, void *userdata,
                                      const OutputSpec *previous, const OutputVolume &,
                                      const OutputOptions &, std::string &error) override
    {
        // No mixer changes an SDL device's volume: the engine's gain is all.
        return SdlOutput::open(render, userdata, previous, error);
    }
};

} // namespace

} // namespace tarn::engine

extern "C" __attribute__((visibility("default"))) tarn::engine::OutputModule *
tarn_output_module(int version)
{
    static tarn::engine::SdlModule module;
    return version == tarn::engine::kOutputModuleVersion ? &module : nullptr;
}
