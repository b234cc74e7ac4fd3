// Child processes on POSIX: start without a shell, exit query without
// reaping, reaping, killing.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/platform.h"

extern char **environ;

namespace {

const char k_marker_prefix[] = OS_HOST_MARKER_NAME "=";

// The parent's environment without any marker it inherited itself, plus
// our own marker. `storage` keeps the marker text alive. Without /proc the
// marker is left out: such a child is never taken for an orphan, which is
// the safe side.
void child_environment(std::vector<char *> *envp, std::string *storage)
{
    for (char **e = environ; e && *e; e++) {
        if (std::strncmp(*e, k_marker_prefix, sizeof k_marker_prefix - 1) != 0) envp->push_back(*e);
    }
    char value[64];
    if (os_host_marker(static_cast<int>(getpid()), value, sizeof value) == 0) {
        *storage = std::string(k_marker_prefix) + value;
        envp->push_back(&(*storage)[0]);
    }
    envp->push_back(nullptr);
}

// RAII for the spawn attribute records.
struct spawn_setup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    spawn_setup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~spawn_setup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    spawn_setup(const spawn_setup &) = delete;
    spawn_setup &operator=(const spawn_setup &) = delete;
};

int spawn_args(const std::vector<std::string> &args, const char *cwd, int out_fd, int *pid)
{
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    std::string marker;
    child_environment(&envp, &marker);

    spawn_setup s;
    // out_fd is close-on-exec (and above 2); dup2 gives the child copies
    // without that flag. The read end stays close-on-exec and vanishes.
    int rc = posix_spawn_file_actions_adddup2(&s.actions, out_fd, STDOUT_FILENO);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&s.actions, out_fd, STDERR_FILENO);
    if (rc == 0) rc = posix_spawn_file_actions_addopen(&s.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0 && cwd && *cwd) rc = posix_spawn_file_actions_addchdir_np(&s.actions, cwd);
    if (rc != 0) return rc;

    // The child starts with the spawning thread's signal mask and with
    // whatever the host ignores; a tool must not inherit either, or a later
    // kill or the tool's own SIGINT/SIGPIPE handling would not act. The
    // reset happens in the child before exec, so no signal can reach the
    // tool in between with the host's settings.
    sigset_t empty, all;
    sigemptyset(&empty);
    sigfillset(&all);
    rc = posix_spawnattr_setsigmask(&s.attr, &empty);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&s.attr, &all);
    if (rc == 0) rc = posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (rc != 0) return rc;

    // glibc's posix_spawn waits until the child has exec'ed, so a program
    // that cannot run is reported here and no child is left behind.
    pid_t child = -1;
    rc = posix_spawn(&child, argv[0], &s.actions, &s.attr, argv.data(), envp.data());
    if (rc == 0) *pid = static_cast<int>(child);
    return rc;
}

}  // namespace

int os_process_spawn(const std::vector<std::string> &args, const char *cwd, int out_fd, int *pid)
{
    if (!pid || out_fd < 0) {
        errno = EINVAL;
        return -1;
    }
    int rc;
    try {
        if (args.empty() || args[0].empty()) rc = ENOENT;
        else rc = spawn_args(args, cwd, out_fd, pid);
    } catch (const std::bad_alloc &) {
        rc = ENOMEM;
    }
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return 0;
}

int os_process_exit_peek(int pid)
{
    if (pid < 1) {
        errno = ECHILD;
        return -1;
    }
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    int rc;
    while ((rc = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT)) < 0 &&
           errno == EINTR) {
    }
    if (rc < 0) return -1;
    if (info.si_pid == 0) return OS_PROC_RUNNING;
    if (info.si_code == CLD_EXITED && info.si_status == 0) return OS_PROC_EXIT_ZERO;
    return OS_PROC_EXIT_NONZERO;
}

int os_process_reap(int pid)
{
    if (pid < 1) {
        errno = ECHILD;
        return -1;
    }
    int status = 0;
    pid_t rc;
    while ((rc = waitpid(static_cast<pid_t>(pid), &status, 0)) < 0 && errno == EINTR) {
    }
    return rc < 0 ? -1 : 0;
}

void os_process_kill(int pid)
{
    // 0 and negative ids name process groups (-1: every process we may
    // signal); they never stand for a single child.
    if (pid < 1) return;
    kill(static_cast<pid_t>(pid), SIGKILL);
}
