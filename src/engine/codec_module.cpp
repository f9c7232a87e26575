#include "engine/codec_module.h"

#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <vector>

namespace tarn::engine {

namespace {

constexpr const char *kModuleFile = "libtarn-ffmpeg.so";

struct Loaded {
    CodecModule *module = nullptr;
    std::string error;
};

std::vector<std::filesystem::path> candidates()
{
    std::vector<std::filesystem::path> paths;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path dir = exe.parent_path();
        paths.push_back(dir / kModuleFile);
#ifdef TARN_CODEC_MODULE_INSTALL_DIR
        paths.push_back(dir / TARN_CODEC_MODULE_INSTALL_DIR / kModuleFile);
#endif
        paths.push_back(dir / "../lib/tarn-player" / kModuleFile);
    }
#ifdef TARN_CODEC_MODULE_BUILD_PATH
    paths.emplace_back(TARN_CODEC_MODULE_BUILD_PATH);
#endif
    return paths;
}

Loaded load()
{
    Loaded loaded;
    std::filesystem::path path;
    if (const char *forced = std::getenv("TARN_CODEC_MODULE"); forced && *forced) {
        path = forced;
    } else {
        for (const auto &candidate : candidates()) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(candidate, ec)) {
                path = candidate;
                break;
            }
        }
    }
    const std::string prefix = "this player's FFmpeg decoder could not be loaded: ";
    if (path.empty()) {
        loaded.error = prefix + kModuleFile + " is not installed next to the program";
        return loaded;
    }
    // Never closed: decoders and pictures it made may live until the end.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        loaded.error = prefix + (why ? why : path.string());
        return loaded;
    }
    using Entry = CodecModule *(*)(int);
    auto entry = reinterpret_cast<Entry>(dlsym(handle, kCodecModuleEntry));
    loaded.module = entry ? entry(kCodecModuleVersion) : nullptr;
    if (!loaded.module)
        loaded.error = prefix + path.string() + " belongs to another version of the player";
    return loaded;
}

} // namespace

CodecModule *codecModule(std::string &error)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.module)
        error = loaded.error;
    return loaded.module;
}

} // namespace tarn::engine
