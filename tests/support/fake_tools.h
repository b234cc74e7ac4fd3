// The scriptable fake tool (tests/fake_tool) in place of the library's
// tools, and the lines it plays.
#ifndef TARSA_TEST_FAKE_TOOLS_H
#define TARSA_TEST_FAKE_TOOLS_H

#include <string>
#include <vector>

#include "test_util.h"

struct pipe_info;

namespace tt {

// Copies the fake tool to `path` as an executable; returns path, or "" on failure.
std::string copy_fake_tool(const std::string &path);
// Copies the fake tool into `dir` as "ffmpeg" and "ffprobe"; returns dir + "/".
std::string install_fake_tools(const std::string &dir);

// The fake tool as the library's ffmpeg and ffprobe until the end of the
// scope: ffmpeg plays script(), ffprobe plays probe(). Made while no job runs.
class FakeTools {
public:
    FakeTools();  // ffmpeg exits 0; the probe reports a 10 s flv source
    ~FakeTools();
    FakeTools(const FakeTools &) = delete;
    FakeTools &operator=(const FakeTools &) = delete;

    // Replaced as a whole, so that a tool starting meanwhile reads the old
    // script or the new one, never half of one.
    void script(const std::string &text);
    void probe(const std::string &text);
    // The probe reports 10 s of H.264 High and AAC in `format`, then plays `then`.
    void probe_media(const std::string &format = "flv", const std::string &then = "exit 0\n");

private:
    TempDir dir_;
    ScopedEnv script_env_;
    ScopedEnv probe_env_;
};

// A status line of the tool at media time `seconds`.
std::string status_line(int seconds);

// The fake tool with an inline script: <fake_tool> --run line line ...
std::vector<std::string> fake_cmd(const std::vector<std::string> &script);
// Every piece pipe_fgets gives until it returns NULL.
std::vector<std::string> read_all(pipe_info *fp, int count = 4096);

}  // namespace tt

#endif
