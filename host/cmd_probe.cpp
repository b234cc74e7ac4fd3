// tarsa probe: what media files hold, as text or one JSON object per file.
#include <cstdio>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "file_checks.h"
#include "progress.h"

namespace {

// The tool's stream line without its indentation and line break.
std::string trimmed(const char *line)
{
    std::string s(line);
    const size_t first = s.find_first_not_of(" \t");
    const size_t last = s.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

}  // namespace

int cmd_probe(const arg_list &args)
{
    bool json = false;
    arg_list files;
    for (const std::string &a : args) {
        if (a == "--json") json = true;
        else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "tarsa: unknown option %s\n", a.c_str());
            return 2;
        } else files.push_back(a);
    }
    if (files.empty()) return 2;
    int rc = 0;
    for (const std::string &name : files) {
        if (stop_signal()) return 128 + stop_signal();
        const std::string path = absolute_path(name);
        probe_result_ex r;
        if (!check_source(path, &r)) {
            if (json) std::printf("{\"file\":%s,\"error\":\"not a readable media file\"}\n", json_string(path).c_str());
            rc = 1;
            continue;
        }
        const probe_result &p = r.result;
        if (json) {
            std::printf("{\"file\":%s,\"container\":%s,\"video\":%s,\"audio\":%s,\"width\":%d,\"height\":%d,"
                        "\"duration\":%d,\"video_stream\":%s,\"audio_stream\":%s}\n",
                        json_string(path).c_str(), json_string(p.f_fmt).c_str(), json_string(p.v_fmt).c_str(),
                        json_string(p.a_fmt).c_str(), p.width, p.height, p.duration,
                        json_string(trimmed(r.video_detailed_param)).c_str(), json_string(trimmed(r.audio_detailed_param)).c_str());
        } else {
            std::printf("file:       %s\n", path.c_str());
            std::printf("container:  %s\n", p.f_fmt);
            std::printf("video:      %s\n", p.v_fmt[0] ? p.v_fmt : "(none)");
            std::printf("audio:      %s\n", p.a_fmt[0] ? p.a_fmt : "(none)");
            std::printf("duration:   %d s\n", p.duration);
            std::printf("size:       %dx%d\n", p.width, p.height);
            if (files.size() > 1) std::printf("\n");
        }
    }
    return rc;
}
