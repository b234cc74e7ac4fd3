// Measures what following a child's output costs the reading thread, and
// how soon the end of a child is noticed. Needs bin/fake_tool next to it.
//
//   runner_bench [seconds]   (default 10 per CPU figure)
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tool/runner.h"

namespace {

std::string tool_path()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return exe.substr(0, exe.rfind('/') + 1) + "fake_tool";
}

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

// Reads the child to its end; prints the reader's CPU share of one core.
void cpu_figure(const char *what, const std::vector<std::string> &cmd)
{
    pipe_info *fp = pipe_popen(cmd, "r");
    if (!fp) {
        std::printf("%s: could not start %s\n", what, cmd[0].c_str());
        return;
    }
    char line[4096];
    int lines = 0;
    double wall0 = now_s(), cpu0 = thread_cpu_s();
    while (pipe_feof(fp) == 0 && pipe_fgets(line, sizeof line, fp)) lines++;
    double wall = now_s() - wall0, cpu = thread_cpu_s() - cpu0;
    pipe_pclose(fp);
    std::printf("%-34s %6.2f s wall, %4d lines, reader CPU %.4f s = %.3f %% of a core\n", what, wall, lines, cpu,
                100.0 * cpu / wall);
}

// Time from the child's last act (a time stamp it prints just before it
// exits) to pipe_fgets returning NULL with eof.
void end_latency(const char *what, const std::vector<std::string> &cmd, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; i++) {
        pipe_info *fp = pipe_popen(cmd, "r");
        if (!fp) break;
        char line[4096];
        long long stamp = -1;
        while (pipe_fgets(line, sizeof line, fp))
            if (std::sscanf(line, "stamp %lld", &stamp) == 1) break;
        char *end = pipe_fgets(line, sizeof line, fp);
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        long long now_ns = static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
        if (!end && pipe_feof(fp) == 1 && stamp > 0) ms.push_back(static_cast<double>(now_ns - stamp) / 1e6);
        pipe_pclose(fp);
    }
    if (ms.empty()) {
        std::printf("%s: no run measured\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %.2f ms, min %.2f ms, max %.2f ms over %zu runs\n", what, ms[ms.size() / 2], ms.front(),
                ms.back(), ms.size());
}

}  // namespace

int main(int argc, char **argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (seconds < 1) seconds = 1;
    const std::string tool = tool_path();

    cpu_figure("silent child:", {tool, "--run", "sleep " + std::to_string(seconds * 1000)});
    cpu_figure("child printing 100 lines/s:", {tool, "--run", "ticker " + std::to_string(seconds * 100) + " 10"});
    end_latency("exit 0 to NULL+eof:", {tool, "--run", "sleep 50", "stamp", "exit 0"}, 21);
    end_latency("exit 1 to NULL+eof:", {tool, "--run", "sleep 50", "stamp", "exit 1"}, 21);
    return 0;
}
