// The platform layer: child processes, pipes, threads, files, the process
// snapshot, name conversion, log output and the library's own directory.
// Everything above src/platform uses only this header; src/platform/posix
// holds the POSIX implementation (and src/platform/win32 the Windows one).
//
// Descriptors and process ids are plain ints. Functions that fail return -1
// (or say so below) and leave the system's error code in os_last_error().
#ifndef TARSA_SUPPORT_PLATFORM_H
#define TARSA_SUPPORT_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------- command lines
// One command line from an argument list, by the rules of the Microsoft C
// runtime (which its programs use to split the line back into the list):
// an argument that is empty or holds a blank, tab, line break or double
// quote stands between double quotes; inside them a double quote is written
// \" and the backslashes right before a quote or the closing quote are
// doubled; other arguments stand as they are. Arguments are separated by
// one blank. The Windows runner starts children with this line; logs show it
// on every platform.
std::string os_cmdline_quote(const std::vector<std::string> &args);

// ---------------------------------------------------------------- pipes
// An anonymous pipe, both ends close-on-exec (so a child started by another
// thread meanwhile does not inherit them). Neither end is 0, 1 or 2.
int os_pipe_create(int *read_fd, int *write_fd);
// Bytes that can be read at once without waiting; -1 when the pipe cannot
// be peeked.
int os_fd_bytes_waiting(int fd);

// os_fd_poll result bits.
enum {
    OS_POLL_IN = 1,   // data waiting
    OS_POLL_HUP = 2,  // every write end is closed
};
// Waits at most timeout_ms for data or hang-up. The OS_POLL_* bits, 0 on
// timeout, -1 when the descriptor cannot be polled (e.g. it is not open).
int os_fd_poll(int fd, int timeout_ms);
// read(2) without EINTR: bytes read, 0 at the end (hang-up, drained), -1.
long os_fd_read(int fd, void *buf, size_t size);
void os_fd_close(int fd);

// ---------------------------------------------------------------- processes
// Environment variable that every child carries: "<pid>:<start time>" of the
// process that started it, so that orphans can be recognised later.
#define OS_HOST_MARKER_NAME "TARSASDK_HOST"

// Starts args[0] directly by its path, with args as its argument list (no
// shell, no splitting, no PATH search; a relative path counts from cwd; on
// Windows a program name without an extension gets ".exe").
// The child gets /dev/null as standard input, out_fd as standard output and
// standard error, cwd as working directory, the parent's environment plus
// the host marker, an empty signal mask and default signal dispositions.
// Reports synchronously: 0 and *pid set when the program runs, otherwise -1
// (nothing started; os_last_error() says why).
int os_process_spawn(const std::vector<std::string> &args, const char *cwd, int out_fd, int *pid);

// os_process_exit_peek results.
enum {
    OS_PROC_RUNNING = 0,
    OS_PROC_EXIT_ZERO = 1,
    OS_PROC_EXIT_NONZERO = 2,  // any other exit status, or killed by a signal
};
// Has the child ended? Does not reap it, so its pid stays reserved until
// os_process_reap. -1 when the query fails (ECHILD: not a waitable child).
int os_process_exit_peek(int pid);
// Waits for the child's end and reaps it. 0, or -1 (e.g. not our child).
int os_process_reap(int pid);
// Kills the process with SIGKILL; nothing for pid < 1. Does not wait.
void os_process_kill(int pid);
// Start time of a process (field 22 of /proc/<pid>/stat, in clock ticks
// since boot); -1 when the process does not exist.
long long os_process_start_time(int pid);
// The host marker value of a process, "<pid>:<start time>", into out.
// 0, or -1 when the process does not exist or out is too small.
int os_host_marker(int pid, char *out, size_t size);

// ---------------------------------------------------------------- library
// The directory of the file that holds this library's code (the shared
// library, or the program it is linked into), with its trailing '/'.
// 0, or -1 when it cannot be found or does not fit out.
int os_module_dir(char *out, size_t size);

int os_last_error(void);

// Sets the variable in this process's environment (children started later
// inherit it); a null value removes it. 0, or -1.
int os_setenv(const char *name, const char *value);

// ---------------------------------------------------------------- threads
typedef uint64_t os_thread_t;
typedef int (*os_thread_fn)(void *arg);

// Runs fn(arg) on a new thread; `attr` is unused (0). Non-zero = started.
int os_thread_create(os_thread_t *thr, void *attr, os_thread_fn fn, void *arg);
// Waits for the thread's end. 0 on success.
int os_thread_join(os_thread_t *thr);
void os_sleep(int ms);
int os_getpid(void);

// ---------------------------------------------------------------- names
// Host file names are UTF-8: valid UTF-8 is copied unchanged; other input is
// taken as GB18030 and converted to UTF-8. `out` (out_size bytes) is
// zero-filled first. Result: length written, or 0 when the input is neither
// or the result does not fit (the caller then uses its input unchanged).
int os_code_convert(const char *to_set, const char *from_set, char *out, size_t out_size,
                    const char *in, size_t in_len);

// ---------------------------------------------------------------- files

struct os_file_status {
    int64_t size;   // bytes (64-bit: files of 2 GiB and more work)
    int64_t mtime;  // modification time, seconds
};

// 0 and the status, or the status call's non-zero result (errno set).
int os_stat(const char *path, os_file_status *st);
// The time as "Www Mmm dd hh:mm:ss yyyy\n", like ctime.
void os_ctime_text(int64_t t, char *out, size_t size);
int os_remove(const char *path);            // 0 or -1 (errno set)
int os_mkdir(const char *path);             // 0 or -1
int os_exists(const char *path);            // 1 or 0
// True when both names lead to the same file: the same device and file
// when both exist, otherwise the same name once resolved (links and "."
// or ".." followed as far as the path exists).
bool os_same_file(const char *a, const char *b);

// ---------------------------------------------------------------- process snapshot
// A snapshot of the machine's processes, for the clean-up of tools that a
// crashed host left behind.
struct os_process_entry {
    int pid;
    int ppid;
    std::string exe_name;     // executable file name without directory
    std::string host_marker;  // value of TARSASDK_HOST in its environment, or empty
};

// Fills `out` with every process that can be seen. 0, or -1 when the
// process table cannot be read.
int os_process_snapshot(std::vector<os_process_entry> &out);

// True when the process `pid` exists and started at `start_time` (clock
// ticks since boot); a reused pid has another start time.
bool os_process_is(int pid, unsigned long long start_time);

// ---------------------------------------------------------------- log output
// The log's destination: TARSASDK_LOG names a file to append to, "off" means
// none, unset or empty means standard error. A handle >= 0, or -1 for none.
int os_log_open(const char *dest);
// Writes the whole buffer (best effort).
void os_log_write(int handle, const char *data, size_t size);
// The local time now, for log stamps.
struct os_local_time {
    int year, month, day, hour, minute, second, millisecond;
};
void os_now_local(os_local_time *out);

#endif
