// Soak run through the public interface: N create/start/stop/destroy cycles
// of conversions, cuts and merges (in turn, each stopped after a random
// 0..400 ms) and N probes, on a small generated file. Prints what the
// process holds before and after: descriptors, threads, resident memory,
// child processes (with their children) and files left in the work
// directory. Nothing should grow beyond noise, nothing should be left.
//
//   soak_bench [N]   (default 1000)
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tarsasdk.h"

extern char **environ;

namespace {

std::vector<std::string> dir_entries(const std::string &dir)
{
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

long status_field(const char *name)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, std::strlen(name), name) == 0) return std::atol(line.c_str() + std::strlen(name));
    return -1;
}

// Every process below this one (children, their children, ...).
int descendants()
{
    std::multimap<int, int> children;
    for (const std::string &e : dir_entries("/proc")) {
        if (e.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat("/proc/" + e + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &ppid);
        children.emplace(ppid, std::atoi(e.c_str()));
    }
    int count = 0;
    std::vector<int> todo = {static_cast<int>(getpid())};
    while (!todo.empty()) {
        int p = todo.back();
        todo.pop_back();
        auto range = children.equal_range(p);
        for (auto it = range.first; it != range.second; ++it, ++count) todo.push_back(it->second);
    }
    return count;
}

struct Figures {
    size_t fds;
    long threads, rss_kb;
    int children;
    size_t files;
};

Figures measure(const std::string &work)
{
    return {dir_entries("/proc/self/fd").size() - 1,  // less the one reading the directory
            status_field("Threads:"), status_field("VmRSS:"), descendants(), dir_entries(work).size()};
}

bool generate(const std::string &path)
{
    const std::string ffmpeg = std::string(std::getenv("TARSASDK_FFMPEG_DIR") ? std::getenv("TARSASDK_FFMPEG_DIR")
                                                                              : "/usr/bin") + "/ffmpeg";
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                     "testsrc2=size=320x240:rate=25:duration=4", "-f", "lavfi", "-i",
                                     "sine=frequency=440:duration=4", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                                     "-c:a", "aac", path};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One cycle of the given kind; false when a call refused.
bool cycle(int kind, const std::string &src, const std::string &dst, int stop_ms)
{
    const auto pause = [stop_ms] { std::this_thread::sleep_for(std::chrono::milliseconds(stop_ms)); };
    if (kind == 0) {
        cvt_param_v1 p;
        std::memset(&p, 0, sizeof p);
        p.cvt_param = {4, 160, 120, 1, 23};
        p.usage_mode = HWD_USAGE_NONE;
        void *job = tarsa_sdk_create_v1(src.c_str(), (dst + ".mp4").c_str(), &p);
        if (job == TARSA_INVALID_HANDLE) return false;
        bool ok = tarsa_sdk_start(job) == 1;
        pause();
        tarsa_sdk_stop(job);
        tarsa_sdk_destroy(job);
        std::remove((dst + ".mp4").c_str());
        return ok;
    }
    if (kind == 1) {
        cut_param_v1 p;
        std::memset(&p, 0, sizeof p);
        p.cut_param = {4, 0, 0, 1, 2, 1, 1, 23};
        p.usage_mode = HWD_USAGE_NONE;
        void *job = tarsa_sdk_cut_create_v1(src.c_str(), (dst + ".mp4").c_str(), &p);
        if (job == TARSA_INVALID_HANDLE) return false;
        bool ok = tarsa_sdk_cut_start(job) == 1;
        pause();
        tarsa_sdk_cut_stop(job);
        tarsa_sdk_cut_destroy(job);
        std::remove((dst + ".mp4").c_str());
        return ok;
    }
    merge_param_v1 p;
    std::memset(&p, 0, sizeof p);
    p.merge_param = {4, 0, 0, 1, 23};
    p.usage_mode = HWD_USAGE_NONE;
    void *job = tarsa_sdk_merge_create_v1((dst + ".mp4").c_str(), &p);
    if (job == TARSA_INVALID_HANDLE) return false;
    bool ok = tarsa_sdk_merge_add_file(job, src.c_str()) == 1 && tarsa_sdk_merge_add_file(job, src.c_str()) == 1 &&
              tarsa_sdk_merge_start(job) == 1;
    pause();
    tarsa_sdk_merge_stop(job);
    tarsa_sdk_merge_destroy(job);
    std::remove((dst + ".mp4").c_str());
    return ok;
}

void print(const char *label, const Figures &f)
{
    std::printf("%-8s fds %4zu  threads %3ld  rss %7ld kB  child processes %3d  files in work dir %zu\n", label,
                f.fds, f.threads, f.rss_kb, f.children, f.files);
}

}  // namespace

int main(int argc, char **argv)
{
    setenv("TARSASDK_LOG", "off", 0);
    setvbuf(stdout, nullptr, _IOLBF, 0);  // figures as they come, also from a run that is cut short
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    char tmpl[] = "/tmp/tarsa-soak-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("soak_bench: mkdtemp");
        return 1;
    }
    const std::string dir = tmpl, work = dir + "/work", src = dir + "/src.mp4";
    mkdir(work.c_str(), 0700);
    if (!generate(src)) {
        std::fprintf(stderr, "soak_bench: could not generate %s\n", src.c_str());
        return 1;
    }
    tarsa_sdk_startup();
    tarsa_sdk_merge_set_tmp_path(work.c_str());
    // One cycle of each kind first: what the first use sets up once is not growth.
    for (int kind = 0; kind < 3; kind++) cycle(kind, src, work + "/warm", 200);
    tarsa_sdk_probe(src.c_str());
    const Figures before = measure(work);
    print("before", before);

    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> stop_ms(0, 400);
    int refused = 0, probes_failed = 0;
    double slowest_ms = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; i++) {
        const auto t0 = std::chrono::steady_clock::now();
        const int delay = stop_ms(rng);
        if (!cycle(i % 3, src, work + "/out", delay)) refused++;
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() - delay;
        slowest_ms = std::max(slowest_ms, took);
        probe_result r;
        std::memset(&r, 0, sizeof r);
        if (tarsa_sdk_probe_ex(src.c_str(), &r) != 1) probes_failed++;
        if ((i + 1) % 10 == 0) print(std::to_string(i + 1).c_str(), measure(work));
    }
    const double total_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // tools killed last may still be exiting
    const Figures after = measure(work);

    std::printf("%d cycles (convert, cut, merge in turn) + %d probes in %.1f s; refused cycles %d, failed probes %d, "
                "slowest create+start+stop+destroy %.0f ms\n",
                n, n, total_s, refused, probes_failed, slowest_ms);
    print("before", before);
    print("after", after);
    tarsa_sdk_cleanup();
    for (const std::string &e : dir_entries(work)) std::remove((work + "/" + e).c_str());
    rmdir(work.c_str());
    std::remove(src.c_str());
    rmdir(dir.c_str());
    return 0;
}
