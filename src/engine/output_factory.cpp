#include "engine/audio_output.h"
#include "engine/module_loader.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

namespace tarn::engine {

namespace {

#ifndef TARN_PULSE_MODULE_BUILD_PATH
#define TARN_PULSE_MODULE_BUILD_PATH nullptr
#endif
#ifndef TARN_SDL_MODULE_BUILD_PATH
#define TARN_SDL_MODULE_BUILD_PATH nullptr
#endif

constexpr ModuleSpec kPulse{"libtarn-pulse.so", kOutputModuleEntry, "TARN_PULSE_MODULE",
                            TARN_PULSE_MODULE_BUILD_PATH, "PulseAudio output"};
constexpr ModuleSpec kSdl{"libtarn-sdl.so", kOutputModuleEntry, "TARN_SDL_MODULE",
                          TARN_SDL_MODULE_BUILD_PATH, "SDL output"};

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

// The output openOutput() takes without trying another: a forced choice,
// or SDL for someone who picked an SDL driver (the tests' disk and dummy
// drivers among them). Null: PulseAudio first, SDL when it fails.
const ModuleSpec *chosenOutput()
{
    const char *forced = std::getenv("TARN_AUDIO_OUTPUT");
    const std::string_view choice = forced != nullptr ? forced : "";
    if (choice == "pulse")
        return &kPulse;
    if (choice == "sdl")
        return &kSdl;
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    if (driver != nullptr && *driver != '\0')
        return &kSdl;
    return nullptr;
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
