// The tool layer with the real stock programs: the "PID =" line, status lines
// as lines of their own, exit statuses, the child's lifetime, "-ppid", and the
// mappings of what the stock build lacks.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "spawned.h"
#include "test_util.h"

namespace {

using Args = std::vector<std::string>;
using tt::split_lines;

std::string tool(const std::string &name) { return tt::bin_dir() + name; }

Args with(const std::string &program, const Args &args)
{
    Args argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

bool has_line(const std::string &output, const std::string &exact)
{
    auto lines = split_lines(output);
    return std::find(lines.begin(), lines.end(), exact) != lines.end();
}

std::string last_line(const std::string &output)
{
    auto lines = split_lines(output);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines.empty() ? "" : lines.back();
}

// An encode that runs until killed (30 s of input read in real time).
const Args kLongEncode = {"-hide_banner", "-re", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=30",
                          "-f", "null", "-"};

// Waits until the tool's child runs the stock program; its pid or -1.
pid_t stock_child_of(pid_t shim, const std::string &stock)
{
    for (int i = 0; i < 200; i++) {
        pid_t child = tt::first_child(shim);
        if (child > 0 && tt::process_exe(child) == stock) return child;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool ends_within(pid_t pid, int ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (tt::process_running(pid)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(ToolLayer, FirstLineIsTheToolsOwnPid)
{
    for (const std::string name : {"ffmpeg", "ffprobe"}) {
        SCOPED_TRACE(name);
        tt::Spawned shim({tool(name), "-version"});
        ASSERT_GT(shim.pid(), 0);
        std::string first, second;
        ASSERT_TRUE(shim.read_line(first, 10000));
        EXPECT_EQ(first, "PID = " + std::to_string(shim.pid()));
        ASSERT_TRUE(shim.read_line(second, 10000));
        EXPECT_EQ(second.rfind(name + " version ", 0), 0u) << second;
        shim.read_rest(10000);
        EXPECT_EQ(shim.wait(5000), 0);
    }
}

TEST(ToolLayer, StatusLinesArriveAsLinesOfTheirOwn)
{
    tt::TempDir dir;
    Args encode = {"-hide_banner", "-stats_period", "0.2", "-re", "-f", "lavfi", "-i",
                   "testsrc2=size=320x240:rate=25:duration=2", "-c:v", "libx264", "-preset", "ultrafast", "-y",
                   dir.file("out.mp4")};
    // The stock program ends its status lines with a lone CR.
    Args quick = encode;
    quick.erase(std::find(quick.begin(), quick.end(), "-re"));
    tt::RunResult stock = tt::run_program(with(tt::stock_ffmpeg(), quick));
    ASSERT_EQ(stock.exit_code, 0) << stock.output;
    ASSERT_NE(stock.output.find("\r"), std::string::npos);

    tt::RunResult r = tt::run_program(with(tool("ffmpeg"), encode));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(r.output.find('\r'), std::string::npos);
    int status_lines = 0;
    for (const std::string &line : split_lines(r.output)) {
        if (line.find("time=") == std::string::npos) continue;
        status_lines++;
        // One status item per line: a second "frame=" would mean two glued together.
        EXPECT_EQ(line.find("frame=", line.find("frame=") + 1), std::string::npos) << line;
    }
    EXPECT_GT(status_lines, 1) << r.output;
}

struct ExitCase {
    const char *name;
    const char *program;
    Args args;
    bool succeeds;
};

class ToolExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ToolExit, ForwardsTheStockExitStatusAndLastLine)
{
    const ExitCase &c = GetParam();
    std::string stock_dir = tt::stock_ffmpeg().substr(0, tt::stock_ffmpeg().rfind('/') + 1);
    tt::RunResult stock = tt::run_program(with(stock_dir + c.program, c.args));
    tt::RunResult r = tt::run_program(with(tool(c.program), c.args));
    EXPECT_EQ(r.exit_code, stock.exit_code) << r.output;
    EXPECT_EQ(r.exit_code == 0, c.succeeds) << r.output;
    EXPECT_EQ(last_line(r.output), last_line(stock.output));
    EXPECT_FALSE(last_line(r.output).empty());
}

const ExitCase kExitCases[] = {
    {"encode_succeeds", "ffmpeg",
     {"-hide_banner", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=1", "-f", "null", "-"}, true},
    {"unknown_encoder_fails", "ffmpeg",
     {"-hide_banner", "-f", "lavfi", "-i", "testsrc2=size=320x240:duration=1", "-c:v", "nosuchencoder", "-f",
      "null", "-"},
     false},
    {"missing_input_fails", "ffmpeg", {"-hide_banner", "-i", "/nonexistent/in.mp4", "-f", "null", "-"}, false},
    {"probe_of_missing_file_fails", "ffprobe", {"-hide_banner", "/nonexistent/in.mp4"}, false},
};

INSTANTIATE_TEST_SUITE_P(ToolLayer, ToolExit, ::testing::ValuesIn(kExitCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ToolLayer, KillingTheToolEndsTheStockChild)
{
    tt::Spawned shim(with(tool("ffmpeg"), kLongEncode));
    ASSERT_GT(shim.pid(), 0);
    std::string first;
    ASSERT_TRUE(shim.read_line(first, 10000));
    ASSERT_EQ(first, "PID = " + std::to_string(shim.pid()));
    pid_t child = stock_child_of(shim.pid(), tt::stock_ffmpeg());
    ASSERT_GT(child, 0);

    ASSERT_EQ(kill(shim.pid(), SIGKILL), 0);
    EXPECT_EQ(shim.wait(5000), 128 + SIGKILL);
    EXPECT_TRUE(ends_within(child, 1000)) << "stock child " << child << " outlived the tool";
}

// The owner named by -ppid ends; the job must end with it, whether or not
// the owner's parent has reaped it yet.
class OwnerEnds : public ::testing::TestWithParam<bool> {};

TEST_P(OwnerEnds, TheJobEndsWithinASecond)
{
    const bool reap_owner = GetParam();
    tt::Spawned owner({"/bin/sleep", "30"});
    ASSERT_GT(owner.pid(), 0);
    Args args = {"-ppid", std::to_string(owner.pid())};
    args.insert(args.end(), kLongEncode.begin(), kLongEncode.end());
    tt::Spawned shim(with(tool("ffmpeg"), args));
    ASSERT_GT(shim.pid(), 0);
    pid_t child = stock_child_of(shim.pid(), tt::stock_ffmpeg());
    ASSERT_GT(child, 0);
    // While the owner lives the job goes on.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(tt::process_running(shim.pid()));

    ASSERT_EQ(kill(owner.pid(), SIGKILL), 0);
    if (reap_owner) {
        EXPECT_EQ(owner.wait(1000), 128 + SIGKILL);
    }
    int status = shim.wait(1000);
    EXPECT_NE(status, -1) << "the tool did not end within a second";
    EXPECT_NE(status, 0);
    EXPECT_TRUE(ends_within(child, 200));
    std::string output = shim.read_rest(2000);
    EXPECT_TRUE(has_line(output, "ffshim: process " + std::to_string(owner.pid()) + " has ended, job stopped"))
        << output;
}

INSTANTIATE_TEST_SUITE_P(ToolLayer, OwnerEnds, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "owner_reaped" : "owner_not_reaped"; });

TEST(ToolLayer, LibfdkAacIsEncodedAsAac)
{
    if (avcodec_find_encoder_by_name("libfdk_aac")) GTEST_SKIP() << "this FFmpeg has libfdk_aac itself";
    tt::TempDir dir;
    Args encode = {"-hide_banner", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=1",
                   "-c:a", "libfdk_aac", "-b:a", "64k", "-y", dir.file("out.m4a")};
    tt::RunResult stock = tt::run_program(with(tt::stock_ffmpeg(), encode));
    ASSERT_NE(stock.exit_code, 0) << "the stock program takes libfdk_aac; nothing to map";

    tt::RunResult r = tt::run_program(with(tool("ffmpeg"), encode));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has_line(r.output, "ffshim: libfdk_aac is not in this build, using aac")) << r.output;
    tt::RunResult probe = tt::run_program({tt::stock_ffprobe(), "-v", "error", "-select_streams", "a:0",
                                           "-show_entries", "stream=codec_name", "-of", "default=nw=1:nk=1",
                                           dir.file("out.m4a")});
    EXPECT_EQ(probe.output, "aac\n");
}

struct AngleCase {
    const char *angle;
    const char *note;
};

class DrawtextAngle : public ::testing::TestWithParam<AngleCase> {};

TEST_P(DrawtextAngle, WatermarkIsDrawnWithoutTheAngle)
{
    tt::TempDir dir;
    // As the conversion command writes a watermark; the font lies next to the tools.
    std::string filter = std::string("drawtext=fontfile=tf.ttf:text='tarsa':x=w*0/1+10:y=h*0/1+10:") +
                         "fontcolor=white:fontsize=24:alpha=0.800000:angle=" + GetParam().angle;
    Args encode = {"-hide_banner", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=1", "-vf",
                   filter, "-c:v", "libx264", "-preset", "ultrafast", "-y", dir.file("out.mp4")};
    tt::Finished stock = tt::run_spawned(with(tt::stock_ffmpeg(), encode), {}, tt::bin_dir());
    ASSERT_NE(stock.exit_code, 0) << "the stock drawtext takes angle; nothing to map";

    tt::Finished r = tt::run_spawned(with(tool("ffmpeg"), encode), {}, tt::bin_dir());
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has_line(r.output, GetParam().note)) << r.output;
    tt::RunResult probe = tt::run_program({tt::stock_ffprobe(), "-v", "error", "-select_streams", "v:0",
                                           "-show_entries", "stream=codec_name", "-of", "default=nw=1:nk=1",
                                           dir.file("out.mp4")});
    EXPECT_EQ(probe.output, "h264\n");
}

INSTANTIATE_TEST_SUITE_P(
    ToolLayer, DrawtextAngle,
    ::testing::Values(AngleCase{"0", "ffshim: drawtext angle=0 dropped (nothing to rotate)"},
                      AngleCase{"30", "ffshim: drawtext angle=30 not rendered (text drawn unrotated)"}),
    [](const auto &info) { return std::string("angle_") + info.param.angle; });

TEST(ToolLayer, AccurateSeekAfterTheInputIsDropped)
{
    tt::TempDir dir;
    ASSERT_TRUE(tt::make_mp4_h264_aac(dir.file("in.mp4"), 2));
    // The cut that seeks both before and after the input.
    Args cut = {"-hide_banner", "-ss", "0.5", "-accurate_seek", "-i", dir.file("in.mp4"), "-accurate_seek",
                "-t", "1", "-c", "copy", "-y", dir.file("out.mp4")};
    tt::RunResult stock = tt::run_program(with(tt::stock_ffmpeg(), cut));
    ASSERT_NE(stock.exit_code, 0) << "the stock program takes -accurate_seek after the input";

    tt::RunResult r = tt::run_program(with(tool("ffmpeg"), cut));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has_line(r.output,
                         "ffshim: -accurate_seek after the last input dropped (input option in output position)"))
        << r.output;
    EXPECT_TRUE(tt::file_exists(dir.file("out.mp4")));
}

}  // namespace
