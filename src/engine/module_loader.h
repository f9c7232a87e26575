// Loading the engine's run-time modules: the codec module (FFmpeg) and the
// sound outputs (libpulse, SDL). Each lives in a shared object of its own so
// that the program maps a library, and what it links, only once something
// needs it.
//
// A module is looked for, in this order: the file its own environment
// variable names (for tests and odd installs); next to the executable; in the
// installed library folder relative to it (../lib/tarn-player, or the
// configured equivalent); in the build tree.
//
// THREADS
//   loadModuleEntry() may be called from any thread. A module is never
//   unloaded: objects it made may live until the process ends.
#pragma once

#include <string>

namespace tarn::engine {

struct ModuleSpec {
    const char *file;      // the shared object's name, libtarn-....so
    const char *entry;     // the exported function to look up
    const char *pathEnv;   // an environment variable naming the file instead
    const char *buildPath; // where the build tree puts it, or null
    const char *what;      // for messages: "FFmpeg decoder", "PulseAudio output"
};

// Opens the module and returns its entry point; null with `error` set to the
// reason in words for people. Each call opens again (dlopen counts, so the
// module is mapped once): callers keep what it returns.
void *loadModuleEntry(const ModuleSpec &spec, std::string &error);

// The message for a module whose entry point refused `version`.
std::string moduleOfAnotherVersion(const ModuleSpec &spec);

// Opens the module and asks its entry point, `Module *entry(int version)`,
// for its interface; null with `error` set when it cannot be had.
template <typename Module>
Module *loadModule(const ModuleSpec &spec, int version, std::string &error)
{
    using Entry = Module *(*)(int);
    auto entry = reinterpret_cast<Entry>(loadModuleEntry(spec, error));
    Module *module = entry ? entry(version) : nullptr;
    if (entry && !module)
        error = moduleOfAnotherVersion(spec);
    return module;
}

} // namespace tarn::engine
