#include "engine/module_loader.h"
#include "engine/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn::engine {

namespace {

namespace fs = std::filesystem;

// The one folder modules are taken from: the installed library folder when
// there is one beside the executable, else the executable's own folder.
fs::path moduleFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    const fs::path dir = exe.parent_path();
    for (const char *installed : {
#ifdef TARN_MODULE_INSTALL_DIR
             TARN_MODULE_INSTALL_DIR,
#endif
             "../lib/tarn-player"}) {
        const fs::path folder = (dir / installed).lexically_normal();
        if (fs::is_directory(folder, ec))
            return folder;
    }
    return dir;
}

// How another user could change what `st` describes; empty when no one can.
std::string openToOthers(const struct stat &st)
{
    if (st.st_uid != ::getuid() && st.st_uid != 0)
        return "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    if (st.st_mode & S_IWOTH)
        return "is writable by everyone";
    if (st.st_mode & S_IWGRP)
        return "is writable by its group";
    return {};
}

// Checks the folder `dir` (an open descriptor, or opened from `path` when -1).
bool safeFolder(int dir, const fs::path &path, const fs::path &module, std::string &error)
{
    UniqueFd opened(dir < 0 ? ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                            : -1);
    struct stat st {};
    if ((dir < 0 && opened.get() < 0) || ::fstat(dir < 0 ? opened.get() : dir, &st) != 0) {
        error = path.string() + ": " + std::strerror(errno);
        return false;
    }
    if (const std::string why = openToOthers(st); !why.empty()) {
        error = module.string() + " is not loaded, as other users could replace it: its folder " +
                path.string() + " " + why;
        return false;
    }
    return true;
}

// Opens the module file `path` for loading, once it and the folders it is
// found in are safe; -1 with `error` set otherwise. The checks are made on
// the open descriptors, so what was checked is what gets loaded.
int openSafely(const fs::path &path, std::string &error)
{
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    if (ec) {
        error = path.string() +
                (ec == std::errc::no_such_file_or_directory ? " is missing" : ": " + ec.message());
        return -1;
    }
    const fs::path folder = real.parent_path();
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0) {
        error = folder.string() + ": " + std::strerror(errno);
        return -1;
    }
    // O_NONBLOCK: should the name have become a pipe, the open does not wait
    // for a writer (the fstat below then refuses it).
    UniqueFd file(::openat(dir.get(), real.filename().c_str(),
                           O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0) {
        error = real.string() + ": " + std::strerror(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = real.string() + " is not a file";
        return -1;
    }
    if (const std::string why = openToOthers(st); !why.empty()) {
        error = real.string() + " is not loaded, as other users could change it: it " + why;
        return -1;
    }
    if (!safeFolder(dir.get(), folder, real, error))
        return -1;
    // Reached through a link: whoever may write where the link is could
    // point it elsewhere.
    const fs::path foundIn = fs::canonical(fs::absolute(path, ec).parent_path(), ec);
    if (!ec && foundIn != folder && !safeFolder(-1, foundIn, real, error))
        return -1;
    const int fd = file.get();
    file.release();
    return fd;
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

namespace {

ModuleFiles &files()
{
    static ModuleFiles named;
    return named;
}

} // namespace

void useModuleFiles(ModuleFiles named)
{
    files() = std::move(named);
}

const ModuleFiles &moduleFiles()
{
    return files();
}

void *loadModuleEntry(const ModuleSpec &spec, const std::string &named, std::string &error)
{
    const std::string prefix = cannotLoad(spec);
    const bool forced = !named.empty();
    const fs::path folder = forced ? fs::path() : moduleFolder();
    if (!forced && folder.empty()) { // never the working folder instead
        error = prefix + "the program cannot tell where it is installed (/proc/self/exe)";
        return nullptr;
    }
    const fs::path path = forced ? fs::path(named) : folder / spec.file;
    std::string why;
    UniqueFd file(openSafely(path, why));
    if (file.get() < 0) {
        error = prefix + why;
        return nullptr;
    }
    // The loader maps the very file checked, through its descriptor.
    const std::string name = "/proc/self/fd/" + std::to_string(file.get());
    void *handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *failed = dlerror();
        std::string reason = failed ? failed : "";
        if (reason.starts_with(name + ": "))
            reason.erase(0, name.size() + 2);
        error = prefix + path.string() + ": " + reason;
        return nullptr;
    }
    // The dynamic loader now knows the module by that name and would hand
    // it out for any later file of the same name: the descriptor stays open
    // for the rest of the process, so that no other file gets its number.
    file.release();
    void *entry = dlsym(handle, spec.entry);
    if (!entry)
        error = prefix + path.string() + " is not one of its modules";
    return entry;
}

} // namespace tarn::engine
