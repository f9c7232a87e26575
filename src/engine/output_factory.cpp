#include "engine/audio_output.h"
#include "engine/pulse_output.h"
#include "engine/sdl_output.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

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

} // namespace

std::unique_ptr<AudioOutput> openOutput(AudioOutput::RenderFn render, void *userdata,
                                        const OutputSpec *previous, std::string &error)
{
    const char *forced = std::getenv("TARN_AUDIO_OUTPUT");
    const std::string_view choice = forced != nullptr ? forced : "";
    if (choice == "pulse")
        return PulseOutput::open(render, userdata, previous, error, pulseBuffer());
    if (choice == "sdl")
        return SdlOutput::open(render, userdata, previous, error);
    // Someone who picked an SDL driver wants SDL (the tests' disk and dummy
    // drivers among them).
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    if (driver != nullptr && *driver != '\0')
        return SdlOutput::open(render, userdata, previous, error);
    std::string pulseError;
    if (auto pulse = PulseOutput::open(render, userdata, previous, pulseError, pulseBuffer()))
        return pulse;
    auto sdl = SdlOutput::open(render, userdata, previous, error);
    if (!sdl)
        error = pulseError + "; " + error;
    return sdl;
}

} // namespace tarn::engine
