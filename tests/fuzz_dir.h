// Fuzz targets that read the program's own files: a private base directory
// per process, on tmpfs where there is one (every save syncs, which costs
// nothing there), removed when the run ends; a crash leaves it for study.
#pragma once

#include <vostrel/diag/diag.h>
#include <vostrel/settings/settings.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace fuzz_dir {
inline std::string dir, file;
inline void remove_all() {
    unlink(file.c_str());
    unlink((file + ".tmp").c_str());
    rmdir(dir.c_str());
}
} // namespace fuzz_dir

// Makes the directory, sets it as the base directory and returns the path of
// the file named by suffix (".conf", ".session") in it; "" on failure.
inline std::string fuzz_private_file(const char *tag, const char *suffix) {
    std::string shm = std::string("/dev/shm/vostrel-fuzz-") + tag + "-XXXXXX";
    std::string tmp = std::string("/tmp/vostrel-fuzz-") + tag + "-XXXXXX";
    char *made = mkdtemp(shm.data());
    if (!made) made = mkdtemp(tmp.data());
    if (!made) return "";
    fuzz_dir::dir = made;
    atexit(fuzz_dir::remove_all);
    set_base_dir(made);
    char path[512];
    options_file_path(suffix, path);
    fuzz_dir::file = path;
    return fuzz_dir::file;
}
