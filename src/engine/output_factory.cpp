#include "engine/audio_output.h"
#include "engine/module_loader.h"

#include <mutex>

namespace tarn::engine {

namespace {

constexpr ModuleSpec kPulse{"libtarn-pulse.so", kOutputModuleEntry, "PulseAudio output"};
constexpr ModuleSpec kSdl{"libtarn-sdl.so", kOutputModuleEntry, "SDL output"};

struct Loaded {
    std::once_flag once;
    OutputModule *module = nullptr;
    std::string error;
};

OutputModule *outputModule(const ModuleSpec &spec, std::string &error)
{
    static Loaded pulse, sdl;
    const bool isPulse = &spec == &kPulse;
    Loaded &loaded = isPulse ? pulse : sdl;
    std::call_once(loaded.once, [&] {
        const ModuleFiles &named = moduleFiles();
        loaded.module = loadModule<OutputModule>(spec, isPulse ? named.pulse : named.sdl,
                                                 kOutputModuleVersion, loaded.error);
    });
    if (!loaded.module)
        error = loaded.error;
    return loaded.module;
}

std::unique_ptr<AudioOutput> openWith(const ModuleSpec &spec, AudioOutput::RenderFn render,
                                      void *userdata, const OutputSpec *previous,
                                      const OutputVolume &volume, const OutputOptions &options,
                                      std::string &error)
{
    OutputModule *module = outputModule(spec, error);
    return module ? module->open(render, userdata, previous, volume, options, error) : nullptr;
}

// The output openOutput() takes without trying another: the one the
// program's own choice names. Null: PulseAudio first, SDL when it fails.
// SDL_AUDIODRIVER plays no part: people set it for games and other SDL
// programs, and the player on SDL beside a sound server costs more CPU and
// more latency than the server's own client.
const ModuleSpec *chosenOutput(OutputChoice choice)
{
    switch (choice) {
    case OutputChoice::Pulse:
        return &kPulse;
    case OutputChoice::Sdl:
        return &kSdl;
    case OutputChoice::Automatic:
        break;
    }
    return nullptr;
}

} // namespace

std::unique_ptr<AudioOutput> openOutput(AudioOutput::RenderFn render, void *userdata,
                                        const OutputSpec *previous, const OutputVolume &volume,
                                        const OutputOptions &options, std::string &error)
{
    if (const ModuleSpec *chosen = chosenOutput(options.output))
        return openWith(*chosen, render, userdata, previous, volume, options, error);
    std::string pulseError;
    if (auto pulse = openWith(kPulse, render, userdata, previous, volume, options, pulseError))
        return pulse;
    auto sdl = openWith(kSdl, render, userdata, previous, volume, options, error);
    if (!sdl)
        error = pulseError + "; " + error;
    return sdl;
}

void preloadOutput(const OutputOptions &options)
{
    const ModuleSpec *chosen = chosenOutput(options.output);
    std::string error; // told at the first open
    outputModule(chosen != nullptr ? *chosen : kPulse, error);
}

} // namespace tarn::engine
