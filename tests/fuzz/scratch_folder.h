// A folder of the fuzz process's own for the files a target writes: in
// memory (/dev/shm) when there is one, so millions of inputs cost no disk
// writes; removed when the process ends normally.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace tarn::fuzz {

inline const std::filesystem::path &scratchFolder()
{
    struct Folder {
        std::filesystem::path path;
        Folder()
        {
            std::error_code ec;
            const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                                   ? std::filesystem::path("/dev/shm")
                                                   : std::filesystem::temp_directory_path();
            path = base / ("tarn-fuzz-" + std::to_string(::getpid()));
            std::filesystem::create_directories(path);
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

} // namespace tarn::fuzz
