// The one reader of the engine's environment: the output, the PulseAudio
// buffer and the module files it takes, and every bad value said rather than
// silently dropped.
#include "engine/engine_environment.h"
#include "engine/support/output_checks.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

using namespace tarn::test;
using tarn::engine::OutputChoice;
using tarn::engine::PulseBuffer;

namespace {

struct Case {
    const char *name;
    std::map<std::string, std::string> env;
    OutputChoice output;
    std::optional<PulseBuffer> buffer;
    const char *problem; // a part of the one problem said; null: none
};

std::string show(const std::optional<PulseBuffer> &b)
{
    return b ? fmt("%d,%d,%d,%d", b->targetMs, b->requestMs, b->prebufMs, b->adjustLatency ? 1 : 0)
             : "none";
}

// Guards: a value taken that the output cannot use, a good value refused, a
// bad value ignored without a word (a typo in TARN_AUDIO_OUTPUT used to
// play through another output silently), and one variable's value leaking
// into another's setting.
void readsEachVariable(Checks &checks)
{
    constexpr auto kAuto = OutputChoice::Automatic;
    const char *kBufferProblem = "TARN_PULSE_BUFFER_MS=";
    const Case cases[] = {
        {"nothing set", {}, kAuto, std::nullopt, nullptr},
        {"empty output", {{"TARN_AUDIO_OUTPUT", ""}}, kAuto, std::nullopt, nullptr},
        {"pulse", {{"TARN_AUDIO_OUTPUT", "pulse"}}, OutputChoice::Pulse, std::nullopt, nullptr},
        {"sdl", {{"TARN_AUDIO_OUTPUT", "sdl"}}, OutputChoice::Sdl, std::nullopt, nullptr},
        {"unknown output",
         {{"TARN_AUDIO_OUTPUT", "alsa"}},
         kAuto,
         std::nullopt,
         "TARN_AUDIO_OUTPUT=alsa is neither pulse nor sdl"},
        {"output in capitals",
         {{"TARN_AUDIO_OUTPUT", "SDL"}},
         kAuto,
         std::nullopt,
         "TARN_AUDIO_OUTPUT=SDL"},
        {"SDL's driver picks no output",
         {{"SDL_AUDIODRIVER", "pulseaudio"}},
         kAuto,
         std::nullopt,
         nullptr},
        {"target and request",
         {{"TARN_PULSE_BUFFER_MS", "300,100"}},
         kAuto,
         PulseBuffer{300, 100, 40, false},
         nullptr},
        {"all four",
         {{"TARN_PULSE_BUFFER_MS", "80,20,10,1"}},
         kAuto,
         PulseBuffer{80, 20, 10, true},
         nullptr},
        {"smallest",
         {{"TARN_PULSE_BUFFER_MS", "20,5,0,0"}},
         kAuto,
         PulseBuffer{20, 5, 0, false},
         nullptr},
        {"largest",
         {{"TARN_PULSE_BUFFER_MS", "10000,10000,10000"}},
         kAuto,
         PulseBuffer{10000, 10000, 10000, false},
         nullptr},
        {"one number", {{"TARN_PULSE_BUFFER_MS", "300"}}, kAuto, std::nullopt, kBufferProblem},
        {"five numbers",
         {{"TARN_PULSE_BUFFER_MS", "300,100,40,1,1"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"trailing comma",
         {{"TARN_PULSE_BUFFER_MS", "300,100,"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"space", {{"TARN_PULSE_BUFFER_MS", "300, 100"}}, kAuto, std::nullopt, kBufferProblem},
        {"trailing text",
         {{"TARN_PULSE_BUFFER_MS", "300,100ms"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"words", {{"TARN_PULSE_BUFFER_MS", "big"}}, kAuto, std::nullopt, kBufferProblem},
        {"target too small",
         {{"TARN_PULSE_BUFFER_MS", "19,5,0"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"target too large",
         {{"TARN_PULSE_BUFFER_MS", "10001,100"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"request too small",
         {{"TARN_PULSE_BUFFER_MS", "300,4"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"request beyond target",
         {{"TARN_PULSE_BUFFER_MS", "300,301"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"prebuf beyond target",
         {{"TARN_PULSE_BUFFER_MS", "300,100,301"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"negative prebuf",
         {{"TARN_PULSE_BUFFER_MS", "300,100,-1"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"adjust neither 0 nor 1",
         {{"TARN_PULSE_BUFFER_MS", "300,100,40,2"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"overflowing number",
         {{"TARN_PULSE_BUFFER_MS", "99999999999,100"}},
         kAuto,
         std::nullopt,
         kBufferProblem},
        {"good output beside a bad buffer",
         {{"TARN_AUDIO_OUTPUT", "sdl"}, {"TARN_PULSE_BUFFER_MS", "1,1"}},
         OutputChoice::Sdl,
         std::nullopt,
         "TARN_PULSE_BUFFER_MS=1,1 is not TARGET,REQUEST"},
    };
    for (const Case &c : cases) {
        const tarn::engine::EngineEnvironment env =
            tarn::engine::readEngineEnvironment([&c](const char *name) -> const char * {
                const auto found = c.env.find(name);
                return found != c.env.end() ? found->second.c_str() : nullptr;
            });
        checks.expect(env.output.output == c.output,
                      fmt("%s: output %d", c.name, static_cast<int>(env.output.output)));
        checks.expect(env.output.pulseBuffer == c.buffer,
                      fmt("%s: buffer %s, expected %s", c.name,
                          show(env.output.pulseBuffer).c_str(), show(c.buffer).c_str()));
        const bool saidRight =
            c.problem == nullptr
                ? env.problems.empty()
                : env.problems.size() == 1 && env.problems[0].find(c.problem) != std::string::npos;
        checks.expect(saidRight, fmt("%s: %zu problems, first: %s", c.name, env.problems.size(),
                                     env.problems.empty() ? "" : env.problems[0].c_str()));
        checks.expect(env.modules == tarn::engine::ModuleFiles{},
                      fmt("%s: module files taken from nothing", c.name));
    }

    const std::map<std::string, std::string> named{{"TARN_CODEC_MODULE", "/m/codec.so"},
                                                   {"TARN_PULSE_MODULE", "/m/pulse.so"},
                                                   {"TARN_SDL_MODULE", "/m/sdl.so"}};
    const auto modules = tarn::engine::readEngineEnvironment([&named](const char *name) {
                             const auto found = named.find(name);
                             return found != named.end() ? found->second.c_str() : nullptr;
                         }).modules;
    checks.expect(modules == tarn::engine::ModuleFiles{"/m/codec.so", "/m/pulse.so", "/m/sdl.so"},
                  "module files: " + modules.codec + " " + modules.pulse + " " + modules.sdl);
}

// Guards: the problems of a program's start going nowhere, or said without
// the program's name; the module files read but not made the process's.
void applySaysProblemsAndSetsModules(Checks &checks)
{
    setenv("TARN_AUDIO_OUTPUT", "pulse-audio", 1);
    setenv("TARN_CODEC_MODULE", "/elsewhere/libtarn-ffmpeg.so", 1);
    std::FILE *report = std::tmpfile();
    const tarn::engine::EngineOptions options =
        tarn::engine::applyEngineEnvironment("tarn-player", report);
    std::rewind(report);
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, report) != nullptr;
    std::fclose(report);
    checks.expect(read &&
                      std::string(line).starts_with(
                          "tarn-player: TARN_AUDIO_OUTPUT=pulse-audio is neither pulse nor sdl"),
                  std::string("reported: ") + line);
    checks.expect(options.output.output == OutputChoice::Automatic, "a bad output was taken");
    checks.expect(tarn::engine::moduleFiles().codec == "/elsewhere/libtarn-ffmpeg.so",
                  "codec module file: " + tarn::engine::moduleFiles().codec);
}

} // namespace

int main()
{
    Checks checks;
    readsEachVariable(checks);
    applySaysProblemsAndSetsModules(checks);
    return checks.exitCode();
}
