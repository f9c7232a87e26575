// Bad input is never a crash or a hang: every kind of broken or vanishing
// file leaves the engine usable, says why when it cannot play, and plays
// what can be played.
#include "engine/engine.h"
#include "engine/support/disk_output.h"
#include "engine/support/engine_options.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sys/stat.h>

using namespace tarn::test;
using namespace std::chrono_literals;
using tarn::engine::Engine;

namespace {

const std::string goodFile = fixture("tone1k_f32_48k_mono.wav");

// Output as fast as the machine goes, kept nowhere.
void fastOutput()
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
}

std::vector<char> patched(std::vector<char> bytes, std::size_t at, std::vector<char> with)
{
    for (std::size_t i = 0; i < with.size() && at + i < bytes.size(); ++i)
        bytes[at + i] = with[i];
    return bytes;
}

std::vector<char> le32(std::uint32_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// After any failure: the next good file opens and plays to its end.
void stillUsable(Checks &checks, Engine &engine, EndOfStreamWaiter &ends, const std::string &after)
{
    const bool opened = openFile(engine, goodFile);
    checks.expect(opened && engine.LastError().empty(),
                  after + ": next good file did not open cleanly: " + engine.LastError());
    engine.Play();
    // Guards: an engine left wedged (decoder thread stuck, device lost) by bad input.
    checks.expect(ends.wait(5s).has_value(), after + ": next good file did not play to its end");
}

struct Unplayable {
    const char *name;
    std::function<void(const std::string &path)> make;
};

void unplayable(Checks &checks, const TempDir &dir)
{
    const std::vector<char> wav = readBytes(fixture("tone440_s16_16k_mono.wav"));
    std::mt19937 random(7);
    std::vector<char> noise(64 * 1024);
    for (char &c : noise)
        c = static_cast<char>(random());
    const Unplayable cases[] = {
        {"missing file", [](const std::string &) {}},
        {"zero bytes", [](const std::string &p) { writeBytes(p, {}); }},
        {"text renamed .mp3",
         [](const std::string &p) {
             const std::string text = "This is a text file, not audio.\nOnly its name says mp3.\n";
             writeBytes(p, {text.begin(), text.end()});
         }},
        {"random bytes", [&](const std::string &p) { writeBytes(p, noise); }},
        {"a folder", [](const std::string &p) { std::filesystem::create_directory(p); }},
        // Opening a pipe waits for a writer: the window would freeze.
        {"a named pipe", [](const std::string &p) { mkfifo(p.c_str(), 0600); }},
        {"WAV header only",
         [&](const std::string &p) {
             writeBytes(p, {wav.begin(), wav.begin() + 44});
         }},
        {"WAV with 0 channels",
         [&](const std::string &p) {
             writeBytes(p, patched(wav, 22, {0, 0}));
         }},
    };
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    int n = 0;
    for (const Unplayable &c : cases) {
        const std::string path = dir.file("bad" + std::to_string(n++) + ".mp3");
        c.make(path);
        const bool opened = openFile(engine, path);
        // Guards: a failure reported as success, or a failure with no reason to show.
        checks.expect(!opened && !engine.LastError().empty(),
                      std::string(c.name) + ": opened, or no reason given");
        checks.expect(engine.Length() == 0 && engine.FileName() == path,
                      std::string(c.name) + ": length not 0 or name not kept");
        engine.Play();
        checks.expect(engine.PlayStatus() == tarn::PlayState::Stopped,
                      std::string(c.name) + ": playing a file that did not open");
        stillUsable(checks, engine, ends, c.name);
    }
}

struct Damaged {
    const char *name;
    std::function<void(const std::string &path)> make;
    double minSeconds, maxSeconds; // what must play
};

void damaged(Checks &checks, const TempDir &dir)
{
    const std::vector<char> mp3 = readBytes(fixture("tone440_cbr128_id3.mp3"));   // 4.000 s
    const std::vector<char> wav = readBytes(fixture("tone440_s16_16k_mono.wav")); // 1.000 s
    std::mt19937 random(11);
    std::vector<char> garbage(2048);
    for (char &c : garbage)
        c = static_cast<char>(random());
    const Damaged cases[] = {
        // The first 40 % of the file; its header still claims 4 s.
        {"truncated MP3",
         [&](const std::string &p) {
             writeBytes(p, {mp3.begin(), mp3.begin() + mp3.size() * 4 / 10});
         },
         1.3, 1.8},
        // 2 KiB of noise over the middle: a few frames lost, not the rest.
        {"MP3 with a corrupt middle",
         [&](const std::string &p) { writeBytes(p, patched(mp3, mp3.size() / 2, garbage)); }, 3.5,
         4.0},
        // RIFF and data sizes claim 10 s; 1 s follows.
        {"WAV with a lying header",
         [&](const std::string &p) {
             writeBytes(p, patched(patched(wav, 40, le32(320000)), 4, le32(320036)));
         },
         0.99, 1.01},
    };
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    int n = 0;
    for (const Damaged &c : cases) {
        const std::string path = dir.file("damaged" + std::to_string(n++) + ".mp3");
        c.make(path);
        const std::string name = c.name;
        if (!checks.expect(openFile(engine, path), name + ": did not open: " + engine.LastError()))
            continue;
        engine.Play();
        // Guards: a hang at the damage, or the header's length waited out.
        if (!checks.expect(ends.wait(10s).has_value(), name + ": no end-of-stream"))
            continue;
        // Guards: the damage taken for the end of the file, or garbage played as audio.
        checks.expect(engine.Length() >= c.minSeconds && engine.Length() <= c.maxSeconds,
                      name + fmt(": played %.3f s, expected %.2f to %.2f s", engine.Length(),
                                 c.minSeconds, c.maxSeconds));
        stillUsable(checks, engine, ends, name);
    }
}

// A seek into the part of a truncated MP3 that its header promises but the
// file does not hold: the track ends, at its real length.
void seekPastTheRealEnd(Checks &checks, const TempDir &dir)
{
    const std::vector<char> mp3 = readBytes(fixture("tone440_cbr128_id3.mp3"));
    const std::string path = dir.file("cut.mp3");
    writeBytes(path, {mp3.begin(), mp3.begin() + mp3.size() * 4 / 10});
    EndOfStreamWaiter ends;
    Engine engine(testEngineOptions());
    ends.attach(engine);
    openFile(engine, path);
    engine.Play();
    engine.setPosition(3.0);
    checks.expect(ends.wait(5s).has_value(), "seek past the real end: no end-of-stream");
    // Guards: the length taken from the seek target when nothing was there to play.
    checks.expect(engine.Length() > 1.3 && engine.Length() < 1.8,
                  fmt("seek past the real end: length %.3f s", engine.Length()));
}

// The file disappears or shrinks under the playing engine. The ring is small
// and the file long, so the decoder is still reading when it happens.
void vanishing(Checks &checks, const TempDir &dir)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1); // real time: the file changes mid-play
    writeRampWav(dir.file("long.wav"), 48000, 12);
    const std::vector<char> wav = readBytes(dir.file("long.wav"));
    // Opening reads ahead about 2.4 s of a WAV like this (FFmpeg's probing);
    // the cut lies beyond that, so it is met by a read.
    const std::size_t bytesAt4s = 44 + 4 * 48000 * 2;
    struct Case {
        const char *name;
        void (*act)(const std::string &path, std::size_t cutAt);
        double endsAt; // seconds; -1: plays whole
        bool reason;   // LastError() says what happened
    };
    const Case cases[] = {
        // Linux keeps a deleted file readable through the open handle.
        {"deleted while playing",
         [](const std::string &p, std::size_t) { std::filesystem::remove(p); }, -1, false},
        {"cut short while playing",
         [](const std::string &p, std::size_t at) { std::filesystem::resize_file(p, at); }, 4.0,
         true},
    };
    EndOfStreamWaiter ends;
    tarn::engine::EngineOptions options = testEngineOptions();
    options.ringBlocks = 8;
    Engine engine(options);
    ends.attach(engine);
    int n = 0;
    for (const Case &c : cases) {
        const std::string path = dir.file("vanishing" + std::to_string(n++) + ".wav");
        writeBytes(path, wav);
        openFile(engine, path);
        engine.Play();
        checks.expect(waitUntil([&] { return engine.Position() > 0.5; }, 3s),
                      std::string(c.name) + ": did not start");
        c.act(path, bytesAt4s);
        if (c.endsAt < 0) {
            engine.setPosition(11.5); // the rest plays, not the file's whole 12 s
        }
        // Guards: a read error after the file went away that hangs or crashes;
        // a file cut short that ends somewhere else, or as if it were whole.
        const auto end = ends.wait(c.endsAt < 0 ? 3s : 6s);
        checks.expect(end.has_value(), std::string(c.name) + ": no end-of-stream");
        const double at = engine.Position();
        const double expected = c.endsAt < 0 ? 12.0 : c.endsAt;
        checks.expect(std::fabs(at - expected) < 0.05,
                      fmt("%s: ended at %.3f s, expected %.1f s", c.name, at, expected));
        checks.expect(engine.LastError().empty() != c.reason,
                      std::string(c.name) + ": reason \"" + engine.LastError() + "\"");
        stillUsable(checks, engine, ends, c.name);
    }
}

} // namespace

int main()
{
    Checks checks;
    TempDir dir;
    fastOutput();
    unplayable(checks, dir);
    damaged(checks, dir);
    seekPastTheRealEnd(checks, dir);
    vanishing(checks, dir);
    return checks.exitCode();
}
