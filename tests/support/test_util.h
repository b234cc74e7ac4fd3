// Shared helpers of the tests: temporary directories and files, sample media
// made with the stock ffmpeg, environment variables, library-wide variables and waiting.
#ifndef TARSA_TEST_UTIL_H
#define TARSA_TEST_UTIL_H

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tt {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool write_file(const std::string &path, const std::string &content);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

// Directory of the running test program, with a trailing '/': the library's
// directory for the statically linked tests (tools and tf.ttf lie there).
std::string bin_dir();
// The stock programs the tool layer wraps.
std::string stock_ffmpeg();
std::string stock_ffprobe();

// Runs the stock ffmpeg with "-hide_banner -loglevel error -y" + args; true on exit 0.
bool ffmpeg_generate(const std::vector<std::string> &args);
// Sample media from lavfi sources (testsrc2 + sine), `seconds` long.
bool make_media(const std::string &path, int seconds, const std::vector<std::string> &codec_args,
                int width = 320, int height = 240, bool with_audio = true);
// H.264 High with a key frame every second and AAC, in the container the name asks for.
bool make_h264_aac(const std::string &path, int seconds, int width = 320, int height = 240);

// Sets an environment variable (children inherit it) and puts the earlier
// state back. Set only while no job runs: the jobs' threads read it.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::string &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Copies of library-wide variables, written back when the guard goes, so that tests that set them
// directly leave the library as they found it.
class SavedVars {
public:
    template <typename... T>
    explicit SavedVars(T &...vars)
    {
        (saved_.emplace_back(&vars, std::string(reinterpret_cast<const char *>(&vars), sizeof vars)), ...);
    }
    ~SavedVars()
    {
        for (const auto &v : saved_) std::memcpy(v.first, v.second.data(), v.second.size());
    }
    SavedVars(const SavedVars &) = delete;
    SavedVars &operator=(const SavedVars &) = delete;

private:
    std::vector<std::pair<void *, std::string>> saved_;
};

// tarsa_sdk_startup once per process.
void sdk_startup();

inline double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Waits until `done` holds or timeout_ms passes; returns done().
template <typename F>
bool wait_until(F done, int timeout_ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace tt

#endif
