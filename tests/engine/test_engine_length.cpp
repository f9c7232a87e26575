// Length of every format: close to what decodes as soon as the file is open,
// exact once the end was reached, and never the header's word over the
// decoder's for a file cut short.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <cmath>

using namespace tarn::test;
using tarn::engine::Engine;

namespace {

struct LengthCase {
    const char *file;
    double decodes;    // seconds FFmpeg yields (tests/fixtures/README.md)
    double openWithin; // how far Length() may be off before the end is reached
};

const LengthCase cases[] = {
    {"tone440_cbr128_id3.mp3", 4.000, 0.050},
    {"tone1k_vbr_mono.mp3", 3.000, 0.050},
    {"tone440_wmav1.wma", 2.972, 0.050},
    {"tone1k_wmav2_mono.wma", 2.972, 0.050},
    {"tone440_u8_8k_mono.wav", 2.000, 0.002},
    {"tone440_s16_16k_mono.wav", 1.000, 0.002},
    {"tone1k_s16_44k_stereo.wav", 0.250, 0.002},
    {"tone440_s32_22k_stereo.wav", 0.250, 0.002},
    {"tone1k_s24_96k_mono.wav", 0.250, 0.002},
    {"tone1k_f32_48k_mono.wav", 0.250, 0.002},
    // Headers that claim more than the file holds: only the end tells.
    {"truncated.mp3", 1.594, -1},
    {"lying_header.wav", 0.500, -1},
};

void checkLength(Checks &checks, const LengthCase &c)
{
    const std::string name = c.file;
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    if (!checks.expect(openFile(engine, fixture(c.file)), name + ": " + engine.LastError()))
        return;
    // Guards: MP3 encoder delay and padding counted in the length (49 ms here).
    if (c.openWithin > 0)
        checks.expect(
            std::fabs(engine.Length() - c.decodes) <= c.openWithin,
            name + fmt(": length %.4f s at open, decodes %.4f s", engine.Length(), c.decodes));
    engine.Play();
    const auto end = ends.wait(std::chrono::seconds(20));
    if (!checks.expect(end.has_value(), name + ": no end-of-stream"))
        return;
    // Guards: the length left at the header's claim after the decoder found the end.
    checks.expect(
        std::fabs(engine.Length() - c.decodes) < 0.003,
        name + fmt(": length %.4f s after the end, decodes %.4f s", engine.Length(), c.decodes));
    // Guards: position at the end not at the length, or the end still "playing".
    checks.expect(std::fabs(engine.Position() - engine.Length()) < 0.003,
                  name + fmt(": position %.4f s at the end", engine.Position()));
    checks.expect(engine.PlayStatus() == tarn::PlayState::Stopped,
                  name + fmt(": PlayStatus %d after the end", int(engine.PlayStatus())));
}

} // namespace

int main()
{
    Checks checks;
    DiskCapture capture(Speed::Fast);
    for (const LengthCase &c : cases)
        checkLength(checks, c);

    // Guards: a stale length or position shown with no file loaded.
    Engine empty(testEngineOptions());
    checks.expect(empty.Length() == 0 && empty.Position() == 0, "no file: length and position 0");
    return checks.exitCode();
}
