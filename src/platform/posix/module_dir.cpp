// The directory of the file that holds the library's code.
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"

namespace {

std::string program_path()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

int os_module_dir(char *out, size_t size)
{
    if (!out || size == 0) return -1;
    out[0] = '\0';
    std::string path;
    try {
        Dl_info info;
        struct link_map *map = nullptr;
        if (!dladdr1(reinterpret_cast<void *>(&os_module_dir), &info, reinterpret_cast<void **>(&map),
                     RTLD_DL_LINKMAP)) {
            return -1;
        }
        // Code linked into the program has no file name of its own (the
        // loader reports argv[0] instead); the program's file is the answer.
        if (!map || !map->l_name || !map->l_name[0]) {
            path = program_path();
        } else {
            path = map->l_name;
            if (path[0] != '/') {
                // A library opened by a relative name: relative to the
                // directory the host had then, presumably the current one.
                char cwd[4096];
                if (!getcwd(cwd, sizeof cwd)) return -1;
                path = (std::filesystem::path(cwd) / path).lexically_normal().string();
            }
        }
        // An installed library is usually reached through a symlink in the
        // system's library directory while its tools lie next to its real
        // file: resolve the link.
        char real[PATH_MAX];
        if (realpath(path.c_str(), real)) path = real;
    } catch (const std::bad_alloc &) {
        return -1;
    }
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return -1;
    size_t len = slash + 1;
    if (len >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(out, path.data(), len);
    out[len] = '\0';
    return 0;
}
