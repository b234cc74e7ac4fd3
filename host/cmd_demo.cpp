// The demo: generate sample media with ffmpeg (the system's; on Windows the
// tool layer beside the program), then with the library probe it, convert
// it to FLV with a watermark, cut a part of it, merge the sample with that
// part, and probe the results.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "host_os.h"

int cmd_demo(const arg_list &args)
{
    if (!args.empty()) return 2;
    const std::string dir = host_make_temp_folder("tarsa-demo-");
    if (dir.empty()) {
        std::fprintf(stderr, "tarsa: cannot make a temporary folder\n");
        return 1;
    }
    const std::string sample = dir + "/sample.mp4";
    const std::string converted = dir + "/sample.flv";
    const std::string part = dir + "/part.mp4";
    const std::string merged = dir + "/merged.mp4";
    std::printf("generating sample media %s ...\n", sample.c_str());
    int rc = host_run_quiet({host_sample_maker(), "-y", "-f", "lavfi", "-i",
                             "testsrc2=size=640x360:rate=25:duration=8", "-f", "lavfi", "-i",
                             "sine=frequency=440:duration=8", "-c:v", "libx264", "-preset", "veryfast", "-g", "25",
                             "-pix_fmt", "yuv420p", "-c:a", "aac", sample});
    int result = 1;
    if (rc != 0) {
        std::fprintf(stderr, "tarsa: could not generate sample media (is ffmpeg installed?)\n");
    } else {
        result = cmd_probe({sample});
        if (result == 0) result = cmd_convert({sample, converted, "--watermark", "tarsasdk", "--grid", "2x2"});
        if (result == 0) result = cmd_probe({converted});
        if (result == 0) result = cmd_cut({sample, part, "--start", "2", "--length", "3"});
        if (result == 0) result = cmd_probe({part});
        if (result == 0) result = cmd_merge({merged, sample, part});
        if (result == 0) result = cmd_probe({merged});
    }
    for (const std::string &file : {sample, converted, part, merged}) host_remove_file(file);
    host_remove_folder(dir);
    return result;
}
