#include "engine/module_loader.h"

#include <dlfcn.h>
#include <filesystem>
#include <vector>

namespace tarn::engine {

namespace {

std::vector<std::filesystem::path> candidates(const ModuleSpec &spec)
{
    std::vector<std::filesystem::path> paths;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path dir = exe.parent_path();
        paths.push_back(dir / spec.file);
#ifdef TARN_MODULE_INSTALL_DIR
        paths.push_back(dir / TARN_MODULE_INSTALL_DIR / spec.file);
#endif
        paths.push_back(dir / "../lib/tarn-player" / spec.file);
    }
    if (spec.buildPath != nullptr)
        paths.emplace_back(spec.buildPath);
    return paths;
}

std::string cannotLoad(const ModuleSpec &spec)
{
    return std::string("this player's ") + spec.what + " could not be loaded: ";
}

} // namespace

std::string moduleOfAnotherVersion(const ModuleSpec &spec)
{
    return cannotLoad(spec) + spec.file + " belongs to another version of the player";
}

void *loadModuleEntry(const ModuleSpec &spec, std::string &error)
{
    std::filesystem::path path;
    if (const char *forced = std::getenv(spec.pathEnv); forced && *forced) {
        path = forced;
    } else {
        for (const auto &candidate : candidates(spec)) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(candidate, ec)) {
                path = candidate;
                break;
            }
        }
    }
    const std::string prefix = cannotLoad(spec);
    if (path.empty()) {
        error = prefix + spec.file + " is not installed next to the program";
        return nullptr;
    }
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        error = prefix + (why ? why : path.string());
        return nullptr;
    }
    void *entry = dlsym(handle, spec.entry);
    if (!entry)
        error = prefix + path.string() + " is not one of its modules";
    return entry;
}

} // namespace tarn::engine
