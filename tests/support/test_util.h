// Shared helpers of the tests: temporary directories, running programs
// without a shell, generating sample media with the stock ffmpeg, and
// capturing the library's log.
#ifndef TARSA_TEST_UTIL_H
#define TARSA_TEST_UTIL_H

#include <mutex>
#include <string>
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

struct RunResult {
    int exit_code = -1;     // exit status, or 128 + signal
    std::string output;     // stdout and stderr together
};

// Runs argv[0] (a path) with the arguments, no shell; waits at most timeout_s
// seconds (then kills it and reports exit_code -1).
RunResult run_program(const std::vector<std::string> &argv, int timeout_s = 120);

// Directory of the running test program, with a trailing '/': the library's
// directory for the statically linked tests (tools and tf.ttf lie there).
std::string bin_dir();
// The stock programs the tool layer wraps.
std::string stock_ffmpeg();
std::string stock_ffprobe();

// Runs the stock ffmpeg with "-hide_banner -loglevel error -y" + args; true on exit 0.
bool ffmpeg_generate(const std::vector<std::string> &args);
// Sample media from lavfi sources (testsrc2 + sine), `seconds` long.
bool make_mp4_h264_aac(const std::string &path, int seconds, int width = 320, int height = 240);
bool make_media(const std::string &path, int seconds, const std::vector<std::string> &codec_args,
                int width = 320, int height = 240, bool with_audio = true);

bool write_file(const std::string &path, const std::string &content);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

// Installs the fake tool as <dir>/ffmpeg and <dir>/ffprobe; returns dir + "/".
std::string install_fake_tools(const std::string &dir);

// Collects the library's log lines while alive. Lines are stored without
// their date stamp.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    bool contains(const std::string &needle) const;       // any line contains it
    bool has_line(const std::string &exact) const;        // a line equals it
    int count(const std::string &needle) const;
    void clear();

private:
    static void sink(const char *line, void *ctx);
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// Length of the log's date stamp "YYYY-MM-DD HH:MM:SS.mmm ".
constexpr size_t kStampLen = 24;

}  // namespace tt

#endif
