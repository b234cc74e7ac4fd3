// What a probe through the library costs next to running the stock ffprobe
// on the same file: median wall time of tarsa_sdk_probe_ex and of
// "ffprobe -i FILE" (started without a shell, its output read to the end),
// and their ratio. Generates its sample files with the stock ffmpeg.
//
//   probe_bench [runs]   (default 11 per file and program)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tarsasdk.h"

extern char **environ;

namespace {

double now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::string stock(const char *program)
{
    const char *dir = std::getenv("TARSASDK_FFMPEG_DIR");
    return std::string(dir && *dir ? dir : "/usr/bin") + "/" + program;
}

// Runs argv without a shell, reads its standard output and error to the
// end, waits for it. Its exit status, or -1 when it could not start.
int run(const std::vector<std::string> &argv)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool generate(const std::string &path, const std::vector<std::string> &codec_args, bool video)
{
    std::vector<std::string> argv = {stock("ffmpeg"), "-hide_banner", "-loglevel", "error", "-y"};
    if (video) argv.insert(argv.end(), {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=3"});
    argv.insert(argv.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3"});
    argv.insert(argv.end(), codec_args.begin(), codec_args.end());
    argv.push_back(path);
    return run(argv) == 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Sample {
    const char *label;
    std::string path;
    std::vector<std::string> codec_args;
    bool video;
};

}  // namespace

int main(int argc, char **argv)
{
    setenv("TARSASDK_LOG", "off", 0);  // the probe dumps would drown the figures
    int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    if (runs < 1) runs = 1;

    char dir_template[] = "/tmp/tarsa-probe-bench-XXXXXX";
    const char *dir = mkdtemp(dir_template);
    if (!dir) {
        std::perror("probe_bench: mkdtemp");
        return 1;
    }
    const std::string d = dir;
    const std::vector<std::string> h264 = {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"};
    std::vector<Sample> samples = {
        {"mp4 h264+aac 3 s", d + "/a.mp4", h264, true},
        {"mpeg-ts h264+aac 3 s", d + "/a.ts", h264, true},
        {"avi mpeg4+mp3 3 s", d + "/a.avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame"}, true},
        {"mp3 3 s", d + "/a.mp3", {"-c:a", "libmp3lame"}, false},
    };
    samples[0].codec_args.insert(samples[0].codec_args.end(), {"-c:a", "aac"});
    samples[1].codec_args.insert(samples[1].codec_args.end(), {"-c:a", "aac", "-f", "mpegts"});

    int rc = 0;
    for (const Sample &s : samples) {
        if (!generate(s.path, s.codec_args, s.video)) {
            std::fprintf(stderr, "probe_bench: could not generate %s\n", s.path.c_str());
            rc = 1;
        }
    }
    if (rc == 0) {
        tarsa_sdk_startup();
        std::printf("%-22s %14s %14s %8s   (median of %d runs)\n", "file", "library ms", "ffprobe ms", "ratio", runs);
        std::vector<double> all_lib, all_stock;
        for (const Sample &s : samples) {
            std::vector<double> lib, plain;
            for (int i = 0; i <= runs; i++) {  // run 0 warms the caches and is not counted
                probe_result r;
                std::memset(&r, 0, sizeof r);
                double t0 = now_ms();
                int ok = tarsa_sdk_probe_ex(s.path.c_str(), &r);
                double t1 = now_ms();
                int status = run({stock("ffprobe"), "-i", s.path});
                double t2 = now_ms();
                if (ok != 1 || status != 0) {
                    std::fprintf(stderr, "probe_bench: probe of %s failed (library %d, ffprobe %d)\n",
                                 s.path.c_str(), ok, status);
                    rc = 1;
                    break;
                }
                if (i == 0) continue;
                lib.push_back(t1 - t0);
                plain.push_back(t2 - t1);
            }
            if (lib.empty()) continue;
            all_lib.insert(all_lib.end(), lib.begin(), lib.end());
            all_stock.insert(all_stock.end(), plain.begin(), plain.end());
            std::printf("%-22s %14.1f %14.1f %8.2f\n", s.label, median(lib), median(plain),
                        median(lib) / median(plain));
        }
        if (!all_lib.empty())
            std::printf("%-22s %14.1f %14.1f %8.2f\n", "all files", median(all_lib), median(all_stock),
                        median(all_lib) / median(all_stock));
        tarsa_sdk_cleanup();
    }
    for (const Sample &s : samples) std::remove(s.path.c_str());
    rmdir(dir);
    return rc;
}
