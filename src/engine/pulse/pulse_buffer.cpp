#include "engine/pulse/pulse_buffer.h"

namespace tarn::engine {

namespace {

// The long buffer PipeWire gets: 100 ms mixed ahead, 300 ms held, asked for
// ten times a second.
constexpr PulseBuffer kPipeWireBuffer{.targetMs = 300, .requestMs = 100};

} // namespace

bool isPipeWire(std::string_view serverName)
{
    // pipewire-pulse calls itself "PulseAudio (on PipeWire 0.3.65)".
    return serverName.find("PipeWire") != std::string_view::npos;
}

int sinkLeadMs(const PulseBuffer &b)
{
    // What is left of the target beyond two requests is the sink's; with
    // the split, half of it. Less than that and the sink runs one request ahead.
    const int beyond = b.targetMs - 2 * b.requestMs;
    if (beyond <= 0)
        return b.requestMs;
    return b.adjustLatency ? beyond / 2 : beyond;
}

PulseBuffer chooseBuffer(const PulseServer &server, const std::optional<PulseBuffer> &requested)
{
    if (!isPipeWire(server.name))
        return requested.value_or(PulseBuffer{});
    PulseBuffer b = requested.value_or(kPipeWireBuffer);
    const int rate = server.rate > 0 ? server.rate : 48000;
    const int periodMs = (kPipeWireDefaultQuantum * 1000 + rate - 1) / rate; // rounded up
    if (sinkLeadMs(b) < periodMs)
        b.targetMs = 2 * b.requestMs + (b.adjustLatency ? 2 : 1) * periodMs;
    return b;
}

} // namespace tarn::engine
