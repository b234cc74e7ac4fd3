#include "test_util.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>

#include "processes.h"
#include "tarsasdk.h"

namespace tt {

TempDir::TempDir()
{
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);  // TMPDIR where set
    for (unsigned n = std::random_device{}(); path_.empty() && !ec; n++) {
        const std::string dir = (base / ("tarsa-test-" + std::to_string(n))).string();
        if (std::filesystem::create_directory(dir, ec)) path_ = dir;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
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
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool file_exists(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string bin_dir()
{
    char buf[4096];
#ifdef _WIN32
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return ".\\";
    std::string exe(buf, n);
    return exe.substr(0, exe.find_last_of("\\/") + 1);
#else
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string exe(buf, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
#endif
}

// Where the tool layer finds them: TARSASDK_FFMPEG_DIR, else /usr/bin, or
// "stock" beside the tool layer on Windows.
static std::string stock_program(const std::string &name)
{
    const char *dir = std::getenv("TARSASDK_FFMPEG_DIR");
#ifdef _WIN32
    return (dir && *dir ? std::string(dir) : bin_dir() + "stock") + "\\" + name + ".exe";
#else
    return std::string(dir && *dir ? dir : "/usr/bin") + "/" + name;
#endif
}

std::string stock_ffmpeg() { return stock_program("ffmpeg"); }
std::string stock_ffprobe() { return stock_program("ffprobe"); }

std::vector<std::string> split_lines(const std::string &output)
{
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < output.size(); i++) {
        const char c = output[i];
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

bool ffmpeg_generate(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {stock_ffmpeg(), "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv).exit_code == 0;
}

bool make_media(const std::string &path, int seconds, const std::vector<std::string> &codec_args, int width,
                int height, bool with_audio)
{
    const std::string length = ":duration=" + std::to_string(seconds);
    std::vector<std::string> args = {"-f", "lavfi", "-i",
                                     "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                                         ":rate=25" + length};
    if (with_audio) args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000" + length});
    args.insert(args.end(), codec_args.begin(), codec_args.end());
    args.push_back(path);
    return ffmpeg_generate(args);
}

bool make_h264_aac(const std::string &path, int seconds, int width, int height)
{
    return make_media(path, seconds,
                      {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p", "-preset", "veryfast", "-g",
                       "25", "-c:a", "aac", "-b:a", "64k"},
                      width, height, true);
}

ScopedEnv::ScopedEnv(const char *name, const std::string &value) : name_(name)
{
    if (const char *old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

ScopedEnv::~ScopedEnv()
{
#ifdef _WIN32
    _putenv_s(name_.c_str(), had_ ? old_.c_str() : "");
#else
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
#endif
}

void sdk_startup()
{
    static std::once_flag once;
    std::call_once(once, [] { tarsa_sdk_startup(); });
}

}  // namespace tt
