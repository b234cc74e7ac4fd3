// The child-process runner: one child per record, its standard output and
// standard error in one pipe, read back line by line.
//
// The parent closes its copy of the pipe's write end right after the start,
// so a hang-up of the pipe means that all output has arrived. Reading waits
// in poll() (woken at once by data or hang-up) and checks the child's exit
// whenever the pipe stays silent for a while.
#include "tool/runner.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/platform.h"
#include "core/rtkit.h"

namespace {

constexpr size_t k_line_buf_size = 8192;  // twice the longest line callers read
constexpr int k_silent_wait_ms = 100;     // poll timeout while the child runs silently
constexpr int k_grace_wait_ms = 10;       // poll timeout of one end grace step
constexpr int k_grace_polls = 50;         // grace steps after a 0 exit: counter 0..50
constexpr int k_query_failures = 20;      // failed exit queries in a row before giving up
constexpr size_t k_dir_size = 4096;

}  // namespace

struct pipe_info {
    // Two threads may read one child's output (a job's monitor and a host
    // asking for the tool's pid): each pipe_fgets takes whole lines under
    // this lock, so the readers share the output line by line.
    std::mutex read_lock;
    std::atomic<int32_t> eof;  // 1 once the child has ended and its output is drained
    int process;        // the child's process id
    int stdout_rd;      // read end of the pipe
    int32_t hung_up;    // every write end is closed and the pipe is read to its end
    size_t head;        // unread bytes are buf[head, tail)
    size_t tail;
    char buf[k_line_buf_size];
};

namespace {

// Copies the next piece of output into out when it is complete: a line with
// its break (CR LF becomes LF, as a text-mode stream gives it), or count - 1
// bytes of a longer line. `final`: nothing more will arrive, so what is
// buffered is complete. Returns true when out holds a piece.
bool take_piece(pipe_info *fp, char *out, int count, bool final)
{
    const size_t limit = static_cast<size_t>(count) - 1;
    const bool full = fp->head == 0 && fp->tail == k_line_buf_size;
    size_t n = 0;
    size_t i = fp->head;
    bool complete = false;
    while (n < limit && i < fp->tail) {
        char c = fp->buf[i];
        if (c == '\r') {
            if (i + 1 < fp->tail) {
                if (fp->buf[i + 1] == '\n') {
                    i++;
                    c = '\n';
                }
            } else if (!final && !full) {
                break;  // the LF of a CR LF may still be on its way
            }
        }
        out[n++] = c;
        i++;
        if (c == '\n') {
            complete = true;
            break;
        }
    }
    // A buffer filled without a line end (count larger than the buffer)
    // is handed out as it is rather than never.
    if (n == limit || ((final || full) && n > 0)) complete = true;
    if (!complete) return false;
    out[n] = '\0';
    fp->head = i;
    if (fp->head == fp->tail) fp->head = fp->tail = 0;
    return true;
}

// Reads what the pipe holds into the buffer: 1 data, 0 hang-up, -1 failure.
int fill(pipe_info *fp)
{
    if (fp->tail == k_line_buf_size && fp->head > 0) {
        std::memmove(fp->buf, fp->buf + fp->head, fp->tail - fp->head);
        fp->tail -= fp->head;
        fp->head = 0;
    }
    if (fp->tail == k_line_buf_size) return 1;  // full: take_piece hands it out
    long n = os_fd_read(fp->stdout_rd, fp->buf + fp->tail, k_line_buf_size - fp->tail);
    if (n < 0) return -1;
    if (n == 0) {
        fp->hung_up = 1;
        return 0;
    }
    fp->tail += static_cast<size_t>(n);
    return 1;
}

// All output has arrived and has been handed out. The child normally ends
// together with its output; one that closed it early but still runs is
// waited for, so that eof always means the child has ended.
char *end_after_hangup(pipe_info *fp)
{
    // The exiting child closes its files just before it becomes waitable,
    // so the first look again comes soon.
    int pause_ms = 1;
    for (;;) {
        int state = os_process_exit_peek(fp->process);
        if (state < 0) {
            // Not waitable any more (reaped elsewhere): it has ended.
            LOG_INFO("GetLastError() is %d", os_last_error());
            break;
        }
        if (state != OS_PROC_RUNNING) break;
        os_sleep(pause_ms);
        pause_ms = k_grace_wait_ms;
    }
    fp->eof = 1;
    return NULL;
}

// Keeps the pipe flowing (output discarded) until the child has ended: a
// child blocked writing into a full pipe would otherwise never end.
void drain_until_exit(pipe_info *fp)
{
    char sink[4096];
    while (!fp->hung_up) {
        if (os_process_exit_peek(fp->process) != OS_PROC_RUNNING) return;
        int ready = os_fd_poll(fp->stdout_rd, k_silent_wait_ms);
        if (ready < 0) return;
        if (ready & OS_POLL_IN) {
            long n = os_fd_read(fp->stdout_rd, sink, sizeof sink);
            if (n < 0) return;
            if (n == 0) fp->hung_up = 1;
        } else if (ready & OS_POLL_HUP) {
            fp->hung_up = 1;
        }
    }
}

}  // namespace

pipe_info *pipe_popen(const std::vector<std::string> &cmd, const char *mode)
{
    if (mode == NULL) {
        LOG_INFO("cmd == NULL || mode == NULL");
        return NULL;
    }
    if (strcmp(mode, "r") != 0) {
        LOG_INFO("strcmp(mode, \"r\") != 0");
        return NULL;
    }
    auto *fp = new (std::nothrow) pipe_info();
    if (fp == NULL) LOG_FATAL("pipe_info == NULL");

    int stdout_rd = -1;
    int stdout_wr = -1;
    if (os_pipe_create(&stdout_rd, &stdout_wr) != 0) {
        LOG_INFO("!CreatePipe(&stdout_rd, &stdout_wr, &sa, 0)");
        delete fp;
        return NULL;
    }
    // The child runs in the library's directory, next to the tools.
    char module_path[k_dir_size];
    int pid = -1;
    if (os_module_dir(module_path, sizeof module_path) != 0) {
        LOG_INFO("os_module_dir(module_path, sizeof module_path) != 0");
    } else if (os_process_spawn(cmd, module_path, stdout_wr, &pid) != 0) {
        LOG_INFO("CreateProcess fail");
    }
    // Only the child holds the write end from here on, so the pipe hangs up
    // once the child (and anything that inherited its output) is done.
    os_fd_close(stdout_wr);
    if (pid < 1) {
        os_fd_close(stdout_rd);
        delete fp;
        return NULL;
    }
    fp->eof = 0;
    fp->process = pid;
    fp->stdout_rd = stdout_rd;
    return fp;
}

char *pipe_fgets(char *buf, int count, pipe_info *fp)
{
    if (buf == NULL || count <= 0 || fp == NULL) {
        LOG_INFO("buf == NULL || count <= 0 || fp == NULL");
        return NULL;
    }
    std::lock_guard<std::mutex> reading(fp->read_lock);
    int exit_counter = 0;
    int failed_queries = 0;
    bool in_grace = false;
    for (;;) {
        if (take_piece(fp, buf, count, fp->hung_up != 0)) return buf;
        if (fp->hung_up) return end_after_hangup(fp);

        int ready = os_fd_poll(fp->stdout_rd, in_grace ? k_grace_wait_ms : k_silent_wait_ms);
        if (ready < 0) return NULL;
        if (ready & OS_POLL_IN) {
            if (fill(fp) < 0) return NULL;
            continue;
        }
        if (ready & OS_POLL_HUP) {
            fp->hung_up = 1;
            continue;
        }

        // The pipe stayed silent (a descendant of the child may hold it
        // open after the child's end): has the child ended?
        int state = os_process_exit_peek(fp->process);
        if (state < 0) {
            LOG_INFO("GetLastError() is %d", os_last_error());
            if (++failed_queries < k_query_failures) continue;
            state = OS_PROC_EXIT_NONZERO;  // cannot be asked: take it as ended
        } else {
            failed_queries = 0;
        }
        if (state == OS_PROC_RUNNING) continue;
        // Output written just before the end may have come in since the poll.
        int waiting = os_fd_bytes_waiting(fp->stdout_rd);
        if (waiting < 0) return NULL;
        if (waiting > 0) continue;
        // After a 0 exit, late output of descendants gets a grace period.
        if (state == OS_PROC_EXIT_ZERO && exit_counter++ <= k_grace_polls) {
            in_grace = true;
            continue;
        }
        // The child has ended: a last line without line break is still a line.
        if (take_piece(fp, buf, count, true)) return buf;
        fp->eof = 1;
        return NULL;
    }
}

int pipe_feof(pipe_info *fp)
{
    if (fp == NULL) {
        LOG_INFO("fp == NULL");
        return -1;
    }
    return fp->eof;
}

int pipe_pclose(pipe_info *fp)
{
    if (fp == NULL) {
        LOG_INFO("fp == NULL");
        return -1;
    }
    drain_until_exit(fp);
    os_process_reap(fp->process);
    os_fd_close(fp->stdout_rd);
    delete fp;
    return 0;
}

int pipe_exit_status(pipe_info *fp)
{
    if (fp == NULL) return -1;
    switch (os_process_exit_peek(fp->process)) {
    case OS_PROC_EXIT_ZERO: return 0;
    case OS_PROC_EXIT_NONZERO: return 1;
    default: return -1;
    }
}

int pipe_child_pid(pipe_info *fp)
{
    if (fp == NULL) return -1;
    return fp->process;
}

int get_buf_pid(char *buf)
{
    if (buf == NULL) {
        LOG_INFO("buf == NULL");
        return -1;
    }
    char *at = strstr(buf, "PID =");
    if (at == NULL) return -1;
    // "PID", "=", then the number; strtok_r as several monitors parse at once.
    char *save = NULL;
    char *token = strtok_r(at, " \t", &save);
    for (int i = 1; token != NULL && i < 3; i++) token = strtok_r(NULL, " \t", &save);
    if (token == NULL) return -1;
    // atoi's value; a number beyond int is no pid (cut to 32 bits it could
    // name another process).
    const long pid = strtol(token, NULL, 10);
    return pid < INT_MIN || pid > INT_MAX ? -1 : static_cast<int>(pid);
}

void kill_process(int32_t pid)
{
    if (pid < 1) return;
    os_process_kill(pid);
}
