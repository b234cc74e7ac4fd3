// tarsa: probe media files and run jobs with tarsasdk from the command line.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tarsasdk.h"

extern char **environ;

namespace {

void usage()
{
    std::fprintf(stderr,
                 "usage: tarsa demo            generate sample media, probe it\n"
                 "       tarsa probe FILE      print what a media file holds\n");
}

int print_probe(const char *file)
{
    probe_result_ex r;
    std::memset(&r, 0, sizeof r);
    if (!tarsa_sdk_probe_ex2(file, &r)) {
        std::fprintf(stderr, "tarsa: cannot probe %s (not a readable media file)\n", file);
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

// Runs a program without a shell and waits for it; its output is discarded.
int run_quiet(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
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

int demo()
{
    char dir_template[] = "/tmp/tarsa-demo-XXXXXX";
    const char *dir = mkdtemp(dir_template);
    if (!dir) {
        std::perror("tarsa: mkdtemp");
        return 1;
    }
    std::string sample = std::string(dir) + "/sample.mp4";
    std::printf("generating sample media %s ...\n", sample.c_str());
    int rc = run_quiet({"/usr/bin/ffmpeg", "-y", "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=8",
                        "-f", "lavfi", "-i", "sine=frequency=440:duration=8", "-c:v", "libx264", "-preset",
                        "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac", sample});
    int result = 1;
    if (rc != 0) {
        std::fprintf(stderr, "tarsa: could not generate sample media (is ffmpeg installed?)\n");
    } else {
        result = print_probe(sample.c_str());
    }
    std::remove(sample.c_str());
    rmdir(dir);
    return result;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        usage();
        return 2;
    }
    std::string command = argv[1];
    tarsa_sdk_startup();
    int rc = 2;
    if (command == "demo") {
        rc = demo();
    } else if (command == "probe" && argc == 3) {
        rc = print_probe(argv[2]);
    } else {
        usage();
    }
    tarsa_sdk_cleanup();
    return rc;
}
