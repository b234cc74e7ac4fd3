#include "test_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "processes.h"
#include "tarsasdk.h"

namespace tt {

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tarsa-test-XXXXXX";
    if (mkdtemp(&tmpl[0])) path_ = tmpl;
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
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> merge_temporaries(const std::string &dir)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("merge_tmp_file-", 0) == 0) out.push_back(name);
    }
    return out;
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

int moov_before_mdat(const std::string &path)
{
    const std::string data = read_file(path);
    auto byte = [&](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(data[i])); };
    int moov = -1, mdat = -1;
    for (size_t at = 0, n = 0; at + 8 <= data.size(); n++) {
        uint64_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
        const std::string type = data.substr(at + 4, 4);
        if (type == "moov" && moov < 0) moov = static_cast<int>(n);
        if (type == "mdat" && mdat < 0) mdat = static_cast<int>(n);
        if (size == 1 && at + 16 <= data.size()) {
            size = 0;
            for (size_t i = 0; i < 8; i++) size = size << 8 | byte(at + 8 + i);
        } else if (size == 0) {
            size = data.size() - at;
        }
        if (size < 8) break;
        at += size;
    }
    return moov < 0 || mdat < 0 ? -1 : moov < mdat ? 1 : 0;
}

ScopedEnv::ScopedEnv(const char *name, const std::string &value) : name_(name)
{
    if (const char *old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
}

void sdk_startup()
{
    static std::once_flag once;
    std::call_once(once, [] { tarsa_sdk_startup(); });
}

}  // namespace tt
