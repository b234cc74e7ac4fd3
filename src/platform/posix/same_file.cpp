// Whether two names lead to one file, on POSIX.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "platform/platform.h"

namespace {

// The name resolved as far as it exists: the whole path, or its folder and
// the last component as given.
std::string resolved(const char *name)
{
    char buf[PATH_MAX];
    if (realpath(name, buf)) return buf;
    const std::string path(name);
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (realpath(dir.c_str(), buf)) return std::string(buf) + (std::string(buf) == "/" ? "" : "/") + base;
    return path;
}

}  // namespace

bool os_same_file(const char *a, const char *b)
{
    if (!a || !b) return false;
    struct stat sa, sb;
    if (stat(a, &sa) == 0 && stat(b, &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return resolved(a) == resolved(b);
}
