// The demo: generate sample media with the system's ffmpeg, then with the
// library probe it, convert it to FLV with a watermark, cut a part of it,
// merge the sample with that part, and probe the results.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"

extern char **environ;

namespace {

// Runs a program without a shell and waits for it; its output is discarded.
int run_quiet(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int cmd_demo(const arg_list &args)
{
    if (!args.empty()) return 2;
    char dir_template[] = "/tmp/tarsa-demo-XXXXXX";
    const char *dir = mkdtemp(dir_template);
    if (!dir) {
        std::perror("tarsa: mkdtemp");
        return 1;
    }
    const std::string sample = std::string(dir) + "/sample.mp4";
    const std::string converted = std::string(dir) + "/sample.flv";
    const std::string part = std::string(dir) + "/part.mp4";
    const std::string merged = std::string(dir) + "/merged.mp4";
    std::printf("generating sample media %s ...\n", sample.c_str());
    int rc = run_quiet({"/usr/bin/ffmpeg", "-y", "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=8",
                        "-f", "lavfi", "-i", "sine=frequency=440:duration=8", "-c:v", "libx264", "-preset",
                        "veryfast", "-g", "25", "-pix_fmt", "yuv420p", "-c:a", "aac", sample});
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
    for (const std::string &file : {sample, converted, part, merged}) std::remove(file.c_str());
    rmdir(dir);
    return result;
}
