// The platform layer for child processes, pipes and the library's own
// directory. Portable code (the runner, the process control) uses only this
// header; src/support/posix holds the only POSIX process calls.
//
// Descriptors and process ids are plain ints. Functions that fail return -1
// (or say so below) and leave the system's error code in os_last_error().
#ifndef TARSA_SUPPORT_PLATFORM_H
#define TARSA_SUPPORT_PLATFORM_H

#include <cstddef>
#include <string>
#include <vector>

// ---------------------------------------------------------------- command lines
// Splits a command line into arguments by the Windows C runtime rules: blanks
// (space, tab) separate, runs of blanks count as one; a double quote toggles
// quoting anywhere in a token and is removed; 2n backslashes before a quote
// give n backslashes and the quote acts, 2n+1 give n backslashes and a
// literal quote; other backslashes are literal; "" is an empty argument.
// Replaces *args. false only when memory runs out.
bool os_cmdline_split(const char *cmdline, std::vector<std::string> *args);

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

// Starts the first argument of cmdline (split as above) directly by its path,
// without a shell and without a PATH search (a relative path counts from
// cwd). The child gets /dev/null as standard input, out_fd as standard
// output and standard error, cwd as working directory, the parent's
// environment plus the host marker, an empty signal mask and default
// signal dispositions. Reports synchronously: 0 and *pid set when the
// program runs, otherwise -1 (nothing started; os_last_error() says why).
int os_process_spawn(const char *cmdline, const char *cwd, int out_fd, int *pid);

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

#endif
