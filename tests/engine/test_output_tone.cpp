// What each format sounds like at the output: the tone of every test file
// comes out at its frequency and level, complete, on every output channel.
#include "engine/support/disk_output.h"
#include "engine/support/output_checks.h"

#include <cmath>

using namespace tarn::test;

namespace {

struct ToneCase {
    const char *file;
    double hz;
    double seconds; // what the decoder yields (tests/fixtures/README.md)
    double rmsDb;   // level of each channel as decoded
};

const ToneCase toneCases[] = {
    {"tone440_cbr128_id3.mp3", 440, 4.000, -9.48},
    {"tone1k_vbr_mono.mp3", 1000, 3.000, -9.03},
    {"tone440_wmav1.wma", 440, 2.972, -9.03},
    {"tone1k_wmav2_mono.wma", 1000, 2.972, -9.03},
    {"tone440_u8_8k_mono.wav", 440, 2.000, -9.03},
    {"tone440_s16_16k_mono.wav", 440, 1.000, -9.03},
    {"tone1k_s16_44k_stereo.wav", 1000, 0.250, -9.03},
    {"tone440_s32_22k_stereo.wav", 440, 0.250, -9.03},
    {"tone1k_s24_96k_mono.wav", 1000, 0.250, -9.03},
    {"tone1k_f32_48k_mono.wav", 1000, 0.250, -9.03},
};

void checkTone(Checks &checks, const ToneCase &tc)
{
    const Recording rec = record({fixture(tc.file)});
    const std::string name = tc.file;
    if (!checks.expect(rec.finished, name + ": " + rec.error))
        return;
    if (!checks.expect(rec.spec.rate > 0 && rec.spec.channels > 0, name + ": no output format"))
        return;
    for (int c = 0; c < rec.spec.channels; ++c) {
        const std::string where = name + " channel " + std::to_string(c) + ": ";
        const std::vector<float> heard = removeUnderruns(rec.channel(c));
        const Span all = soundingSpan(heard, 0.01f);
        // Guards: samples dropped or repeated on the way out, or MP3 delay and padding left in.
        const double seconds = static_cast<double>(heard.size()) / rec.spec.rate;
        checks.expect(std::fabs(seconds - tc.seconds) < 0.010,
                      where + fmt("played %.4f s, file holds %.4f s", seconds, tc.seconds));
        const Span steady = middleOf(all, 0.6);
        // Guards: wrong rate assumed when resampling (tone pitched up or down).
        const double hz = zeroCrossingFrequency(heard, steady, rec.spec.rate);
        checks.expect(std::fabs(hz - tc.hz) < tc.hz * 0.002,
                      where + fmt("tone at %.2f Hz, expected %.0f Hz", hz, tc.hz));
        // Guards: a sample format misread (8-bit sign, 24-bit width, float), distorting the tone.
        const double purity = tonePurity(heard, steady, rec.spec.rate, tc.hz);
        checks.expect(purity > 0.98, where + fmt("tone purity %.4f", purity));
        // Guards: a format scaled wrongly, mono played below its level, or a channel left silent.
        const double level = rmsDb(heard, steady);
        checks.expect(std::fabs(level - tc.rmsDb) < 0.2,
                      where + fmt("level %.2f dBFS, expected %.2f dBFS", level, tc.rmsDb));
    }
}

} // namespace

int main()
{
    Checks checks;
    for (const ToneCase &tc : toneCases)
        checkTone(checks, tc);
    return checks.exitCode();
}
