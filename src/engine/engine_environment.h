// The engine's settings a program takes from its environment, read in this
// one place, once, as the program starts (the player's main() and
// tarn-engine-play's): nothing else in the engine reads the environment.
//
//   TARN_AUDIO_OUTPUT     pulse or sdl: that output only; unset or empty:
//                         PulseAudio when a server answers, else SDL
//   TARN_PULSE_BUFFER_MS  TARGET,REQUEST[,PREBUF[,ADJUST]]: the PulseAudio
//                         buffer in milliseconds (see PulseBuffer)
//   TARN_CODEC_MODULE, TARN_PULSE_MODULE, TARN_SDL_MODULE: other module
//                         files than the module folder's (module_loader.h)
//
// A bad value is ignored, and said in EngineEnvironment::problems, which the
// program prints on stderr. SDL_AUDIODRIVER and SDL's other variables stay
// SDL's own: they pick SDL's driver once SDL is the output, never the output.
#pragma once

#include "engine/engine.h"
#include "engine/module_loader.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tarn::engine {

struct EngineEnvironment {
    OutputOptions output;
    ModuleFiles modules;
    std::vector<std::string> problems; // one line each, in words for people
};

// The value of an environment variable, or null when it is not set: the
// program's entry point passes ::getenv; tests pass a table.
using EnvironmentLookup = std::function<const char *(const char *name)>;

// Reads the variables above through `lookup`.
EngineEnvironment readEngineEnvironment(const EnvironmentLookup &lookup);

// Reads the variables through `lookup`, prints each problem on `report` as
// "PROGRAM: PROBLEM", makes the module files the process's
// (useModuleFiles) and returns the engine's options with the output chosen.
// Called once, at the start of main().
EngineOptions applyEngineEnvironment(const char *program, const EnvironmentLookup &lookup,
                                     std::FILE *report = stderr);

// The variables, for a program's --help: one line each, ending in a newline.
extern const char *const kEngineEnvironmentHelp;

} // namespace tarn::engine
