// What running a conversion through the library costs next to running the
// stock ffmpeg alone with the same command line, on the same source:
//   - wall time of the stock ffmpeg alone (the library's line, with the tool
//     layer's argument mapping applied, output to /dev/null);
//   - wall time from tarsa_sdk_start_ex to the final event;
//   - CPU time of the job's monitor thread (read inside the callback at the
//     final event, so it includes the end-of-job probe's reading) and of the
//     host thread inside tarsa_sdk_start_ex;
//   - the process's peak resident memory (VmHWM).
// Needs the library's tools next to it (build/bin).
//
//   cvt_bench [source seconds] [runs]   (default 10 s, 3 runs; medians printed)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media/codec_compat.h"
#include "ffshim_args.h"
#include "job/job_describe.h"
#include "job/job_records.h"
#include "platform/platform.h"
#include "tarsasdk.h"

extern char **environ;

namespace {

double now_s()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double thread_cpu_s()
{
    struct rusage ru;
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::string stock_ffmpeg()
{
    const char *dir = std::getenv("TARSASDK_FFMPEG_DIR");
    return std::string(dir && *dir ? dir : "/usr/bin") + "/ffmpeg";
}

std::string peak_memory()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmHWM:") == 0) return line.substr(6 + line.substr(6).find_first_not_of(" \t"));
    return "?";
}

// Runs the program with its output thrown away; exit status, or -1.
int run_quiet(const std::vector<std::string> &argv)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The end of one job as its monitor thread saw it.
struct JobEnd {
    std::mutex lock;
    std::condition_variable ended;
    void *job = nullptr;
    bool done = false;
    bool failed = false;
    double at = 0;
    double monitor_cpu = 0;
};
JobEnd g_end;

int32_t on_event(void *job, uint32_t code, intptr_t, uint32_t p2, void *)
{
    if (code == TARSA_EVENT_CVT_FAIL) {
        std::lock_guard<std::mutex> guard(g_end.lock);
        if (job == g_end.job) g_end.failed = true;
    }
    if (code != TARSA_EVENT_CVT_POS || p2 != 100) return 0;
    const double at = now_s();
    const double cpu = thread_cpu_s();  // this is the job's monitor thread
    std::lock_guard<std::mutex> guard(g_end.lock);
    if (job != g_end.job) return 0;
    g_end.done = true;
    g_end.at = at;
    g_end.monitor_cpu = cpu;
    g_end.ended.notify_all();
    return 0;
}

struct Figures {
    double stock_wall = 0;
    double job_wall = 0;
    double monitor_cpu = 0;
    double start_cpu = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The stock program's arguments for the line the library builds for `job`:
// the same choice of destination and command line as a start makes, then
// the tool layer's mapping.
std::vector<std::string> stock_line(cvt_info *job)
{
    get_dst_file_codec_id_by_fmt(job->result.f_fmt, job->result.a_fmt, job->result.v_fmt, TARSA_JOB_CONVERT,
                                 job->cvt_param.dst_file_type, job->cvt_param.width, job->cvt_param.height,
                                 job->opt_param, &job->dst_codec_info);
    const std::vector<std::string> args = cvt_job_cmd(*job);
    if (args.empty()) return {};
    ffshim::StockFeatures stock;
    stock.has_libfdk_aac = avcodec_find_encoder_by_name("libfdk_aac") != nullptr;
    ffshim::ArgPlan plan = ffshim::plan_args(std::vector<std::string>(args.begin() + 1, args.end()), stock);
    std::vector<std::string> argv = {stock_ffmpeg()};
    argv.insert(argv.end(), plan.args.begin(), plan.args.end());
    return argv;
}

bool measure(const char *what, const std::string &src, const std::string &dst, cvt_param param, int runs)
{
    std::vector<double> stock_wall, job_wall, monitor_cpu, start_cpu;
    for (int r = 0; r < runs; r++) {
        cvt_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.cvt_param = param;
        v1.usage_mode = HWD_USAGE_NONE;
        v1.hwd_type = -1;
        void *handle = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &v1);
        if (handle == TARSA_INVALID_HANDLE) {
            std::printf("%s: create failed\n", what);
            return false;
        }
        std::vector<std::string> argv = stock_line(static_cast<cvt_info *>(handle));
        std::filesystem::remove(dst);
        double t0 = now_s();
        int rc = run_quiet(argv);
        stock_wall.push_back(now_s() - t0);
        if (rc != 0) {
            std::printf("%s: the stock ffmpeg failed (%d)\n", what, rc);
            tarsa_sdk_destroy(handle);
            return false;
        }
        std::filesystem::remove(dst);

        {
            std::lock_guard<std::mutex> guard(g_end.lock);
            g_end.job = handle;
            g_end.done = g_end.failed = false;
        }
        dst_info info;
        std::memset(&info, 0, sizeof info);
        const double cpu0 = thread_cpu_s();
        t0 = now_s();
        if (tarsa_sdk_start_ex(handle, &info) != 1) {
            std::printf("%s: start failed\n", what);
            tarsa_sdk_destroy(handle);
            return false;
        }
        start_cpu.push_back(thread_cpu_s() - cpu0);
        bool failed;
        {
            std::unique_lock<std::mutex> guard(g_end.lock);
            g_end.ended.wait(guard, [] { return g_end.done; });
            job_wall.push_back(g_end.at - t0);
            monitor_cpu.push_back(g_end.monitor_cpu);
            failed = g_end.failed;
        }
        tarsa_sdk_stop(handle);
        tarsa_sdk_destroy(handle);
        if (failed) {
            std::printf("%s: the job failed\n", what);
            return false;
        }
    }
    std::printf("%-40s stock alone %6.3f s | start to final event %6.3f s (+%.3f s) | "
                "monitor thread CPU %.4f s | start CPU %.4f s\n",
                what, median(stock_wall), median(job_wall), median(job_wall) - median(stock_wall),
                median(monitor_cpu), median(start_cpu));
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    char tmpl[] = "/tmp/cvt-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    const std::string src = dir + "/src.mp4";
    const std::string len = std::to_string(seconds);
    if (run_quiet({stock_ffmpeg(), "-y", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=" + len, "-f",
                   "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=" + len, "-c:v", "libx264",
                   "-profile:v", "high", "-pix_fmt", "yuv420p", "-preset", "veryfast", "-g", "25", "-c:a", "aac",
                   src}) != 0) {
        std::printf("could not generate the source\n");
        return 1;
    }
    setenv("TARSASDK_LOG", "off", 0);
    tarsa_sdk_startup();
    tarsa_sdk_set_mess_callback(on_event, nullptr);
    std::printf("source: %d s, 320x240, H.264 High + AAC; medians of %d runs\n", seconds, runs);
    bool ok = measure("MP4 -> FLV (video copied, AAC encoded)", src, dir + "/dst.flv", {6, 0, 0, 1, 23}, runs) &&
              measure("MP4 -> MP4 640x360 (both encoded)", src, dir + "/dst.mp4", {3, 640, 360, 1, 23}, runs);
    tarsa_sdk_set_mess_callback(nullptr, nullptr);
    std::printf("peak resident memory (VmHWM): %s\n", peak_memory().c_str());
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
