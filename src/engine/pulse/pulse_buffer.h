// How much the PulseAudio stream asks the server to hold, chosen once the
// server has said what it is. Plain values, no libpulse: the choice is
// tested on its own.
//
// Two figures count: what the sink mixes ahead (the sink lead), which is
// how late a pause, a seek or a volume change can reach a monitor or a sink
// that cannot rewind, and how often the server asks for audio. Without the
// latency split the sink mixes targetMs - 2 x requestMs ahead: 215/100
// gives 15 ms there while the server holds 215 ms and asks ten times a
// second. (With the split, 80/20 also gave 20 ms at the sink but asked fifty
// times a second; bench/README.md has the figures.)
//
// PipeWire's PulseAudio service turns the sink lead into the stream's
// node.latency, and its graph runs at the smallest latency any stream asks:
// a 15 ms lead pulls every program's sound down to 512-frame periods, which
// costs the servers two to three times the CPU and broke other programs'
// sound as the player started. There a change is heard one graph period
// later whatever the buffer, so the player asks for a long, cheap buffer
// instead (300 ms, 100 ms ahead), and never leads by less than one period
// of the graph.
#pragma once

#include "engine/output_options.h"

#include <optional>
#include <string_view>

namespace tarn::engine {

// The graph's period when nobody asks for a shorter one (PipeWire's
// clock.quantum default; the PulseAudio API has no way to read it).
constexpr int kPipeWireDefaultQuantum = 1024;

// What the server described of itself.
struct PulseServer {
    std::string_view name; // pa_server_info::server_name
    int rate = 0;          // its default rate, which is the graph's rate on PipeWire
};

// True when the server is PipeWire's PulseAudio service.
bool isPipeWire(std::string_view serverName);

// How far ahead the sink mixes with `buffer`, in milliseconds, as the server
// derives it from the stream's attributes.
int sinkLeadMs(const PulseBuffer &buffer);

// The buffer to ask `server` for: `requested` when given, else this
// server's default. On PipeWire the sink lead is raised to one default
// graph period when it would be shorter (the target grows, the request
// stays).
PulseBuffer chooseBuffer(const PulseServer &server, const std::optional<PulseBuffer> &requested);

} // namespace tarn::engine
