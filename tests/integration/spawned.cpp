#include "spawned.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

extern char **environ;

namespace tt {
namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::vector<std::string> merged_env(const std::vector<std::string> &extra)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; e++) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto &x : extra) replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char *> c_strings(const std::vector<std::string> &v)
{
    std::vector<char *> out;
    for (const auto &s : v) out.push_back(const_cast<char *>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

}  // namespace

Spawned::Spawned(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &cwd)
{
    int fds[2];
    if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<std::string> env_all = merged_env(env);
    std::vector<char *> args = c_strings(argv), envp = c_strings(env_all);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
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
    int n = poll(&p, 1, timeout_ms);
    if (n <= 0) return n < 0 && errno == EINTR;
    char chunk[4096];
    ssize_t got = read(out_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) return true;
    if (got <= 0) {
        close(out_);
        out_ = -1;
        return false;
    }
    pending_.append(chunk, static_cast<size_t>(got));
    return true;
}

bool Spawned::read_line(std::string &line, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            return true;
        }
        if (!fill(ms_left(deadline))) return false;
    }
}

std::string Spawned::read_rest(int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (fill(ms_left(deadline))) {
    }
    std::string rest;
    rest.swap(pending_);
    return rest;
}

int Spawned::wait(int timeout_ms)
{
    if (pid_ <= 0) return -1;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!reaped_) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (done < 0 && errno != EINTR) {
            return -1;
        } else if (ms_left(deadline) == 0) {
            return -1;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return status_;
}

Finished run_spawned(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                     const std::string &cwd, int timeout_ms)
{
    Spawned p(argv, env, cwd);
    Finished f;
    f.output = p.read_rest(timeout_ms);
    f.exit_code = p.wait(1000);
    return f;
}

std::vector<std::string> split_lines(const std::string &output)
{
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < output.size(); i++) {
        char c = output[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < output.size() && output[i + 1] == '\n') i++;
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

bool process_running(pid_t pid)
{
    if (pid <= 0 || kill(pid, 0) != 0) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] != 'Z' &&
           line[paren + 2] != 'X';
}

pid_t first_child(pid_t pid)
{
    std::string p = std::to_string(pid);
    std::ifstream children("/proc/" + p + "/task/" + p + "/children");
    long child = -1;
    if (!(children >> child)) return -1;
    return static_cast<pid_t>(child);
}

std::string process_exe(pid_t pid)
{
    char buf[4096];
    ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace tt
