#include "engine/audio_output.h"
#include "engine/pulse_output.h"
#include "engine/sdl_output.h"

#include <cstdlib>
#include <string_view>

namespace tarn::engine {

std::unique_ptr<AudioOutput> openOutput(AudioOutput::RenderFn render, void *userdata,
                                        const OutputSpec *previous, std::string &error)
{
    const char *forced = std::getenv("TARN_AUDIO_OUTPUT");
    const std::string_view choice = forced != nullptr ? forced : "";
    if (choice == "pulse")
        return PulseOutput::open(render, userdata, previous, error);
    if (choice == "sdl")
        return SdlOutput::open(render, userdata, previous, error);
    // Someone who picked an SDL driver wants SDL (the tests' disk and dummy
    // drivers among them).
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    if (driver != nullptr && *driver != '\0')
        return SdlOutput::open(render, userdata, previous, error);
    std::string pulseError;
    if (auto pulse = PulseOutput::open(render, userdata, previous, pulseError))
        return pulse;
    auto sdl = SdlOutput::open(render, userdata, previous, error);
    if (!sdl)
        error = pulseError + "; " + error;
    return sdl;
}

} // namespace tarn::engine
