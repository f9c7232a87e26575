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

using Env = std::map<std::string, std::string>;

tarn::engine::EnvironmentLookup lookupIn(const Env &env)
{
    return [&env](const char *name) -> const char * {
        const auto found = env.find(name);
        return found != env.end() ? found->second.c_str() : nullptr;
    };
}

tarn::engine::EngineEnvironment read(const Env &env)
{
    return tarn::engine::readEngineEnvironment(lookupIn(env));
}

std::string show(const std::optional<PulseBuffer> &b)
{
    return b ? fmt("%d,%d,%d,%d", b->targetMs, b->requestMs, b->prebufMs, b->adjustLatency ? 1 : 0)
             : "none";
}

// True when `env` says exactly one problem, starting with `expected`, or
// none when `expected` is empty.
bool saysProblem(const tarn::engine::EngineEnvironment &env, const std::string &expected)
{
    return expected.empty() ? env.problems.empty()
                            : env.problems.size() == 1 && env.problems[0].starts_with(expected);
}

// Guards: a value taken that the output cannot use, a good value refused, a
// bad value ignored without a word (a typo in TARN_AUDIO_OUTPUT used to play
// through another output silently), SDL's own variable picking the output,
// and one variable's value leaking into another's setting.
void readsEachVariable(Checks &checks)
{
    constexpr auto kAuto = OutputChoice::Automatic;
    const struct {
        Env env;
        OutputChoice output;
        bool bad;
    } outputs[] = {
        {{}, kAuto, false},
        {{{"TARN_AUDIO_OUTPUT", ""}}, kAuto, false},
        {{{"TARN_AUDIO_OUTPUT", "pulse"}}, OutputChoice::Pulse, false},
        {{{"TARN_AUDIO_OUTPUT", "sdl"}}, OutputChoice::Sdl, false},
        {{{"TARN_AUDIO_OUTPUT", "alsa"}}, kAuto, true},
        {{{"TARN_AUDIO_OUTPUT", "SDL"}}, kAuto, true},
        {{{"SDL_AUDIODRIVER", "pulseaudio"}}, kAuto, false},
    };
    for (const auto &c : outputs) {
        const auto env = read(c.env);
        const std::string given =
            c.env.empty() ? "" : c.env.begin()->first + "=" + c.env.begin()->second;
        checks.expect(env.output.output == c.output && !env.output.pulseBuffer &&
                          env.modules == tarn::engine::ModuleFiles{} &&
                          saysProblem(env, c.bad ? given + " is neither pulse nor sdl" : ""),
                      fmt("%s: output %d, %zu problems", given.c_str(),
                          static_cast<int>(env.output.output), env.problems.size()));
    }

    const auto readBuffer = [](const char *text) {
        return read({{"TARN_AUDIO_OUTPUT", "sdl"}, {"TARN_PULSE_BUFFER_MS", text}});
    };
    const struct {
        const char *text;
        PulseBuffer buffer;
    } taken[] = {
        {"300,100", {300, 100, 40, false}},
        {"80,20,10,1", {80, 20, 10, true}},
        {"20,5,0,0", {20, 5, 0, false}},
        {"10000,10000,10000", {10000, 10000, 10000, false}},
    };
    for (const auto &c : taken) {
        const auto env = readBuffer(c.text);
        checks.expect(env.output.pulseBuffer == c.buffer &&
                          env.output.output == OutputChoice::Sdl && env.problems.empty(),
                      fmt("%s: %s, %zu problems", c.text, show(env.output.pulseBuffer).c_str(),
                          env.problems.size()));
    }
    const char *refused[] = {
        "300",         "300,100,40,1,1", "300,100,",     "300, 100",       "300,100ms",
        "big",         "19,5,0",         "10001,100",    "300,4",          "300,301",
        "300,100,301", "300,100,-1",     "300,100,40,2", "99999999999,100"};
    for (const char *text : refused) {
        const auto env = readBuffer(text);
        checks.expect(!env.output.pulseBuffer && env.output.output == OutputChoice::Sdl &&
                          saysProblem(env, std::string("TARN_PULSE_BUFFER_MS=") + text + " is not"),
                      fmt("%s: %s, %zu problems", text, show(env.output.pulseBuffer).c_str(),
                          env.problems.size()));
    }

    const auto modules = read({{"TARN_CODEC_MODULE", "/m/codec.so"},
                               {"TARN_PULSE_MODULE", "/m/pulse.so"},
                               {"TARN_SDL_MODULE", "/m/sdl.so"}})
                             .modules;
    checks.expect(modules == tarn::engine::ModuleFiles{"/m/codec.so", "/m/pulse.so", "/m/sdl.so"},
                  "module files: " + modules.codec + " " + modules.pulse + " " + modules.sdl);
}

// Guards: the problems of a program's start going nowhere, or said without
// the program's name; the module files read but not made the process's.
void applySaysProblemsAndSetsModules(Checks &checks)
{
    const Env env = {{"TARN_AUDIO_OUTPUT", "pulse-audio"},
                     {"TARN_CODEC_MODULE", "/elsewhere/libtarn-ffmpeg.so"}};
    std::FILE *report = std::tmpfile();
    const tarn::engine::EngineOptions options =
        tarn::engine::applyEngineEnvironment("tarn-player", lookupIn(env), report);
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
