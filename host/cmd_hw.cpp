// tarsa hw: runs the library's hardware detection and tells what it found.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "tarsasdk.h"

namespace {

const char *kind_name(int32_t type)
{
    switch (type) {
    case HWD_TYPE_NVIDIA: return "nvidia";
    case HWD_TYPE_INTEL: return "intel";
    case HWD_TYPE_VAAPI: return "vaapi";
    default: return "unknown";
    }
}

const char *yes(int32_t v) { return v ? "yes" : "no"; }
const char *truth(int32_t v) { return v ? "true" : "false"; }

}  // namespace

int cmd_hw(const arg_list &args)
{
    bool json = false;
    for (const std::string &a : args) {
        if (a != "--json") {
            std::fprintf(stderr, "tarsa: unknown argument %s\n", a.c_str());
            return 2;
        }
        json = true;
    }
    hwd_dev_info info;
    std::memset(&info, 0, sizeof info);
    if (!json) std::printf("detecting hardware encoders and decoders ...\n");
    std::fflush(stdout);
    const int found = tarsa_sdk_find_usr_hwd(&info);
    int count = info.hwd_num < 0 ? 0 : info.hwd_num > 3 ? 3 : info.hwd_num;
    if (!found) count = 0;
    if (json) {
        std::printf("{\"found\":%s,\"devices\":[", truth(count > 0));
        for (int i = 0; i < count; i++) {
            const hwd_dev &d = info.dev[i];
            std::printf("%s{\"type\":\"%s\",\"decode\":{\"h264\":%s,\"hevc\":%s},\"encode\":{\"h264\":%s,\"hevc\":%s}}",
                        i ? "," : "", kind_name(d.hwd_type), truth(d.decode[0]), truth(d.decode[1]),
                        truth(d.encode[0]), truth(d.encode[1]));
        }
        std::printf("]}\n");
        return 0;
    }
    if (count == 0) std::printf("none found: jobs encode in software\n");
    for (int i = 0; i < count; i++) {
        const hwd_dev &d = info.dev[i];
        std::printf("%-8s decode H.264 %s, HEVC %s; encode H.264 %s, HEVC %s\n", kind_name(d.hwd_type),
                    yes(d.decode[0]), yes(d.decode[1]), yes(d.encode[0]), yes(d.encode[1]));
    }
    return 0;
}
