// The tool layer in front of the scriptable fake tool, which stands in for the
// stock program (TARSASDK_FFMPEG_DIR): exactly what it receives, and exactly
// what comes out of the tool layer for given output and exit statuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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

std::string pid_line(pid_t pid) { return "PID = " + std::to_string(pid) + "\n"; }

class FakeStock : public ::testing::Test {
protected:
    void SetUp() override
    {
        tt::install_fake_tools(dir_.path());
        env_ = {"TARSASDK_FFMPEG_DIR=" + dir_.path(), "TARSA_FAKE_ARGV_OUT=" + dir_.file("argv.txt"),
                "TARSA_FAKE_SCRIPT=" + dir_.file("script.txt")};
    }
    void script(const std::string &text) { ASSERT_TRUE(tt::write_file(dir_.file("script.txt"), text)); }

    tt::TempDir dir_;
    Args env_;
};

TEST_F(FakeStock, ReceivesTheArgumentsAsPlanned)
{
    if (avcodec_find_encoder_by_name("libfdk_aac")) GTEST_SKIP() << "this FFmpeg has libfdk_aac itself";
    script("exit 0\n");
    Args argv = {tt::bin_dir() + "ffmpeg", "-ppid", std::to_string(getpid()), "-ss", "1.0", "-accurate_seek",
                 "-i", "name with  spaces.mp4", "-accurate_seek", "", "-c:a", "libfdk_aac", "-vf",
                 "drawtext=text='a b':angle=30", "-y", "out.mp4"};
    tt::Finished r = tt::run_spawned(argv, env_);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tt::read_file(dir_.file("argv.txt")),
              dir_.path() + "/ffmpeg\n-ss\n1.0\n-accurate_seek\n-i\nname with  spaces.mp4\n\n-c:a\naac\n-vf\n"
                            "drawtext=text='a b'\n-y\nout.mp4\n");
}

TEST_F(FakeStock, ProbeRunsTheStockProbe)
{
    script("exit 0\n");
    tt::Finished r = tt::run_spawned({tt::bin_dir() + "ffprobe", "-i", "x.mp4"}, env_);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tt::read_file(dir_.file("argv.txt")), dir_.path() + "/ffprobe\n-i\nx.mp4\n");
}

struct ScriptCase {
    const char *name;
    const char *script;
    const char *output;  // after the "PID =" line
    int exit_code;
};

class FakeOutput : public FakeStock, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(FakeOutput, ForwardsAllOutputThenTheExitStatus)
{
    script(GetParam().script);
    tt::Spawned shim({tt::bin_dir() + "ffmpeg"}, env_);
    ASSERT_GT(shim.pid(), 0);
    std::string out = shim.read_rest(10000);
    EXPECT_EQ(out, pid_line(shim.pid()) + GetParam().output);
    EXPECT_EQ(shim.wait(5000), GetParam().exit_code);
}

const ScriptCase kScripts[] = {
    // The pause makes the CR and its LF arrive in separate reads.
    {"cr_lf_split_between_reads", "raw a\rb\r\nsleep 100\nprint\nraw c\nexit 3\n", "a\nb\nc", 3},
    {"status_lines_with_lone_cr",
     "raw frame=1 time=00:00:00.04\r\nsleep 50\nraw frame=2 time=00:00:00.08\r\nexit 0\n",
     "frame=1 time=00:00:00.04\nframe=2 time=00:00:00.08\n", 0},
    {"stderr_joins_stdout", "print to stdout\neprint to stderr\nexit 0\n", "to stdout\nto stderr\n", 0},
    {"last_line_without_break", "print one\nraw two\nexit 1\n", "one\ntwo", 1},
    {"output_held_open_after_exit", "spawn_holder 300\nprint before\nexit 4\n", "before\n", 4},
};

INSTANTIATE_TEST_SUITE_P(ToolLayer, FakeOutput, ::testing::ValuesIn(kScripts),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(FakeStock, ChildKilledBySignalGives128PlusTheSignal)
{
    script("print started\nhang\n");
    tt::Spawned shim({tt::bin_dir() + "ffmpeg"}, env_);
    std::string line;
    ASSERT_TRUE(shim.read_line(line, 5000));
    ASSERT_TRUE(shim.read_line(line, 5000));
    ASSERT_EQ(line, "started");
    pid_t child = tt::first_child(shim.pid());
    ASSERT_GT(child, 0);
    ASSERT_EQ(tt::process_exe(child), dir_.path() + "/ffmpeg");
    ASSERT_EQ(kill(child, SIGTERM), 0);
    EXPECT_EQ(shim.wait(5000), 128 + SIGTERM);
}

TEST_F(FakeStock, OwnerAlreadyGoneEndsTheJob)
{
    script("print started\nhang\n");
    pid_t gone;
    {
        tt::Spawned owner({"/bin/true"});
        gone = owner.pid();
        ASSERT_EQ(owner.wait(5000), 0);
    }
    tt::Spawned shim({tt::bin_dir() + "ffmpeg", "-ppid", std::to_string(gone)}, env_);
    EXPECT_EQ(shim.wait(2000), 1);
    std::string out = shim.read_rest(2000);
    EXPECT_NE(out.find("ffshim: process " + std::to_string(gone) + " has ended, job stopped\n"), std::string::npos)
        << out;
}

TEST_F(FakeStock, MissingStockProgramIsReported)
{
    std::filesystem::remove(dir_.file("ffmpeg"));
    tt::Spawned shim({tt::bin_dir() + "ffmpeg", "-version"}, env_);
    EXPECT_EQ(shim.read_rest(5000),
              pid_line(shim.pid()) + "ffshim: cannot start " + dir_.path() + "/ffmpeg: No such file or directory\n");
    EXPECT_EQ(shim.wait(5000), 127);
}

TEST_F(FakeStock, RefusesToRunItselfAsTheStockProgram)
{
    std::string bin = tt::bin_dir();
    bin.pop_back();
    tt::Spawned shim({tt::bin_dir() + "ffmpeg", "-version"}, {"TARSASDK_FFMPEG_DIR=" + bin});
    EXPECT_EQ(shim.read_rest(5000), pid_line(shim.pid()) + "ffshim: " + bin +
                                        "/ffmpeg is the tool layer itself, not the stock ffmpeg\n");
    EXPECT_EQ(shim.wait(5000), 127);
}

TEST_F(FakeStock, RunsOnlyUnderTheToolNames)
{
    std::filesystem::copy_file(tt::bin_dir() + "ffmpeg", dir_.file("ffplay"));
    tt::Spawned shim({dir_.file("ffplay"), "-version"}, env_);
    EXPECT_EQ(shim.read_rest(5000),
              pid_line(shim.pid()) + "ffshim: started as \"ffplay\", but it runs only as ffmpeg or ffprobe\n");
    EXPECT_EQ(shim.wait(5000), 127);
}

}  // namespace
