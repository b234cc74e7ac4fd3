// A program started by a test without a shell, whose pid the test knows and
// whose output it reads as it comes: for checks that need the process while
// it runs (its children, its timing, signals).
#ifndef TARSA_TEST_SPAWNED_H
#define TARSA_TEST_SPAWNED_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace tt {

class Spawned {
public:
    // Starts argv[0] with standard input /dev/null and standard output and
    // error into one pipe. `env` entries ("NAME=value") are added to the
    // test's environment, replacing entries of the same name; `cwd` empty
    // keeps the test's working directory.
    Spawned(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
            const std::string &cwd = "");
    // Kills (SIGKILL) and reaps the process if it is still unreaped.
    ~Spawned();
    Spawned(const Spawned &) = delete;
    Spawned &operator=(const Spawned &) = delete;

    pid_t pid() const { return pid_; }
    // The next line without its line break; false at the end of output or
    // when none arrives within timeout_ms.
    bool read_line(std::string &line, int timeout_ms);
    // Everything not read yet, until the end of output (or timeout_ms).
    std::string read_rest(int timeout_ms);
    // Exit status (128 + signal when killed), or -1 when the process has not
    // ended within timeout_ms. Reaps it.
    int wait(int timeout_ms);

private:
    bool fill(int timeout_ms);  // reads one chunk; false at end or timeout

    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
    int status_ = -1;
    std::string pending_;
};

// Runs a program to its end (as Spawned) and returns its exit status and output.
struct Finished {
    int exit_code = -1;
    std::string output;
};
Finished run_spawned(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                     const std::string &cwd = "", int timeout_ms = 60000);

// The output split into lines at LF, CR and CR LF (the last one may lack a break).
std::vector<std::string> split_lines(const std::string &output);

// True while the process exists and has not exited (a zombie has exited).
bool process_running(pid_t pid);
// The first child of `pid` (from /proc), or -1.
pid_t first_child(pid_t pid);
// The path of the program a process runs, or "".
std::string process_exe(pid_t pid);

}  // namespace tt

#endif
