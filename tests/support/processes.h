// Programs a test starts itself (without a shell), and the children, threads and
// descriptors this test process holds, for checks that a job leaves nothing behind.
#ifndef TARSA_TEST_PROCESSES_H
#define TARSA_TEST_PROCESSES_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace tt {

// A program whose pid the test knows and whose output it reads as it comes.
class Spawned {
public:
    // Starts argv[0], input /dev/null, output and error into one pipe; `env` entries
    // ("NAME=value") replace or extend the environment; `cwd` empty: the test's own.
    // On POSIX, an `error_fd` of 0 or more (a terminal, say) takes standard error instead.
    Spawned(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
            const std::string &cwd = "", int error_fd = -1);
    // Kills (SIGKILL) and reaps the process if it is still unreaped.
    ~Spawned();
    Spawned(const Spawned &) = delete;
    Spawned &operator=(const Spawned &) = delete;

    pid_t pid() const { return pid_; }
    // The next line without its line break; false at the end of output or after timeout_ms.
    bool read_line(std::string &line, int timeout_ms);
    // Everything not read yet, until the end of output (or timeout_ms).
    std::string read_rest(int timeout_ms);
    // Exit status (128 + signal when killed), or -1 when not ended within timeout_ms. Reaps it.
    int wait(int timeout_ms);

private:
    bool fill(int timeout_ms);  // reads one chunk; false at end or timeout

    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
    int status_ = -1;
    std::string pending_;
};

struct Finished {
    int exit_code = -1;  // exit status, 128 + signal, or -1 when still running at the timeout
    std::string output;  // standard output and error together
};
// Runs a program to its end (as Spawned); killed after timeout_ms.
Finished run(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
             const std::string &cwd = "", int timeout_ms = 120000);

// The output split into lines at LF, CR and CR LF (the last one may lack a break).
std::vector<std::string> split_lines(const std::string &output);

// Kills a process this test started (SIGKILL, TerminateProcess).
void kill_process(pid_t pid);

// True while the process exists and has not exited (a zombie has exited).
bool process_running(pid_t pid);
bool ends_within(pid_t pid, int ms);
// The path of the program a process runs, or "".
std::string process_exe(pid_t pid);
// Field 22 of /proc/<pid>/stat (start time in clock ticks), read independently of the library; -1: none.
long long start_time_of(pid_t pid);
// Waits until the first child of `parent` runs `program`; its pid or -1.
pid_t child_running(pid_t parent, const std::string &program, int timeout_ms = 5000);

// Children of this process (zombies included: a child counts until it is reaped).
std::vector<int> child_pids();
int thread_count();
std::vector<int> open_fds();

}  // namespace tt

#endif
