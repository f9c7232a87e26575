// The PulseAudio stream's buffer as chosen from what the server says it is
// and what TARN_PULSE_BUFFER_MS asks: PulseAudio keeps the short buffer (or
// exactly what was asked); PipeWire gets a long one, and no request may make
// the sink lead shorter than one period of PipeWire's graph, which would
// shorten every other program's period with it.
#include "engine/pulse/pulse_buffer.h"
#include "engine/support/output_checks.h"

#include <cstdio>

using namespace tarn::test;
using tarn::engine::chooseBuffer;
using tarn::engine::PulseBuffer;
using tarn::engine::PulseServer;
using tarn::engine::sinkLeadMs;

namespace {

constexpr const char *kPulse = "pulseaudio";
constexpr const char *kPipeWire = "PulseAudio (on PipeWire 0.3.65)";

struct Row {
    const char *server;
    int rate;
    std::optional<PulseBuffer> requested; // TARN_PULSE_BUFFER_MS, or none when unset
    PulseBuffer want;
};

// clang-format off
const Row rows[] = {
    // PulseAudio: today's buffer, or the request exactly, however short its lead.
    {kPulse,    44100, {},                  {215, 100, 40, false}},
    {kPulse,    48000, {{80, 20}},          {80, 20, 40, false}},
    {kPulse,    48000, {{50, 20, 10, true}},{50, 20, 10, true}},
    {kPulse,    48000, {{300, 100, 0}},     {300, 100, 0, false}},
    // PipeWire: 300 ms held, 100 ms ahead.
    {kPipeWire, 48000, {},                  {300, 100, 40, false}},
    {"PulseAudio (on PipeWire 1.0.5)", 96000, {}, {300, 100, 40, false}},
    // A request leading by less than 1024 frames (21.3 ms at 48 kHz) leads by that, rounded up.
    {kPipeWire, 48000, {{215, 100}},        {222, 100, 40, false}},
    {kPipeWire, 44100, {{215, 100}},        {224, 100, 40, false}},
    {kPipeWire, 8000,  {{215, 100}},        {328, 100, 40, false}},
    {kPipeWire, 0,     {{215, 100}},        {222, 100, 40, false}}, // rate unknown: 48 kHz
    {kPipeWire, 48000, {{80, 20, 10, true}},{84, 20, 10, true}},    // split: half the rest leads
    // Long enough already: as asked.
    {kPipeWire, 48000, {{500, 150}},        {500, 150, 40, false}},
    {kPipeWire, 48000, {{100, 60}},         {100, 60, 40, false}},  // one request ahead
};
// clang-format on

void choice(Checks &checks)
{
    for (const Row &row : rows) {
        const PulseServer server{row.server, row.rate};
        const PulseBuffer got = chooseBuffer(server, row.requested);
        const std::string name = fmt(
            "%s at %d Hz, asked %s", row.server, row.rate,
            row.requested ? fmt("%d,%d", row.requested->targetMs, row.requested->requestMs).c_str()
                          : "(unset)");
        checks.expect(got == row.want,
                      name + fmt(": got %d,%d,%d,%d, expected %d,%d,%d,%d", got.targetMs,
                                 got.requestMs, got.prebufMs, int(got.adjustLatency),
                                 row.want.targetMs, row.want.requestMs, row.want.prebufMs,
                                 int(row.want.adjustLatency)));
        // Guards: one client pulling the whole graph below its default period.
        const int rate = row.rate > 0 ? row.rate : 48000;
        if (tarn::engine::isPipeWire(row.server))
            checks.expect(sinkLeadMs(got) * rate >= 1024 * 1000,
                          name + fmt(": leads by %d ms, under one graph period", sinkLeadMs(got)));
    }
}

} // namespace

int main()
{
    Checks checks;
    choice(checks);
    return checks.exitCode();
}
