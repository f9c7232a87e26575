// The engine's options in the tests: what the environment that CTest gives
// every test (tests/CMakeLists.txt: the build's module files) says, read by
// the programs' own reader, with the SDL output, whose driver the test
// picks (SDL_AUDIODRIVER: dummy or disk). A test that wants PulseAudio
// says so in the options it passes.
#pragma once

#include "engine/engine.h"

namespace tarn::test {

engine::EngineOptions testEngineOptions();

} // namespace tarn::test
