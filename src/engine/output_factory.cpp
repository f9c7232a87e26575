#include "engine/audio_output.h"
#include "engine/module_loader.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

namespace tarn::engine {

namespace {

constexpr ModuleSpec kPulse{"libtarn-pulse.so", kOutputModuleEntry, "TARN_PULSE_MODULE",
                            "PulseAudio output"};
constexpr ModuleSpec kSdl{"libtarn-sdl.so", kOutputModuleEntry, "TARN_SDL_MODULE", "SDL output"};

struct Loaded {
    std::once_flag once;
    OutputModule *module = nullptr;
    std::string error;
};

OutputModule *outputModule(const ModuleSpec &spec, std::string &error)
{
    static Loaded pulse, sdl;
    Loaded &loaded = &spec == &kPulse ? pulse : sdl;
    std::call_once(loaded.once, [&] {
        loaded.module = loadModule<OutputModule>(spec, kOutputModuleVersion, loaded.error);
    });
    if (!loaded.module)
        error = loaded.error;
    return loaded.module;
}

std::unique_ptr<AudioOutput> openWith(const ModuleSpec &spec, AudioOutput::RenderFn render,
                                      void *userdata, const OutputSpec *previous,
                                      const OutputVolume &volume, std::string &error)
{
    OutputModule *module = outputModule(spec, error);
    return module ? module->open(render, userdata, previous, volume, error) : nullptr;
}

// The output openOutput() takes without trying another: the one the
// player's own choice (`choice`, TARN_AUDIO_OUTPUT) names. Null: PulseAudio
// first, SDL when it fails. SDL_AUDIODRIVER plays no part: people set it for
// games and other SDL programs, and the player on SDL beside a sound server
// costs more CPU and more latency than the server's own client.
const ModuleSpec *chosenOutput(std::string_view choice)
{
    if (choice == "pulse")
        return &kPulse;
    if (choice == "sdl")
        return &kSdl;
    return nullptr;
}

const ModuleSpec *chosenOutput()
{
    const char *choice = std::getenv("TARN_AUDIO_OUTPUT");
    return chosenOutput(choice != nullptr ? choice : "");
}

} // namespace

std::unique_ptr<AudioOutput> openOutput(AudioOutput::RenderFn render, void *userdata,
                                        const OutputSpec *previous, const OutputVolume &volume,
                                        std::string &error)
{
    if (const ModuleSpec *chosen = chosenOutput())
        return openWith(*chosen, render, userdata, previous, volume, error);
    std::string pulseError;
    if (auto pulse = openWith(kPulse, render, userdata, previous, volume, pulseError))
        return pulse;
    auto sdl = openWith(kSdl, render, userdata, previous, volume, error);
    if (!sdl)
        error = pulseError + "; " + error;
    return sdl;
}

void preloadOutput()
{
    const ModuleSpec *chosen = chosenOutput();
    std::string error; // told at the first open
    outputModule(chosen != nullptr ? *chosen : kPulse, error);
}

} // namespace tarn::engine
