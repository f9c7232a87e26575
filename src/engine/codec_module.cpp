#include "engine/codec_module.h"
#include "engine/module_loader.h"

#include <mutex>

namespace tarn::engine {

namespace {

struct Loaded {
    CodecModule *module = nullptr;
    std::string error;
};

Loaded load()
{
    static constexpr ModuleSpec spec{"libtarn-ffmpeg.so", kCodecModuleEntry, "FFmpeg decoder"};
    Loaded loaded;
    loaded.module =
        loadModule<CodecModule>(spec, moduleFiles().codec, kCodecModuleVersion, loaded.error);
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
