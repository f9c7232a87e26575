// Loading the engine's run-time modules: the codec module (FFmpeg) and the
// sound outputs (libpulse, SDL). Each lives in a shared object of its own so
// that the program maps a library, and what it links, only once something
// needs it.
//
// WHERE FROM
//   A module is code run inside the player, so it is taken from one folder
//   only: the installed library folder relative to the executable
//   (../lib/tarn-player, or the configured equivalent) when that folder
//   exists, else the executable's own folder (a build, or a copy of a build
//   folder). No absolute path of the build tree is compiled in: a build
//   tree that is moved or deleted leaves no place behind that another user
//   could fill. A file the program names (ModuleFiles: for tests and odd
//   installs) replaces that search.
//
//   Whichever way it is found, the module is loaded only if neither the file
//   nor its folder can be changed by another user: both must belong to the
//   user or to root and be writable by nobody else (no group or other write
//   bit). The checks are made on the opened file and folder, and the loader
//   maps that same open file, so nothing can be swapped in between.
//
// THREADS
//   loadModuleEntry() may be called from any thread. A module is never
//   unloaded: objects it made may live until the process ends.
//   useModuleFiles() is called once as the program starts, before any
//   thread loads a module; moduleFiles() then only reads.
#pragma once

#include <string>

namespace tarn::engine {

struct ModuleSpec {
    const char *file;  // the shared object's name, libtarn-....so
    const char *entry; // the exported function to look up
    const char *what;  // for messages: "FFmpeg decoder", "PulseAudio output"
};

// Module files to load instead of those of the one folder; an empty name
// keeps that folder's. Modules are loaded once for the whole process, so
// these are the process's, not one engine's.
struct ModuleFiles {
    std::string codec; // libtarn-ffmpeg.so
    std::string pulse; // libtarn-pulse.so
    std::string sdl;   // libtarn-sdl.so

    bool operator==(const ModuleFiles &) const = default;
};

// Sets the files for the rest of the process (see THREADS).
void useModuleFiles(ModuleFiles files);
const ModuleFiles &moduleFiles();

// Opens the module, the file `named` or, when that is empty, the one of the
// module folder, and returns its entry point; null with `error` set to the
// reason in words for people (a module refused as unsafe says why). Each
// call opens again (dlopen counts, so the module is mapped once): callers
// keep what it returns.
void *loadModuleEntry(const ModuleSpec &spec, const std::string &named, std::string &error);

// The message for a module whose entry point refused `version`.
std::string moduleOfAnotherVersion(const ModuleSpec &spec);

// Opens the module as loadModuleEntry() does and asks its entry point,
// `Module *entry(int version)`, for its interface; null with `error` set
// when it cannot be had.
template <typename Module>
Module *loadModule(const ModuleSpec &spec, const std::string &named, int version,
                   std::string &error)
{
    using Entry = Module *(*)(int);
    auto entry = reinterpret_cast<Entry>(loadModuleEntry(spec, named, error));
    Module *module = entry ? entry(version) : nullptr;
    if (entry && !module)
        error = moduleOfAnotherVersion(spec);
    return module;
}

} // namespace tarn::engine
