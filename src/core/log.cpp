// The log: one line per message, "YYYY-MM-DD HH:MM:SS.mmm " first. Lines
// are assembled under one lock and written with a single write, so lines of
// concurrent threads never interleave.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "core/rtkit.h"

namespace {

std::mutex g_log_lock;
std::string g_line;          // the line being assembled, guarded by g_log_lock
log_sink_fn g_sink = nullptr;
void *g_sink_ctx = nullptr;

// -2: not decided yet, -1: off, otherwise the descriptor to write to.
int g_log_fd = -2;

int log_fd()
{
    if (g_log_fd == -2) g_log_fd = os_log_open(std::getenv("TARSASDK_LOG"));
    return g_log_fd;
}

void append_v(const char *fmt, va_list ap)
{
    char small[1024];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        g_line.append(small, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&big[0], big.size(), fmt, ap);
    big.resize(static_cast<size_t>(n));
    g_line += big;
}

void append_date()
{
    os_local_time now;
    os_now_local(&now);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", now.year, now.month, now.day, now.hour,
                  now.minute, now.second, now.millisecond);
    g_line += stamp;
}

// Writes the assembled line; the caller holds g_log_lock.
void emit_line()
{
    // A message that carries its own line break (a tool's output line, a
    // ctime text) ends the line with it; no second break is added.
    while (!g_line.empty() && (g_line.back() == '\n' || g_line.back() == '\r')) g_line.pop_back();
    if (g_sink) g_sink(g_line.c_str(), g_sink_ctx);
    int fd = log_fd();
    if (fd >= 0) {
        g_line += '\n';
        os_log_write(fd, g_line.data(), g_line.size());
    }
    g_line.clear();
}

}  // namespace

void log_buf_lock(void)
{
    g_log_lock.lock();
    g_line.clear();
}

void log_buf_date(void) { append_date(); }

void log_buf_msg(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    append_v(fmt, ap);
    va_end(ap);
}

void log_buf_msg_unlock(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    append_v(fmt, ap);
    va_end(ap);
    emit_line();
    g_log_lock.unlock();
}

void log_buf_quit_unlock(const char *msg)
{
    g_line += msg ? msg : "";
    emit_line();
    g_log_lock.unlock();
    std::abort();
}

void err_buf_quit_unlock(const char *msg) { log_buf_quit_unlock(msg); }

void log_msg(const char *fmt, ...)
{
    std::lock_guard<std::mutex> guard(g_log_lock);
    g_line.clear();
    append_date();
    va_list ap;
    va_start(ap, fmt);
    append_v(fmt, ap);
    va_end(ap);
    emit_line();
}

void log_debug_ex(int level, const char *file, int line, const char *fmt, ...)
{
    std::lock_guard<std::mutex> guard(g_log_lock);
    g_line.clear();
    append_date();
    char head[128];
    std::snprintf(head, sizeof head, "[debug%d] file: %s line: %d ", level, file ? file : "", line);
    g_line += head;
    va_list ap;
    va_start(ap, fmt);
    append_v(fmt, ap);
    va_end(ap);
    emit_line();
}

void log_set_sink(log_sink_fn sink, void *ctx)
{
    std::lock_guard<std::mutex> guard(g_log_lock);
    g_sink = sink;
    g_sink_ctx = ctx;
}
