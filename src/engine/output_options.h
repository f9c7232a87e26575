// Which sound output the engine opens, and the PulseAudio buffer it asks
// for: chosen by the program (see engine_environment.h) and handed to the
// engine in EngineOptions. The engine itself reads no environment.
#pragma once

#include <optional>

namespace tarn::engine {

enum class OutputChoice {
    Automatic, // PulseAudio when a server answers, else SDL
    Pulse,     // PulseAudio only
    Sdl,       // SDL only (its own SDL_AUDIODRIVER picks SDL's driver)
};

// Stream buffer sizes; the defaults are what the player uses. Two figures
// count: what the sink mixes ahead, which is how late a pause, a seek or a
// volume change can reach a monitor or a sink that cannot rewind, and how
// often the server asks for audio. Without the latency split the sink mixes
// targetMs - 2 x requestMs ahead: 215/100 gives 15 ms there while the server
// holds 215 ms and asks ten times a second. (With the split, 80/20 also gave
// 20 ms at the sink but asked fifty times a second; bench/README.md has the
// figures.)
struct PulseBuffer {
    int targetMs = 215;         // audio the server holds for us in all
    int requestMs = 100;        // it asks for at least this much at a time
    int prebufMs = 40;          // it starts (and restarts after an underrun) with this much
    bool adjustLatency = false; // split targetMs between the sink and the stream's queue

    bool operator==(const PulseBuffer &) const = default;
};

struct OutputOptions {
    OutputChoice output = OutputChoice::Automatic;
    std::optional<PulseBuffer> pulseBuffer = {}; // none: the PulseAudio output's own
};

} // namespace tarn::engine
