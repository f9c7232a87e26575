#include "engine/support/engine_options.h"

#include "engine/engine_environment.h"

#include <cstdlib>

namespace tarn::test {

namespace {

// Read as the test program starts, as a program's main() reads it, so that
// the module files are set before anything loads a module: tests that
// decode or read tags without an engine need them too.
const engine::EngineOptions &fromEnvironment()
{
    static const engine::EngineOptions options = engine::applyEngineEnvironment("test", ::getenv);
    return options;
}

[[maybe_unused]] const bool kReadAtStart = (fromEnvironment(), true);

} // namespace

engine::EngineOptions testEngineOptions()
{
    engine::EngineOptions options = fromEnvironment();
    options.output.output = engine::OutputChoice::Sdl;
    return options;
}

} // namespace tarn::test
