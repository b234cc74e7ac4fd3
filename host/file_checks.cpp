#include "file_checks.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The library takes names of at most 259 bytes without a double quote.
bool usable_name(const std::string &path, const char *what)
{
    if (path.size() > 259 || path.find('"') != std::string::npos) {
        std::fprintf(stderr, "tarsa: %s %s: names must fit 259 bytes and have no double quote\n", what, path.c_str());
        return false;
    }
    return true;
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The resolved name: symlinks, "." and ".." followed; for a file that does
// not exist yet, its folder resolved and its own name appended.
std::string resolved(const std::string &path)
{
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf)) return buf;
    if (realpath(folder_of(path).c_str(), buf)) return std::string(buf) + path.substr(path.rfind('/'));
    return path;
}

bool same_file(const std::string &a, const std::string &b)
{
    if (resolved(a) == resolved(b)) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

bool check_source(const std::string &path, probe_result_ex *info)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "tarsa: source %s does not exist\n", path.c_str());
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "tarsa: source %s is a folder, not a file\n", path.c_str());
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "tarsa: source %s is not readable (permission denied)\n", path.c_str());
        return false;
    }
    if (!usable_name(path, "source")) return false;
    probe_result_ex local;
    probe_result_ex *r = info ? info : &local;
    std::memset(r, 0, sizeof *r);
    if (!tarsa_sdk_probe_ex2(path.c_str(), r)) {
        std::fprintf(stderr, "tarsa: source %s is not a media file the tools can read\n", path.c_str());
        return false;
    }
    return true;
}

destination::~destination() { discard(); }

bool destination::claim(const std::vector<std::string> &sources)
{
    const std::string folder = folder_of(path);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "tarsa: destination folder %s does not exist\n", folder.c_str());
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "tarsa: destination folder %s is not writable\n", folder.c_str());
        return false;
    }
    for (const std::string &src : sources)
        if (same_file(src, path)) {
            std::fprintf(stderr, "tarsa: %s is both a source and the destination; choose another destination\n",
                         path.c_str());
            return false;
        }
    if (stat(path.c_str(), &st) == 0 || lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "tarsa: destination %s is a folder\n", path.c_str());
            return false;
        }
        if (!overwrite) {
            std::fprintf(stderr, "tarsa: destination %s exists; add -y (--overwrite) to replace it\n", path.c_str());
            return false;
        }
    }
    // The work file keeps the destination's extension: the tool may pick the
    // container from it.
    const std::string base = path.substr(path.rfind('/') + 1);
    work_path = folder + (folder == "/" ? "" : "/") + ".tarsa-" + std::to_string(getpid()) + "-" + base;
    if (!usable_name(work_path, "destination")) {
        work_path.clear();
        return false;
    }
    int fd = open(work_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "tarsa: cannot create a file in %s: %s\n", folder.c_str(), std::strerror(errno));
        work_path.clear();
        return false;
    }
    close(fd);
    return true;
}

bool destination::commit()
{
    struct stat st;
    if (stat(work_path.c_str(), &st) != 0 || st.st_size == 0) {
        std::fprintf(stderr, "tarsa: the tool wrote nothing for %s\n", path.c_str());
        return false;
    }
    if (overwrite) {
        if (rename(work_path.c_str(), path.c_str()) != 0) {
            std::fprintf(stderr, "tarsa: cannot replace %s: %s\n", path.c_str(), std::strerror(errno));
            return false;
        }
    } else {
        // link() never replaces: a file that appeared meanwhile stays.
        // Folders without hard links: a rename after a last look.
        struct stat dst_st;
        if (link(work_path.c_str(), path.c_str()) != 0 &&
            (errno == EEXIST || lstat(path.c_str(), &dst_st) == 0 || rename(work_path.c_str(), path.c_str()) != 0)) {
            std::fprintf(stderr, "tarsa: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
            return false;
        }
        unlink(work_path.c_str());
    }
    work_path.clear();
    return true;
}

void destination::discard()
{
    if (work_path.empty()) return;
    unlink(work_path.c_str());
    work_path.clear();
}
