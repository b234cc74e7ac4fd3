#include "cli_args.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "host_os.h"

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
    if (std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &extra) != 2) {
        std::fprintf(stderr, "tarsa: --size takes WIDTHxHEIGHT with both set, e.g. 640x360, not \"%s\"\n",
                     text.c_str());
        return false;
    }
    if (w < 16 || h < 16 || w > 8192 || h > 8192) {
        std::fprintf(stderr, "tarsa: --size %s: width and height must each be from 16 to 8192\n", text.c_str());
        return false;
    }
    // The encoders work on 2x2 colour blocks.
    if (w % 2 != 0 || h % 2 != 0) {
        std::fprintf(stderr, "tarsa: --size %s: width and height must be even numbers\n", text.c_str());
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

bool parse_time(const std::string &option, const std::string &text, long long *ms)
{
    long long parts[3] = {0, 0, 0};
    int count = 0;
    size_t i = 0;
    long long frac = 0;
    bool ok = !text.empty();
    while (ok && i < text.size()) {
        size_t start = i;
        long long v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 9) v = v * 10 + (text[i++] - '0');
        if (i == start || count == 3) ok = false;
        else parts[count++] = v;
        if (!ok || i == text.size()) break;
        if (text[i] == ':') {
            i++;
            if (i == text.size()) ok = false;
        } else if (text[i] == '.') {
            // Milliseconds: up to three digits, and only after the seconds.
            size_t digits = 0;
            long long scale = 100;
            for (i++; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++, digits++) {
                if (digits < 3) frac += (text[i] - '0') * scale;
                scale /= 10;
            }
            ok = digits > 0 && i == text.size();
        } else {
            ok = false;
        }
    }
    // Minutes and seconds after a colon are below 60.
    for (int k = 1; ok && k < count; k++)
        if (parts[k] >= 60) ok = false;
    if (!ok) {
        std::fprintf(stderr, "tarsa: %s takes SS[.ms], MM:SS[.ms] or HH:MM:SS[.ms], not \"%s\"\n", option.c_str(),
                     text.c_str());
        return false;
    }
    long long seconds = 0;
    for (int k = 0; k < count; k++) seconds = seconds * 60 + parts[k];
    *ms = seconds * 1000 + frac;
    return true;
}

namespace {

bool same_nocase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

struct type_name {
    const char *name;
    int32_t type;
};
const type_name k_type_names[] = {{"sdv", 1}, {"h264", 2}, {"mp4", 3}, {"avi", 5}, {"flv", 6}, {"auto", TYPE_BY_NAME}};

struct ext_type {
    const char *ext;
    int32_t type;
};
// Containers the tool picks from the name get TYPE_BY_NAME.
const ext_type k_ext_types[] = {{"mp4", 3}, {"m4v", 3}, {"mov", 3}, {"flv", 6}, {"avi", 5}, {"h264", 2},
                                {"264", 2}, {"mkv", TYPE_BY_NAME}, {"ts", TYPE_BY_NAME}, {"m2ts", TYPE_BY_NAME},
                                {"mts", TYPE_BY_NAME}};

}  // namespace

bool parse_type(const std::string &text, int32_t *type)
{
    for (const type_name &t : k_type_names)
        if (same_nocase(text.c_str(), t.name)) {
            *type = t.type;
            return true;
        }
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
        return parse_int("--type", text, 0, 255, type);
    std::fprintf(stderr, "tarsa: --type takes sdv, h264, mp4, avi, flv, auto or a number, not \"%s\"\n",
                 text.c_str());
    return false;
}

int32_t type_for_destination(const std::string &dst)
{
    size_t dot = dst.rfind('.');
    if (dot == std::string::npos) return -1;
    for (size_t i = dot; i < dst.size(); i++)
        if (host_is_separator(dst[i])) return -1;
    const char *ext = dst.c_str() + dot + 1;
    for (const ext_type &e : k_ext_types)
        if (same_nocase(ext, e.ext)) return e.type;
    return -1;
}

const char *supported_extensions() { return "mp4, m4v, mov, flv, avi, h264, 264, mkv, ts, m2ts, mts"; }

std::string absolute_path(const std::string &path) { return host_absolute_path(path); }
