#include "child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "line_breaks.h"
#include "output.h"

namespace ffshim {
namespace {

// How often the owner process is looked at while the child is busy or silent.
constexpr int kWatchMs = 100;
// Between the end of the child's output and its exit, which follow closely,
// where the system cannot wake the shim at the exit itself.
constexpr int kExitPollMs = 1;
constexpr int kExitPolls = 20;
constexpr int kLateExitPollMs = 10;  // after kExitPolls looks: a child that outlives its output

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    void reset()
    {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Child side, between fork and exec: async-signal-safe calls only. A failure
// is reported to the shim as the errno value on `report_fd`.
[[noreturn]] void exec_child(const char *path, char *const argv[], int out_fd, int report_fd, pid_t shim)
{
    int err = 0;
    // The child must not outlive the shim: whoever kills the shim by the pid
    // it printed ends the job. If the shim died before prctl took effect, the
    // parent is already someone else and the child must not run at all.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) err = errno;
    else if (getppid() != shim) _exit(kExitNotStarted);
    else if (dup2(out_fd, STDOUT_FILENO) < 0 || dup2(out_fd, STDERR_FILENO) < 0) err = errno;
    if (err == 0) {
        // The stock program installs its own handlers; it must start from
        // the defaults, not from what the shim's starter left behind.
        struct sigaction dfl;
        std::memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; sig++) sigaction(sig, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(path, argv);
        err = errno;
    }
    while (write(report_fd, &err, sizeof err) < 0 && errno == EINTR) {
    }
    _exit(kExitNotStarted);
}

void kill_and_reap(pid_t child)
{
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// A process that has exited but is not yet reaped still answers kill(pid, 0):
// its state in /proc tells.
bool process_gone(pid_t pid)
{
    if (kill(pid, 0) != 0) return errno == ESRCH;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    size_t close_paren = line.rfind(')');
    if (close_paren == std::string::npos || close_paren + 2 >= line.size()) return false;
    char state = line[close_paren + 2];
    return state == 'Z' || state == 'X';
}

int exit_status(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return kExitNotStarted;
}

bool owner_gone(pid_t owner_pid, pid_t child)
{
    if (owner_pid <= 0 || !process_gone(owner_pid)) return false;
    kill_and_reap(child);
    say("ffshim: process " + std::to_string(owner_pid) + " has ended, job stopped");
    return true;
}

// A descriptor that polls readable once the child has exited (-1 where the
// system has none): the wait after the end of output then ends at the exit,
// not at the next look.
int exit_watch(pid_t child)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, child, 0));
#else
    (void)child;
    return -1;
#endif
}

// Forwards the output until its end, then waits for the child's exit.
int forward_and_wait(pid_t child, Fd &out, pid_t owner_pid, const OutputObserver &observe)
{
    LineBreakFilter filter;
    Fd exited(exit_watch(child));
    int exit_polls = 0;
    char chunk[65536];
    for (;;) {
        if (out.get() >= 0) {
            struct pollfd p = {out.get(), POLLIN, 0};
            if (poll(&p, 1, kWatchMs) > 0) {
                ssize_t got = read(out.get(), chunk, sizeof chunk);
                if (got > 0) {
                    const std::string text = filter.feed(chunk, static_cast<size_t>(got));
                    if (!write_out(text)) {
                        kill_and_reap(child);
                        return kExitOutputLost;
                    }
                    if (observe) observe(text);
                } else if (got == 0 || errno != EINTR) {
                    out.reset();  // all writers closed: everything has arrived
                }
            }
        } else {
            int status = 0;
            pid_t done = waitpid(child, &status, WNOHANG);
            if (done == child) return exit_status(status);
            if (done < 0 && errno != EINTR) return kExitNotStarted;
            if (exited.get() >= 0) {
                struct pollfd p = {exited.get(), POLLIN, 0};
                poll(&p, 1, kWatchMs);
            } else {
                poll(nullptr, 0, exit_polls++ < kExitPolls ? kExitPollMs : kLateExitPollMs);
            }
        }
        if (owner_gone(owner_pid, child)) return kExitOwnerGone;
    }
}

}  // namespace

int run_stock(const std::string &program, const std::vector<std::string> &args, pid_t owner_pid,
              const std::function<void()> &alongside, const OutputObserver &observe)
{
    // Everything the child needs is prepared here: it may not allocate.
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    int out_pipe[2], report_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0) {
        say("ffshim: cannot start " + program + ": " + std::strerror(errno));
        return kExitNotStarted;
    }
    Fd out_rd(out_pipe[0]), out_wr(out_pipe[1]);
    if (pipe2(report_pipe, O_CLOEXEC) != 0) {
        say("ffshim: cannot start " + program + ": " + std::strerror(errno));
        return kExitNotStarted;
    }
    Fd report_rd(report_pipe[0]), report_wr(report_pipe[1]);

    pid_t shim = getpid();
    pid_t child = fork();
    if (child == 0) exec_child(argv[0], argv.data(), out_wr.get(), report_wr.get(), shim);
    if (child < 0) {
        say("ffshim: cannot start " + program + ": " + std::strerror(errno));
        return kExitNotStarted;
    }
    // Only the child may hold the write ends, so that their end means its end.
    out_wr.reset();
    report_wr.reset();

    // The report pipe closes on a successful exec; otherwise it carries errno.
    int exec_errno = 0;
    ssize_t got;
    while ((got = read(report_rd.get(), &exec_errno, sizeof exec_errno)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof exec_errno)) {
        kill_and_reap(child);
        say("ffshim: cannot start " + program + ": " + std::strerror(exec_errno));
        return kExitNotStarted;
    }
    if (alongside) alongside();
    return forward_and_wait(child, out_rd, owner_pid, observe);
}

}  // namespace ffshim
