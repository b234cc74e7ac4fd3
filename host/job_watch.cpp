#include "job_watch.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tarsasdk.h"

namespace {

struct watch_state {
    std::atomic<int> pos{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> finished{false};
    std::atomic<int> dropped{0};
    int source_count = 0;
    job_kind_ops ops{};
};

watch_state g_state;
volatile sig_atomic_t g_interrupted = 0;

void on_sigint(int) { g_interrupted = 1; }

// Runs on the job's thread.
int32_t on_event(void * /*job*/, uint32_t code, intptr_t p1, uint32_t p2, void *user)
{
    auto *s = static_cast<watch_state *>(user);
    if (code == s->ops.pos_event) {
        s->pos.store(static_cast<int>(p2));
        if (p2 == 100) s->finished.store(true);
    } else if (code == s->ops.fail_event) {
        s->failed.store(true);
        // A conversion still reports its end (100) after its failure event.
        if (code != TARSA_EVENT_CVT_FAIL) s->finished.store(true);
    } else if (s->ops.source_fail_event != 0 && code == s->ops.source_fail_event) {
        std::fprintf(stderr, "\ntarsa: dropped a source that could not be transcoded: %.*s\n", static_cast<int>(p2),
                     reinterpret_cast<const char *>(p1));
        // With every source dropped there is nothing left to join: abort.
        if (s->dropped.fetch_add(1) + 1 >= s->source_count) {
            s->failed.store(true);
            s->finished.store(true);
            return -1;
        }
    }
    return 0;
}

std::string clock_text(double seconds)
{
    if (seconds < 0) return "--:--";
    long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

void show_progress(int pos, double elapsed, bool tty, int &last_shown)
{
    if (tty) {
        const int width = 30;
        std::string bar(static_cast<size_t>(pos * width / 100), '#');
        bar.resize(width, '.');
        double left = (pos > 0 && pos < 100) ? elapsed * (100 - pos) / pos : (pos >= 100 ? 0 : -1);
        std::fprintf(stderr, "\r  [%s] %3d%%  elapsed %s  left %s   ", bar.c_str(), pos, clock_text(elapsed).c_str(),
                     clock_text(left).c_str());
        std::fflush(stderr);
    } else if (pos != last_shown) {
        std::printf("progress %d%%\n", pos);
        std::fflush(stdout);
    }
    last_shown = pos;
}

}  // namespace

void watch_prepare() { tarsa_sdk_set_mess_callback(on_event, &g_state); }

void watch_set_source_count(int count) { g_state.source_count = count; }

int watch_job(void *job, const job_kind_ops &ops, const std::string &dst)
{
    g_state.ops = ops;
    g_state.pos.store(0);
    g_state.failed.store(false);
    g_state.finished.store(false);
    g_state.dropped.store(0);
    watch_prepare();

    struct sigaction sa = {};
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    struct sigaction previous = {};
    sigaction(SIGINT, &sa, &previous);

    const bool tty = isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    if (!ops.start(job)) {
        std::fprintf(stderr, "tarsa: the %s could not be started\n", ops.what);
        status = 1;
    } else {
        int last_shown = -1;
        for (;;) {
            if (g_interrupted) break;
            if (g_state.finished.load()) break;
            int pos = g_state.pos.load();
            double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            show_progress(pos, elapsed, tty, last_shown);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (!g_interrupted && !g_state.failed.load()) show_progress(100, elapsed, tty, last_shown);
        if (tty) std::fputc('\n', stderr);
        // The library's stop kills the tool and joins the job's threads.
        ops.stop(job);
        if (g_interrupted) {
            std::remove(dst.c_str());
            std::fprintf(stderr, "tarsa: %s stopped; the partial %s was removed\n", ops.what, dst.c_str());
            status = 130;
        } else if (g_state.failed.load()) {
            std::remove(dst.c_str());
            std::fprintf(stderr, "tarsa: the %s failed: the tool reported an error or wrote nothing for %s\n",
                         ops.what, dst.c_str());
            status = 1;
        }
    }
    ops.destroy(job);
    tarsa_sdk_set_mess_callback(nullptr, nullptr);
    sigaction(SIGINT, &previous, nullptr);
    g_interrupted = 0;
    return status;
}
