// Volume at the output: hundredths of a decibel below full level, silence at
// the bottom of the bar, and no click when it changes during playback.
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/output_checks.h"

#include <cmath>
#include <thread>

using namespace tarn::test;

namespace {

const std::string toneFile = "tone440_cbr128_id3.mp3";

// Level of the steady middle of the left channel, underrun silence removed.
double steadyLevel(const Recording &rec)
{
    const std::vector<float> heard = removeUnderruns(rec.channel(0));
    return rmsDb(heard, middleOf(soundingSpan(heard, 0.0f), 0.6));
}

void checkAttenuation(Checks &checks)
{
    const Recording full = record({fixture(toneFile)});
    if (!checks.expect(full.finished, "volume 0: " + full.error))
        return;
    const double reference = steadyLevel(full);
    struct Case {
        std::int32_t volume;
        double expectDb;
    };
    // Guards: a wrong gain law (amplitude taken as power, percent as dB, sign).
    for (const Case c : {Case{-1250, -12.5}, Case{-600, -6.0}, Case{-2000, -20.0}}) {
        const Recording rec = record({fixture(toneFile)}, {.volume = c.volume});
        if (!checks.expect(rec.finished, fmt("volume %d: ", c.volume) + rec.error))
            continue;
        const double drop = steadyLevel(rec) - reference;
        checks.expect(
            std::fabs(drop - c.expectDb) < 0.2,
            fmt("volume %d: %.3f dB below volume 0, expected %.1f", c.volume, -drop, -c.expectDb));
    }
}

void checkSilence(Checks &checks)
{
    // Guards: the volume bar's bottom (shown as 0 %) still audible: the gain law gives -25 dB.
    for (const std::int32_t volume : {-2500, -5000, -10000}) {
        const Recording rec = record({fixture(toneFile)}, {.volume = volume});
        if (!checks.expect(rec.finished, fmt("volume %d: ", volume) + rec.error))
            continue;
        checks.expect(!rec.samples.empty(), fmt("volume %d: nothing written", volume));
        const float loudest = peak(rec.samples, {0, rec.samples.size()});
        checks.expect(loudest == 0.0f, fmt("volume %d: peak %.3g, expected silence", volume,
                                           static_cast<double>(loudest)));
    }
}

void checkChangeWhilePlaying(Checks &checks)
{
    // Guards: a volume change applied in one step, which clicks.
    // The signal may move between samples no faster than the tone itself does.
    std::vector<float> left;
    int rate = 0;
    {
        DiskCapture capture(Speed::RealTime);
        tarn::engine::OutputSpec spec{};
        {
            tarn::engine::Engine engine(testEngineOptions());
            if (!checks.expect(openFile(engine, fixture(toneFile)), engine.LastError()))
                return;
            engine.Play();
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            engine.setVolume(-1250);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            engine.setVolume(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            spec = engine.outputSpec();
        }
        rate = spec.rate;
        Recording rec;
        rec.spec = spec;
        rec.samples = capture.read(spec);
        left = rec.channel(0);
    }
    const Span sounding = soundingSpan(left, 0.01f);
    if (!checks.expect(rate > 0 && sounding.size() > static_cast<std::size_t>(rate / 2),
                       "less than 0.5 s of the tone came out"))
        return;
    // Both changes must have happened, or there is nothing to judge.
    const Span quarter{sounding.begin, sounding.begin + static_cast<std::size_t>(rate / 4)};
    const double loud = rmsDb(left, quarter);
    double quietest = loud;
    for (std::size_t at = sounding.begin; at + rate / 10 < sounding.end; at += rate / 20)
        quietest = std::min(quietest, rmsDb(left, {at, at + static_cast<std::size_t>(rate / 10)}));
    checks.expect(loud - quietest > 11.0,
                  fmt("volume change not heard: %.2f dB to %.2f dB", loud, quietest));
    // A 0.5 peak sine at 440 Hz moves at most 2 pi 440 / rate * 0.5 per sample.
    const double natural = 2 * 3.14159265 * 440 / rate * 0.5;
    float step = 0;
    for (std::size_t i = sounding.begin + 1; i < sounding.end; ++i)
        step = std::max(step, std::fabs(left[i] - left[i - 1]));
    checks.expect(step < natural * 1.15, fmt("largest step %.4f, the tone alone moves %.4f",
                                             static_cast<double>(step), natural));
}

} // namespace

int main()
{
    Checks checks;
    checkAttenuation(checks);
    checkSilence(checks);
    checkChangeWhilePlaying(checks);
    return checks.exitCode();
}
