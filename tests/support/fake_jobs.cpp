#include "fake_jobs.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "sdk/sdk_globals.h"
#include "tarsasdk.h"

namespace tt {

void FakeToolJobs::SetUp()
{
    sdk_startup();
    ASSERT_FALSE(dir_.path().empty());
    tools_ = install_fake_tools(dir_.path());
    // Set while no job runs: the jobs' threads start tools, which read the
    // environment.
    setenv("TARSA_FAKE_SCRIPT", dir_.file("script.txt").c_str(), 1);
    setenv("TARSA_FAKE_PROBE_SCRIPT", dir_.file("probe.txt").c_str(), 1);
    script("exit 0\n");
    probe_duration(10);
    src_ = dir_.file("src.flv");
    dst_ = dir_.file("dst.flv");
    ASSERT_TRUE(write_file(src_, ""));
    set_ff_path(tools_.c_str());
}

void FakeToolJobs::TearDown()
{
    set_ff_path(s_module_path);
    unsetenv("TARSA_FAKE_SCRIPT");
    unsetenv("TARSA_FAKE_PROBE_SCRIPT");
}

void FakeToolJobs::script(const std::string &text) { ASSERT_TRUE(write_file(dir_.file("script.txt"), text)); }

void FakeToolJobs::probe_duration(int seconds)
{
    char duration[32];
    if (seconds > 0)
        std::snprintf(duration, sizeof duration, "%02d:%02d:%02d.00", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(duration, sizeof duration, "N/A");
    ASSERT_TRUE(write_file(dir_.file("probe.txt"),
                           "print Input #0, flv, from 'src.flv':\n"
                           "print   Duration: " + std::string(duration) + ", start: 0.000000, bitrate: 300 kb/s\n"
                           "print   Stream #0:0: Video: h264 (High), yuv420p(progressive), 320x240, 25 fps\n"
                           "print   Stream #0:1: Audio: aac (LC), 48000 Hz, mono, fltp, 64 kb/s\n"
                           "exit 0\n"));
}

cvt_info *FakeToolJobs::create()
{
    cvt_param_v1 param = {};
    param.cvt_param = {6, 0, 0, 1, 23};
    param.usage_mode = HWD_USAGE_NONE;
    param.hwd_type = -1;
    void *job = tarsa_sdk_create_v1(src_.c_str(), dst_.c_str(), &param);
    EXPECT_NE(job, TARSA_INVALID_HANDLE);
    return job == TARSA_INVALID_HANDLE ? nullptr : static_cast<cvt_info *>(job);
}

std::string status_line(int seconds)
{
    char line[160];
    std::snprintf(line, sizeof line,
                  "frame=  %3d fps= 25 q=28.0 size=      12kB time=%02d:%02d:%02d.48 bitrate= 150.0kbits/s speed=1.0x",
                  seconds * 25, seconds / 3600, seconds / 60 % 60, seconds % 60);
    return line;
}

std::vector<int> child_pids()
{
    std::vector<int> out;
    const int self = getpid();
    DIR *proc = opendir("/proc");
    if (!proc) return out;
    while (dirent *e = readdir(proc)) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t paren = line.rfind(')');
        if (paren == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + paren + 1, " %c %d", &state, &ppid) == 2 && ppid == self) out.push_back(pid);
    }
    closedir(proc);
    return out;
}

static std::vector<int> dir_numbers(const char *path)
{
    std::vector<int> out;
    DIR *dir = opendir(path);
    if (!dir) return out;
    const int own = dirfd(dir);
    while (dirent *e = readdir(dir)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const int n = std::atoi(e->d_name);
        if (n != own || std::string(path) != "/proc/self/fd") out.push_back(n);
    }
    closedir(dir);
    return out;
}

int thread_count() { return static_cast<int>(dir_numbers("/proc/self/task").size()); }

int thread_baseline()
{
    std::thread([] {}).join();
    return thread_count();
}

std::vector<int> open_fds()
{
    std::vector<int> fds = dir_numbers("/proc/self/fd");
    std::sort(fds.begin(), fds.end());
    return fds;
}

bool ends_within(int pid, int ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (kill(pid, 0) != 0) return true;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) return true;
        const size_t paren = line.rfind(')');
        if (paren != std::string::npos && paren + 2 < line.size() &&
            (line[paren + 2] == 'Z' || line[paren + 2] == 'X'))
            return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace tt
