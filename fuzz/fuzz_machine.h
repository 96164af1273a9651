// The fuzz targets' own emulated machine: a fresh folder, in memory where the
// host has /dev/shm (the registry commits with fsync, which costs nothing
// there), removed when the run ends.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qh_fuzz {

// Creates the folder, points QUILLHAVEN_ROOT at it and returns its path.
inline const std::string& make_machine() {
    static std::string folder;
    const bool shm = access("/dev/shm", W_OK) == 0;
    std::string pattern = std::string(shm ? "/dev/shm" : "/tmp") + "/quillhaven-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    folder = pattern;
    setenv("QUILLHAVEN_ROOT", folder.c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    return folder;
}

}  // namespace qh_fuzz
