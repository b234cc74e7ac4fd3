#include "job_options.h"

#include <cstring>

#include "cli_args.h"
#include "commands.h"

namespace {

using setter = bool (*)(job_options &o, const std::string &value);

struct option_spec {
    const char *long_name;
    const char *short_name;  // or nullptr
    const char *value_name;  // nullptr for a switch
    int commands;            // job_command bits
    const char *help;
    setter set;
};

constexpr int ALL = JOB_CONVERT | JOB_CUT | JOB_MERGE;

const option_spec k_options[] = {
    {"--overwrite", "-y", nullptr, ALL, "replace an existing destination", [](job_options &o, const std::string &) {
         o.overwrite = true;
         return true;
     }},
    {"--no-overwrite", "-n", nullptr, ALL, "never replace an existing destination (the default)",
     [](job_options &o, const std::string &) {
         o.overwrite = false;
         return true;
     }},
    {"--type", nullptr, "TYPE", ALL, "sdv, h264, mp4, avi, flv, auto or 0-255 (default: from DST)",
     [](job_options &o, const std::string &v) { return parse_type(v, &o.type); }},
    {"--size", nullptr, "WxH", ALL, "output size, both even, e.g. 640x360 (default: the source's)",
     [](job_options &o, const std::string &v) { return parse_size(v, &o.width, &o.height); }},
    {"--quality", nullptr, "Q", ALL, "video quality when re-encoding, 0 (best) to 51 (default 5)",
     [](job_options &o, const std::string &v) { return parse_int("--quality", v, 0, 51, &o.quality); }},
    {"--no-audio", nullptr, nullptr, ALL, "leave the audio out", [](job_options &o, const std::string &) {
         o.audio = false;
         return true;
     }},
    {"--no-hw", nullptr, nullptr, ALL, "encode in software only", [](job_options &o, const std::string &) {
         o.software_only = true;
         return true;
     }},
    {"--start", nullptr, "TIME", JOB_CUT, "where the part begins: SS[.ms], MM:SS or HH:MM:SS[.ms] (default 0)",
     [](job_options &o, const std::string &v) { return parse_time("--start", v, &o.start_ms); }},
    {"--length", nullptr, "TIME", JOB_CUT, "how long the part is, same forms as --start (required)",
     [](job_options &o, const std::string &v) { return parse_time("--length", v, &o.length_ms); }},
    {"--copy", nullptr, nullptr, JOB_CUT, "fast cut at key frames, copying the streams (the start may move earlier)",
     [](job_options &o, const std::string &) {
         o.copy = true;
         return true;
     }},
    {"--no-faststart", nullptr, nullptr, JOB_CUT, "mp4: leave the index at the end of the file",
     [](job_options &o, const std::string &) {
         o.faststart = false;
         return true;
     }},
    {"--vcodec", nullptr, "ID", JOB_CONVERT, "video codec id (0 mpeg2video, 1 h264, 5 mpeg4, 6 hevc, ...)",
     [](job_options &o, const std::string &v) { return parse_int("--vcodec", v, 0, 255, &o.vcodec); }},
    {"--acodec", nullptr, "ID", JOB_CONVERT, "audio codec id (0 mp2, 2 aac, 3 pcm_alaw)",
     [](job_options &o, const std::string &v) { return parse_int("--acodec", v, 0, 255, &o.acodec); }},
    {"--threads", nullptr, "N", JOB_CONVERT, "encoder threads",
     [](job_options &o, const std::string &v) { return parse_int("--threads", v, 0, 256, &o.threads); }},
    {"--preset", nullptr, "NAME", JOB_CONVERT, "encoder preset, e.g. veryfast",
     [](job_options &o, const std::string &v) {
         o.preset = v;
         if (v.size() < 100) return true;
         std::fprintf(stderr, "tarsa: --preset is too long\n");
         return false;
     }},
    {"--watermark", nullptr, "TEXT", JOB_CONVERT, "draw TEXT over the picture", [](job_options &o, const std::string &v) {
         o.watermark = v;
         if (!v.empty() && v.size() < 1024) return true;
         std::fprintf(stderr, "tarsa: --watermark takes a text of 1 to 1023 bytes\n");
         return false;
     }},
    {"--grid", nullptr, "RxC", JOB_CONVERT, "repeat the watermark in R rows and C columns (default 1x1)",
     [](job_options &o, const std::string &v) {
         unsigned r = 0, c = 0;
         char extra = 0;
         if (std::sscanf(v.c_str(), "%ux%u%c", &r, &c, &extra) == 2 && r >= 1 && c >= 1 && r <= 16 && c <= 16) {
             o.grid_rows = static_cast<int32_t>(r);
             o.grid_cols = static_cast<int32_t>(c);
             return true;
         }
         std::fprintf(stderr, "tarsa: --grid takes ROWSxCOLUMNS from 1x1 to 16x16, e.g. 2x3\n");
         return false;
     }},
    {"--tmp", nullptr, "DIR", JOB_MERGE, "directory for the merge's temporary files",
     [](job_options &o, const std::string &v) {
         o.tmp_dir = v;
         return true;
     }},
    {"--strict", nullptr, nullptr, JOB_MERGE, "stop at the first source that cannot be transcoded",
     [](job_options &o, const std::string &) {
         o.strict = true;
         return true;
     }},
    {"--json", nullptr, nullptr, ALL, "progress and result as JSON lines on standard output",
     [](job_options &o, const std::string &) {
         o.json = true;
         return true;
     }},
    {"--quiet", "-q", nullptr, ALL, "print errors only", [](job_options &o, const std::string &) {
         o.quiet = true;
         return true;
     }},
};

const option_spec *find_option(job_command command, const std::string &name)
{
    for (const option_spec &spec : k_options)
        if ((spec.commands & command) && (name == spec.long_name || (spec.short_name && name == spec.short_name)))
            return &spec;
    return nullptr;
}

}  // namespace

int parse_job_options(job_command command, const std::vector<std::string> &args, job_options *out)
{
    bool only_files = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        if (only_files || a.size() < 2 || a[0] != '-') {
            out->files.push_back(a);
            continue;
        }
        if (a == "--") {
            only_files = true;
            continue;
        }
        if (a == "--help" || a == "-h") return -1;
        std::string name = a, value;
        const size_t eq = a.find('=');
        const bool inline_value = a.compare(0, 2, "--") == 0 && eq != std::string::npos;
        if (inline_value) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        }
        const option_spec *spec = find_option(command, name);
        if (!spec) {
            std::fprintf(stderr, "tarsa: unknown option %s\n", name.c_str());
            return 2;
        }
        if (spec->value_name && !inline_value) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "tarsa: %s needs a value (%s)\n", name.c_str(), spec->value_name);
                return 2;
            }
            value = args[++i];
        } else if (!spec->value_name && inline_value) {
            std::fprintf(stderr, "tarsa: %s takes no value\n", name.c_str());
            return 2;
        }
        if (!spec->set(*out, value)) return 2;
    }
    return 0;
}

void print_job_options(job_command command, FILE *to)
{
    for (const option_spec &spec : k_options) {
        if (!(spec.commands & command)) continue;
        std::string left = spec.short_name ? std::string(spec.short_name) + ", " + spec.long_name : spec.long_name;
        if (spec.value_name) left += std::string(" ") + spec.value_name;
        std::fprintf(to, "  %-22s %s\n", left.c_str(), spec.help);
    }
}
