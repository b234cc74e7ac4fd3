// The tool layer: with the real stock programs, the "PID =" line, status
// lines as lines of their own, the child's lifetime, "-ppid" and the
// mappings of what the stock build lacks; with the scripted fake tool
// standing in for the stock program, the exact output and exit status it
// forwards, signals and start failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "fake_tools.h"
#include "processes.h"
#include "test_util.h"

namespace {

using Args = std::vector<std::string>;

std::string tool(const std::string &name) { return tt::bin_dir() + name; }

Args with(const std::string &program, const Args &args)
{
    Args argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::string stream_codec(const std::string &path, const char *stream)
{
    return tt::run({tt::stock_ffprobe(), "-v", "error", "-select_streams", stream, "-show_entries", "stream=codec_name",
                    "-of", "default=nw=1:nk=1", path})
        .output;
}

// An encode that runs until killed (30 s of input read in real time).
const Args kLongEncode = {"-hide_banner", "-re", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=30",
                          "-f", "null", "-"};

TEST(ToolLayer, FirstLineIsTheToolsOwnPid)
{
    for (const std::string name : {"ffmpeg", "ffprobe"}) {
        SCOPED_TRACE(name);
        tt::Spawned shim({tool(name), "-version"});
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
    tt::Finished stock = tt::run(with(tt::stock_ffmpeg(), quick));
    ASSERT_EQ(stock.exit_code, 0) << stock.output;
    ASSERT_NE(stock.output.find('\r'), std::string::npos);

    tt::Finished r = tt::run(with(tool("ffmpeg"), encode));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(r.output.find('\r'), std::string::npos);
    int status_lines = 0;
    for (const std::string &line : tt::split_lines(r.output)) {
        if (line.find("time=") == std::string::npos) continue;
        status_lines++;
        // One status item per line: a second "frame=" would mean two glued together.
        EXPECT_EQ(line.find("frame=", line.find("frame=") + 1), std::string::npos) << line;
    }
    EXPECT_GT(status_lines, 1) << r.output;
}

TEST(ToolLayer, KillingTheToolEndsTheStockChild)
{
    tt::Spawned shim(with(tool("ffmpeg"), kLongEncode));
    const pid_t child = tt::child_running(shim.pid(), tt::stock_ffmpeg());
    ASSERT_GT(child, 0);
    ASSERT_EQ(kill(shim.pid(), SIGKILL), 0);
    EXPECT_EQ(shim.wait(5000), 128 + SIGKILL);
    EXPECT_TRUE(tt::ends_within(child, 1000)) << "stock child " << child << " outlived the tool";
}

// The owner named by -ppid ends; the job must end with it, whether or not
// the owner's parent has reaped it yet.
TEST(ToolLayer, JobEndsWithinASecondOfTheOwnerNamedByPpid)
{
    for (bool reap_owner : {true, false}) {
        SCOPED_TRACE(reap_owner ? "owner reaped" : "owner not reaped");
        tt::Spawned owner({"/bin/sleep", "30"});
        tt::Spawned shim(with(tool("ffmpeg"), with("-ppid", with(std::to_string(owner.pid()), kLongEncode))));
        const pid_t child = tt::child_running(shim.pid(), tt::stock_ffmpeg());
        ASSERT_GT(child, 0);
        // While the owner lives the job goes on.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(tt::process_running(shim.pid()));

        ASSERT_EQ(kill(owner.pid(), SIGKILL), 0);
        if (reap_owner) {
            EXPECT_EQ(owner.wait(1000), 128 + SIGKILL);
        }
        const int status = shim.wait(1000);
        EXPECT_NE(status, -1) << "the tool did not end within a second";
        EXPECT_NE(status, 0);
        EXPECT_TRUE(tt::ends_within(child, 200));
        const std::string output = shim.read_rest(2000);
        EXPECT_TRUE(tt::has_line(output, "ffshim: process " + std::to_string(owner.pid()) + " has ended, job stopped"))
            << output;
    }
}

// What the stock build lacks is mapped, and the layer says so in a line:
// the stock program refuses each of these jobs, the tool layer runs them.
// The tools run in the library's directory, where the watermark font lies.
TEST(ToolLayer, WhatTheStockBuildLacksIsMapped)
{
    tt::TempDir dir;
    ASSERT_TRUE(tt::make_h264_aac(dir.file("in.mp4"), 2));
    const struct {
        const char *what;
        Args args;
        const char *note;
        const char *stream, *codec;  // of the output
    } cases[] = {
        {"libfdk_aac",
         {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=1", "-c:a", "libfdk_aac", "-b:a", "64k",
          "-y", dir.file("out.m4a")},
         "ffshim: libfdk_aac is not in this build, using aac", "a:0", "aac\n"},
        // As the conversion command writes a watermark.
        {"drawtext angle",
         {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=1", "-vf",
          "drawtext=fontfile=tf.ttf:text='tarsa':x=w*0/1+10:y=h*0/1+10:fontcolor=white:fontsize=24:alpha=0.800000:"
          "angle=30",
          "-c:v", "libx264", "-preset", "ultrafast", "-y", dir.file("out.mp4")},
         "ffshim: drawtext angle=30 not rendered (text drawn unrotated)", "v:0", "h264\n"},
        // The cut that seeks both before and after the input.
        {"-accurate_seek after the input",
         {"-ss", "0.5", "-accurate_seek", "-i", dir.file("in.mp4"), "-accurate_seek", "-t", "1", "-c", "copy", "-y",
          dir.file("cut.mp4")},
         "ffshim: -accurate_seek after the last input dropped (input option in output position)", "v:0", "h264\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "libfdk_aac" && avcodec_find_encoder_by_name("libfdk_aac")) continue;
        ASSERT_NE(tt::run(with(tt::stock_ffmpeg(), c.args), {}, tt::bin_dir()).exit_code, 0) << "nothing to map";
        const tt::Finished r = tt::run(with(tool("ffmpeg"), c.args), {}, tt::bin_dir());
        ASSERT_EQ(r.exit_code, 0) << r.output;
        EXPECT_TRUE(tt::has_line(r.output, c.note)) << r.output;
        EXPECT_EQ(stream_codec(c.args.back(), c.stream), c.codec);
    }
}

// ---------------------------------------------------------------- the fake tool as the stock program

class FakeStock : public ::testing::Test {
protected:
    void SetUp() override { tt::install_fake_tools(dir_.path()); }
    tt::Spawned *start(const std::string &script, const Args &args = {})
    {
        EXPECT_TRUE(tt::write_file(dir_.file("script.txt"), script));
        shim_.reset(new tt::Spawned(with(tool("ffmpeg"), args), env_));
        return shim_.get();
    }
    std::string pid_line() const { return "PID = " + std::to_string(shim_->pid()) + "\n"; }

    tt::TempDir dir_;
    Args env_ = {"TARSASDK_FFMPEG_DIR=" + dir_.path(), "TARSA_FAKE_SCRIPT=" + dir_.file("script.txt")};
    std::unique_ptr<tt::Spawned> shim_;
};

TEST_F(FakeStock, ForwardsAllOutputThenTheExitStatus)
{
    struct Case {
        const char *name;
        const char *script;
        const char *output;  // after the "PID =" line
        int exit_code;
    };
    const Case cases[] = {
        // The pause makes the CR and its LF arrive in separate reads.
        {"CR LF split between reads", "raw a\rb\r\nsleep 100\nprint\nraw c\nexit 3\n", "a\nb\nc", 3},
        {"stderr joins stdout", "print to stdout\neprint to stderr\nexit 0\n", "to stdout\nto stderr\n", 0},
        {"last line without break", "print one\nraw two\nexit 1\n", "one\ntwo", 1},
        {"output held open after the exit", "spawn_holder 300\nprint before\nexit 4\n", "before\n", 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tt::Spawned *shim = start(c.script);
        EXPECT_EQ(shim->read_rest(10000), pid_line() + c.output);
        EXPECT_EQ(shim->wait(5000), c.exit_code);
    }
}

TEST_F(FakeStock, ChildKilledBySignalGives128PlusTheSignal)
{
    tt::Spawned *shim = start("print started\nhang\n");
    std::string line;
    ASSERT_TRUE(shim->read_line(line, 5000));
    ASSERT_TRUE(shim->read_line(line, 5000));
    ASSERT_EQ(line, "started");
    const pid_t child = tt::child_running(shim->pid(), dir_.file("ffmpeg"));
    ASSERT_GT(child, 0);
    ASSERT_EQ(kill(child, SIGTERM), 0);
    EXPECT_EQ(shim->wait(5000), 128 + SIGTERM);
}

TEST_F(FakeStock, StartFailuresAreReported)
{
    std::string bin = tt::bin_dir();
    bin.pop_back();
    std::filesystem::copy_file(tool("ffmpeg"), dir_.file("ffplay"));
    struct Case {
        Args argv;
        Args env;
        std::string message;
    } cases[] = {
        {{tool("ffmpeg"), "-version"}, {"TARSASDK_FFMPEG_DIR=" + dir_.file("none")},
         "ffshim: cannot start " + dir_.file("none") + "/ffmpeg: No such file or directory"},
        {{tool("ffmpeg"), "-version"}, {"TARSASDK_FFMPEG_DIR=" + bin},
         "ffshim: " + bin + "/ffmpeg is the tool layer itself, not the stock ffmpeg"},
        {{dir_.file("ffplay"), "-version"}, env_,
         "ffshim: started as \"ffplay\", but it runs only as ffmpeg or ffprobe"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        tt::Spawned shim(c.argv, c.env);
        EXPECT_EQ(shim.read_rest(5000), "PID = " + std::to_string(shim.pid()) + "\n" + c.message + "\n");
        EXPECT_EQ(shim.wait(5000), 127);
    }
}

}  // namespace
