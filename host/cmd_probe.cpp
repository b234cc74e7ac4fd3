#include <cstdio>
#include <cstring>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "tarsasdk.h"

int cmd_probe(const arg_list &args)
{
    if (args.size() != 1) return 2;
    const std::string path = absolute_path(args[0]);
    const char *file = path.c_str();
    probe_result_ex r;
    std::memset(&r, 0, sizeof r);
    if (!tarsa_sdk_probe_ex2(file, &r)) {
        std::fprintf(stderr, "tarsa: cannot probe %s: not a readable media file\n", file);
        return 1;
    }
    std::printf("file:       %s\n", file);
    std::printf("container:  %s\n", r.result.f_fmt);
    std::printf("video:      %s\n", r.result.v_fmt[0] ? r.result.v_fmt : "(none)");
    std::printf("audio:      %s\n", r.result.a_fmt[0] ? r.result.a_fmt : "(none)");
    std::printf("duration:   %d s\n", r.result.duration);
    std::printf("size:       %dx%d\n", r.result.width, r.result.height);
    return 0;
}
