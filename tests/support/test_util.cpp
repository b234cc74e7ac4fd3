#include "test_util.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/rtkit.h"

extern char **environ;

namespace tt {

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tarsa-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir()
{
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

RunResult run_program(const std::vector<std::string> &argv, int timeout_s)
{
    RunResult result;
    if (argv.empty()) return result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    bool timed_out = false;
    char chunk[4096];
    for (;;) {
        struct pollfd p = {fds[0], POLLIN, 0};
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0) {
            timed_out = true;
            break;
        }
        int n = poll(&p, 1, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        ssize_t got = read(fds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        result.output.append(chunk, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (timed_out) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timed_out) result.exit_code = -1;
    else if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.exit_code = 128 + WTERMSIG(status);
    return result;
}

std::string bin_dir()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string exe(buf, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

static std::string stock_dir()
{
    const char *dir = std::getenv("TARSASDK_FFMPEG_DIR");
    return std::string(dir && *dir ? dir : "/usr/bin");
}

std::string stock_ffmpeg() { return stock_dir() + "/ffmpeg"; }
std::string stock_ffprobe() { return stock_dir() + "/ffprobe"; }

bool ffmpeg_generate(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {stock_ffmpeg(), "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult r = run_program(argv);
    return r.exit_code == 0;
}

bool make_media(const std::string &path, int seconds, const std::vector<std::string> &codec_args,
                int width, int height, bool with_audio)
{
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::vector<std::string> args = {"-f", "lavfi", "-i",
                                     "testsrc2=size=" + size + ":rate=25:duration=" + std::to_string(seconds)};
    if (with_audio) {
        args.insert(args.end(), {"-f", "lavfi", "-i",
                                 "sine=frequency=440:sample_rate=48000:duration=" + std::to_string(seconds)});
    }
    args.insert(args.end(), codec_args.begin(), codec_args.end());
    args.push_back(path);
    return ffmpeg_generate(args);
}

bool make_mp4_h264_aac(const std::string &path, int seconds, int width, int height)
{
    return make_media(path, seconds,
                      {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p", "-preset", "veryfast",
                       "-g", "25", "-c:a", "aac", "-b:a", "64k"},
                      width, height, true);
}

bool write_file(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string install_fake_tools(const std::string &dir)
{
    std::string fake = bin_dir() + "fake_tool";
    for (const char *name : {"ffmpeg", "ffprobe"}) {
        std::error_code ec;
        std::filesystem::copy_file(fake, dir + "/" + name, std::filesystem::copy_options::overwrite_existing, ec);
        chmod((dir + "/" + name).c_str(), 0755);
    }
    return dir + "/";
}

LogCapture::LogCapture() { log_set_sink(&LogCapture::sink, this); }
LogCapture::~LogCapture() { log_set_sink(nullptr, nullptr); }

void LogCapture::sink(const char *line, void *ctx)
{
    auto *self = static_cast<LogCapture *>(ctx);
    std::lock_guard<std::mutex> guard(self->lock_);
    std::string text(line);
    self->lines_.push_back(text.size() >= kStampLen ? text.substr(kStampLen) : text);
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

bool LogCapture::contains(const std::string &needle) const { return count(needle) > 0; }

bool LogCapture::has_line(const std::string &exact) const
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto &l : lines_)
        if (l == exact) return true;
    return false;
}

int LogCapture::count(const std::string &needle) const
{
    std::lock_guard<std::mutex> guard(lock_);
    int n = 0;
    for (const auto &l : lines_)
        if (l.find(needle) != std::string::npos) n++;
    return n;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
}

}  // namespace tt
