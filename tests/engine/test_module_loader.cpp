// The module loader runs only code no other user can change: a module copy
// in a private folder loads; the same copy is refused, with the reason, when
// another user could change the file or what its folder holds.
#include "engine/audio_output.h"
#include "engine/module_loader.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarn::test;
namespace fs = std::filesystem;

namespace {

constexpr tarn::engine::ModuleSpec kSpec{"libtarn-pulse.so", tarn::engine::kOutputModuleEntry,
                                         "test module"};

enum class Owner { Me, NobodyOwnsFile, NobodyOwnsFolder };

struct Case {
    const char *name;
    mode_t fileMode;
    mode_t folderMode; // of the folder "modules" that holds the file
    Owner owner;
    bool viaLink;        // named through a link in the folder "open", writable by everyone
    const char *refusal; // expected in the reason; null: loads
};

void loadsOnlySafeModules(Checks &checks)
{
    const std::string original = tarn::engine::moduleFiles().pulse;
    if (!checks.expect(!original.empty(), "TARN_PULSE_MODULE names no module to copy"))
        return;
    const struct passwd *nobody = getpwnam("nobody");
    const bool root = getuid() == 0 && nobody != nullptr;
    const Case cases[] = {
        {"private copy", 0644, 0755, Owner::Me, false, nullptr},
        {"read-only copy", 0444, 0700, Owner::Me, false, nullptr},
        {"file writable by its group", 0664, 0755, Owner::Me, false, "it is writable by its group"},
        {"file writable by everyone", 0646, 0755, Owner::Me, false, "it is writable by everyone"},
        {"folder writable by its group", 0644, 0775, Owner::Me, false,
         "modules is writable by its group"},
        {"folder writable by everyone", 0644, 0757, Owner::Me, false,
         "modules is writable by everyone"},
        {"link in a folder everyone may write to", 0644, 0755, Owner::Me, true,
         "open is writable by everyone"},
        {"file of another user", 0644, 0755, Owner::NobodyOwnsFile, false,
         "it belongs to another user"},
        {"folder of another user", 0644, 0755, Owner::NobodyOwnsFolder, false,
         "modules belongs to another user"},
    };
    for (const Case &c : cases) {
        if (c.owner != Owner::Me && !root)
            continue; // only root can give a file away
        const TempDir dir;
        const fs::path folder = dir.file("modules");
        const fs::path module = folder / kSpec.file;
        std::error_code ec;
        fs::create_directory(folder, ec);
        fs::copy_file(original, module, ec);
        chmod(module.c_str(), c.fileMode);
        chmod(folder.c_str(), c.folderMode);
        const fs::path given = c.owner == Owner::NobodyOwnsFile ? module : folder;
        if (c.owner != Owner::Me && chown(given.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            checks.expect(false, std::string(c.name) + ": chown failed");
        fs::path named = module;
        if (c.viaLink) {
            const fs::path open = dir.file("open");
            fs::create_directory(open, ec);
            chmod(open.c_str(), 0777);
            named = open / kSpec.file;
            fs::create_symlink(module, named, ec);
        }
        std::string error;
        void *entry = tarn::engine::loadModuleEntry(kSpec, named.string(), error);
        if (c.refusal == nullptr) {
            // Guards: a safe module (the build's own, an unpacked copy) refused.
            checks.expect(entry != nullptr, std::string(c.name) + ": not loaded: " + error);
        } else {
            // Guards: code another user could have changed run inside the player,
            // or refused without saying why.
            checks.expect(entry == nullptr && error.find(c.refusal) != std::string::npos &&
                              error.find(module.string()) != std::string::npos,
                          std::string(c.name) + ": " + (entry ? "loaded" : error));
        }
    }
}

} // namespace

int main()
{
    Checks checks;
    loadsOnlySafeModules(checks);
    return checks.exitCode();
}
