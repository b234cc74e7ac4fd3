// The processes of conversion jobs: the tool's pid as the host learns it
// from the tool's output, and a tool whose host dies.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "fake_jobs.h"
#include "log_text.h"
#include "spawned.h"
#include "tarsasdk.h"

namespace {

long long ms_since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

class CvtToolPid : public tt::FakeToolJobs {};

// The host and the job's monitor share the tool's output line by line, so
// the tool repeats its "PID =" line: whichever lines the host gets carry it.
TEST_F(CvtToolPid, RunningJobGivesTheToolsPid)
{
    std::string s;
    for (int i = 0; i < 30; i++) s += "pid\nsleep 50\n";
    script(s + "ticker 100000 5\n");
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->pid, 0);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    const int tool = pipe_child_pid(job->fp);
    EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(job), tool);
    EXPECT_EQ(job->pid, tool);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    EXPECT_EQ(kill(tool, 0), -1);
}

TEST_F(CvtToolPid, NoPidWithoutARunningJob)
{
    tt::LogCapture log;
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(job), -1);
    EXPECT_LT(ms_since(asked), 50);

    script("pid\nprint " + tt::status_line(1) + "\nexit 0\n");
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_end(job, 10000));
    ASSERT_EQ(tarsa_sdk_stop(job), 1);
    asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(job), -1);
    EXPECT_LT(ms_since(asked), 50);
    EXPECT_EQ(job->pid, 0);

    EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(nullptr), -1);
    EXPECT_EQ(tt::count_message(log, "fd == NULL"), 1);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// ---------------------------------------------------------------- the host dies

// The host is reaped only after the tool's fate is seen: until then its
// pid and start time stand, so the orphan clean-up of a start-up elsewhere
// leaves its tool alone, and only the tool's own tie to its host can end it.
class CvtToolOwner : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tt::make_mp4_h264_aac(dir_.file("src.mp4"), 20)); }

    struct Started {
        int tool = -1;
        int stock = -1;
        int holder = -1;
    };
    // Starts the host program and waits until its tool runs the stock ffmpeg.
    Started start_host(tt::Spawned &host)
    {
        Started s;
        std::string line;
        EXPECT_TRUE(host.read_line(line, 30000));
        if (std::sscanf(line.c_str(), "tool %d holder %d", &s.tool, &s.holder) != 2) {
            ADD_FAILURE() << "host said: " << line << host.read_rest(1000);
            return s;
        }
        for (int i = 0; i < 500 && s.stock < 0; i++) {
            const int child = tt::first_child(s.tool);
            if (child > 0 && tt::process_exe(child) == tt::stock_ffmpeg()) s.stock = child;
            else std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_GT(s.stock, 0) << "the stock ffmpeg never ran";
        return s;
    }
    std::vector<std::string> host_args(const std::vector<std::string> &flags)
    {
        std::vector<std::string> argv = {tt::bin_dir() + "cvt_owner_host", dir_.file("src.mp4"), dir_.file("dst.mp4")};
        argv.insert(argv.end(), flags.begin(), flags.end());
        return argv;
    }

    tt::TempDir dir_;
};

TEST_F(CvtToolOwner, ToolEndsWithinASecondOfItsHost)
{
    tt::Spawned host(host_args({"--owner"}));
    ASSERT_GT(host.pid(), 0);
    Started s = start_host(host);
    ASSERT_GT(s.stock, 0);
    ASSERT_TRUE(tt::process_running(s.tool));

    ASSERT_EQ(kill(host.pid(), SIGKILL), 0);
    EXPECT_TRUE(tt::ends_within(s.tool, 1000)) << "the tool outlived its host";
    EXPECT_TRUE(tt::ends_within(s.stock, 1000)) << "the stock ffmpeg outlived its host";
    EXPECT_EQ(host.wait(2000), 128 + SIGKILL);
}

// With the output pipe still held open, the tool cannot die of writing into
// it: only the tie to the host ends it.
TEST_F(CvtToolOwner, TieToTheHostEndsTheToolWhileItsOutputIsStillOpen)
{
    tt::Spawned host(host_args({"--owner", "--hold-pipe"}));
    ASSERT_GT(host.pid(), 0);
    Started s = start_host(host);
    ASSERT_GT(s.stock, 0);
    ASSERT_GT(s.holder, 0);

    ASSERT_EQ(kill(host.pid(), SIGKILL), 0);
    EXPECT_TRUE(tt::ends_within(s.tool, 1000)) << "the tool outlived its host";
    EXPECT_TRUE(tt::ends_within(s.stock, 1000)) << "the stock ffmpeg outlived its host";
    EXPECT_EQ(host.wait(2000), 128 + SIGKILL);
    kill(s.holder, SIGKILL);
    EXPECT_TRUE(tt::ends_within(s.holder, 1000));
}

TEST_F(CvtToolOwner, WithoutTheTieTheToolOutlivesItsHost)
{
    tt::Spawned host(host_args({"--hold-pipe"}));
    ASSERT_GT(host.pid(), 0);
    Started s = start_host(host);
    ASSERT_GT(s.stock, 0);
    ASSERT_GT(s.holder, 0);

    ASSERT_EQ(kill(host.pid(), SIGKILL), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(tt::process_running(s.tool));
    EXPECT_EQ(host.wait(2000), 128 + SIGKILL);
    // The tool of the dead host is ended here, as the next start-up's
    // orphan clean-up would.
    kill(s.tool, SIGKILL);
    kill(s.holder, SIGKILL);
    EXPECT_TRUE(tt::ends_within(s.tool, 1000));
    EXPECT_TRUE(tt::ends_within(s.stock, 1000));
    EXPECT_TRUE(tt::ends_within(s.holder, 1000));
}

}  // namespace
