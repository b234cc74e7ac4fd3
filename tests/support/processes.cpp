#include "processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "test_util.h"

extern char **environ;

namespace tt {
namespace {

std::vector<char *> c_strings(const std::vector<std::string> &v)
{
    std::vector<char *> out;
    for (const auto &s : v) out.push_back(const_cast<char *>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

// The fields after the command name of /proc/<pid>/stat ("S 123 ..."), or "".
std::string stat_fields(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return "";
    const size_t paren = line.rfind(')');
    return paren == std::string::npos || paren + 2 > line.size() ? "" : line.substr(paren + 2);
}

// Numeric names in a /proc directory; for /proc/self/fd without the one that lists it.
std::vector<int> numbered_entries(const char *path, bool fds = false)
{
    std::vector<int> out;
    DIR *dir = opendir(path);
    if (!dir) return out;
    const int own = dirfd(dir);
    while (dirent *e = readdir(dir))
        if (e->d_name[0] >= '0' && e->d_name[0] <= '9' && (!fds || std::atoi(e->d_name) != own))
            out.push_back(std::atoi(e->d_name));
    closedir(dir);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

Spawned::Spawned(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &cwd,
                 int error_fd)
{
    int fds[2];
    if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, error_fd >= 0 ? error_fd : fds[1], 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<std::string> env_all;
    for (char **e = environ; *e; e++) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(env.begin(), env.end(), [&](const std::string &x) { return x.rfind(name, 0) == 0; }))
            env_all.push_back(entry);
    }
    env_all.insert(env_all.end(), env.begin(), env.end());
    std::vector<char *> args = c_strings(argv), envp = c_strings(env_all);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return;
    }
    pid_ = pid;
    out_ = fds[0];
}

Spawned::~Spawned()
{
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (out_ >= 0) close(out_);
}

bool Spawned::fill(int timeout_ms)
{
    if (out_ < 0) return false;
    struct pollfd p = {out_, POLLIN, 0};
    const int n = poll(&p, 1, timeout_ms);
    if (n <= 0) return n < 0 && errno == EINTR;
    char chunk[4096];
    const ssize_t got = read(out_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) return true;
    if (got <= 0) {
        close(out_);
        out_ = -1;
        return false;
    }
    pending_.append(chunk, static_cast<size_t>(got));
    return true;
}

int Spawned::wait(int timeout_ms)
{
    int status = 0;
    if (pid_ > 0 && !reaped_ && wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout_ms)) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return reaped_ ? status_ : -1;
}

void kill_process(pid_t pid)
{
    if (pid > 0) kill(pid, SIGKILL);
}

bool process_running(pid_t pid)
{
    if (pid <= 0 || kill(pid, 0) != 0) return false;
    const std::string fields = stat_fields(pid);
    return !fields.empty() && fields[0] != 'Z' && fields[0] != 'X';
}

std::string process_exe(pid_t pid)
{
    char buf[4096];
    const ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

long long start_time_of(pid_t pid)
{
    long long start = -1;
    const std::string fields = stat_fields(pid);
    // Fields 3 (state) to 21 come first.
    return std::sscanf(fields.c_str(),
                       "%*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %lld", &start) == 1
               ? start
               : -1;
}

pid_t child_running(pid_t parent, const std::string &program, int timeout_ms)
{
    const std::string p = std::to_string(parent), children = "/proc/" + p + "/task/" + p + "/children";
    long child = -1;  // the first one listed
    const bool found = wait_until([&] { return std::ifstream(children) >> child && process_exe(child) == program; },
                                  timeout_ms);
    return found ? static_cast<pid_t>(child) : -1;
}

std::vector<int> child_pids()
{
    std::vector<int> out;
    for (int pid : numbered_entries("/proc")) {
        int ppid = 0;
        if (std::sscanf(stat_fields(pid).c_str(), "%*c %d", &ppid) == 1 && ppid == getpid()) out.push_back(pid);
    }
    return out;
}

int thread_count() { return static_cast<int>(numbered_entries("/proc/self/task").size()); }

std::vector<int> open_fds() { return numbered_entries("/proc/self/fd", true); }

}  // namespace tt
