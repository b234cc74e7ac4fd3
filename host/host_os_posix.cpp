// The host program's system layer on POSIX systems.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host_os.h"

extern char **environ;

namespace {

volatile sig_atomic_t g_stop_request = 0;

void on_stop_signal(int sig)
{
    const int request = sig == SIGINT ? HOST_STOP_INTERRUPT : sig == SIGTERM ? HOST_STOP_TERMINATE : HOST_STOP_HANGUP;
    if (g_stop_request == 0) g_stop_request = request;
}

std::string temp_folder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

std::string folder_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The resolved name: symlinks, "." and ".." followed; for a file that does
// not exist yet, its folder resolved and its own name appended.
std::string resolved(const std::string &path)
{
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf)) return buf;
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && realpath(folder_of(path).c_str(), buf)) return std::string(buf) + path.substr(slash);
    return path;
}

}  // namespace

std::vector<std::string> host_arguments(int argc, char **argv) { return {argv + (argc > 0 ? 1 : 0), argv + argc}; }

// The job loop polls the request and stops the job through the library, so
// SIGINT, SIGTERM and SIGHUP all clean up the same way.
void host_watch_stop_requests()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

int host_stop_request() { return g_stop_request; }

const char *host_stop_name(int request)
{
    return request == HOST_STOP_INTERRUPT   ? "SIGINT"
           : request == HOST_STOP_TERMINATE ? "SIGTERM"
           : request == HOST_STOP_HANGUP    ? "SIGHUP"
                                            : "signal";
}

bool host_stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }

int host_terminal_columns()
{
    struct winsize ws;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

bool host_is_separator(char c) { return c == '/'; }

std::string host_absolute_path(const std::string &path)
{
    if (path.empty() || path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return path;
    std::string p = path;
    while (p.compare(0, 2, "./") == 0) p.erase(0, 2);
    return std::string(cwd) + "/" + p;
}

host_file_kind host_file_type(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return HOST_NOTHING;
    return S_ISDIR(st.st_mode) ? HOST_FOLDER : HOST_FILE;
}

bool host_can_read(const std::string &path) { return access(path.c_str(), R_OK) == 0; }
bool host_can_write_folder(const std::string &path) { return access(path.c_str(), W_OK) == 0; }

int64_t host_file_size(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool host_same_file(const std::string &a, const std::string &b)
{
    if (resolved(a) == resolved(b)) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool host_create_new_file(const std::string &path, std::string *why)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    close(fd);
    return true;
}

bool host_rename(const std::string &from, const std::string &to, bool replace, std::string *why)
{
    if (replace) {
        if (rename(from.c_str(), to.c_str()) == 0) return true;
        *why = std::strerror(errno);
        return false;
    }
    // link() never replaces: a file that appeared meanwhile stays.
    // Folders without hard links: a rename after a last look.
    struct stat st;
    if (link(from.c_str(), to.c_str()) != 0 &&
        (errno == EEXIST || lstat(to.c_str(), &st) == 0 || rename(from.c_str(), to.c_str()) != 0)) {
        *why = std::strerror(errno == 0 ? EEXIST : errno);
        return false;
    }
    unlink(from.c_str());
    return true;
}

void host_remove_file(const std::string &path) { unlink(path.c_str()); }

int host_pid() { return static_cast<int>(getpid()); }

std::string host_make_temp_file(const std::string &stem)
{
    std::string pattern = temp_folder() + "/" + stem + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return "";
    close(fd);
    return name.data();
}

std::string host_make_temp_folder(const std::string &stem)
{
    std::string pattern = temp_folder() + "/" + stem + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) ? name.data() : "";
}

void host_remove_folder(const std::string &path) { rmdir(path.c_str()); }

void host_setenv(const char *name, const char *value) { setenv(name, value, 1); }

std::string host_sample_maker() { return "/usr/bin/ffmpeg"; }

int host_run_quiet(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
