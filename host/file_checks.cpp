#include "file_checks.h"

#include <cstdio>
#include <cstring>

#include "host_os.h"

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

size_t last_separator(const std::string &path)
{
    for (size_t i = path.size(); i-- > 0;)
        if (host_is_separator(path[i])) return i;
    return std::string::npos;
}

// The folder of an absolute name; a root ("/", "C:\\") keeps its separator.
std::string folder_of(const std::string &path)
{
    const size_t sep = last_separator(path);
    if (sep == std::string::npos) return ".";
    const std::string folder = path.substr(0, sep);
    return folder.empty() || folder.back() == ':' ? path.substr(0, sep + 1) : folder;
}

}  // namespace

bool check_source(const std::string &path, probe_result_ex *info)
{
    const host_file_kind kind = host_file_type(path);
    if (kind == HOST_NOTHING || (kind == HOST_FILE && host_file_size(path) < 0)) {
        std::fprintf(stderr, "tarsa: source %s does not exist\n", path.c_str());
        return false;
    }
    if (kind == HOST_FOLDER) {
        std::fprintf(stderr, "tarsa: source %s is a folder, not a file\n", path.c_str());
        return false;
    }
    if (!host_can_read(path)) {
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
    if (host_file_type(folder) != HOST_FOLDER) {
        std::fprintf(stderr, "tarsa: destination folder %s does not exist\n", folder.c_str());
        return false;
    }
    if (!host_can_write_folder(folder)) {
        std::fprintf(stderr, "tarsa: destination folder %s is not writable\n", folder.c_str());
        return false;
    }
    for (const std::string &src : sources)
        if (host_same_file(src, path)) {
            std::fprintf(stderr, "tarsa: %s is both a source and the destination; choose another destination\n",
                         path.c_str());
            return false;
        }
    if (const host_file_kind kind = host_file_type(path)) {
        if (kind == HOST_FOLDER) {
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
    const size_t sep = last_separator(path);
    const std::string base = path.substr(sep + 1);
    work_path = path.substr(0, sep + 1) + ".tarsa-" + std::to_string(host_pid()) + "-" + base;
    if (!usable_name(work_path, "destination")) {
        work_path.clear();
        return false;
    }
    std::string why;
    if (!host_create_new_file(work_path, &why)) {
        std::fprintf(stderr, "tarsa: cannot create a file in %s: %s\n", folder.c_str(), why.c_str());
        work_path.clear();
        return false;
    }
    return true;
}

bool destination::commit()
{
    if (host_file_size(work_path) <= 0) {
        std::fprintf(stderr, "tarsa: the tool wrote nothing for %s\n", path.c_str());
        return false;
    }
    std::string why;
    if (!host_rename(work_path, path, overwrite, &why)) {
        std::fprintf(stderr, "tarsa: cannot %s %s: %s\n", overwrite ? "replace" : "create", path.c_str(), why.c_str());
        return false;
    }
    work_path.clear();
    return true;
}

void destination::discard()
{
    if (work_path.empty()) return;
    host_remove_file(work_path);
    work_path.clear();
}
