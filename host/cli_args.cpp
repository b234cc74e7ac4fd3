#include "cli_args.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <unistd.h>

bool parse_int(const std::string &option, const std::string &text, long min, long max, int32_t *out)
{
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || value < min || value > max) {
        std::fprintf(stderr, "tarsa: %s takes a whole number from %ld to %ld, not \"%s\"\n", option.c_str(), min, max,
                     text.c_str());
        return false;
    }
    *out = static_cast<int32_t>(value);
    return true;
}

bool parse_size(const std::string &text, uint32_t *width, uint32_t *height)
{
    unsigned w = 0, h = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &extra) != 2 || w == 0 || h == 0 || w > 16384 || h > 16384) {
        std::fprintf(stderr, "tarsa: --size takes WIDTHxHEIGHT, e.g. 640x360, not \"%s\"\n", text.c_str());
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

int32_t file_type_for(const std::string &dst)
{
    size_t dot = dst.rfind('.');
    if (dot == std::string::npos) return 0;
    const char *ext = dst.c_str() + dot + 1;
    if (strcasecmp(ext, "mp4") == 0) return 3;
    if (strcasecmp(ext, "flv") == 0) return 6;
    if (strcasecmp(ext, "avi") == 0) return 5;
    if (strcasecmp(ext, "h264") == 0) return 2;
    return 0;
}

std::string absolute_path(const std::string &path)
{
    if (path.empty() || path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}
