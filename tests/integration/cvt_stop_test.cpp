// Stopping and destroying conversion jobs: the tool and its child end, the
// monitor is joined, the pipe is closed, a stopped job starts afresh, and
// many short-lived jobs leave no thread, descriptor or process behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "fake_jobs.h"
#include "log_text.h"
#include "sdk/sdk_globals.h"
#include "spawned.h"
#include "tarsasdk.h"

namespace {

using tt::status_line;

// A script that shows progress, then keeps printing lines without progress
// until it is killed (so that a stop is noticed at once).
std::string progress_then_ticks(int first_pause_ms)
{
    std::string s = "pid\nsleep " + std::to_string(first_pause_ms) + "\n";
    for (int t = 1; t <= 9; t++) s += "print " + status_line(t) + "\nsleep 20\n";
    return s + "ticker 100000 5\n";
}

long long ms_since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

class CvtStop : public tt::FakeToolJobs {};

TEST_F(CvtStop, NeverStartedJob)
{
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 0);
    EXPECT_EQ(job->running.load(), 0u);
    EXPECT_EQ(job->fp, nullptr);
    EXPECT_TRUE(events_.of(job).empty());
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtStop, NullHandles)
{
    tt::LogCapture log;
    EXPECT_EQ(tarsa_sdk_stop(nullptr), 0);
    EXPECT_EQ(tarsa_sdk_destroy(nullptr), 0);
    EXPECT_EQ(tarsa_sdk_start(nullptr), 0);
    EXPECT_EQ(tarsa_sdk_get_pos(nullptr), -1);
    EXPECT_EQ(tt::count_message(log, "cvt_info == NULL"), 4);
}

TEST_F(CvtStop, StopAfterTheEndClosesTheTool)
{
    script("pid\nprint " + status_line(5) + "\nexit 0\n");
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_end(job, 10000));
    // Ended, but only the host's stop releases the tool.
    EXPECT_EQ(job->running.load(), 1u);
    ASSERT_NE(job->fp, nullptr);
    const int tool = pipe_child_pid(job->fp);
    EXPECT_EQ(tt::child_pids(), std::vector<int>{tool});
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(job->fp, nullptr);
    EXPECT_TRUE(tt::child_pids().empty());
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtStop, RestartAfterStopReportsFromZero)
{
    script(progress_then_ticks(300));
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_pos(job, 50, 10000));
    ASSERT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    const auto first = events_.of(job);
    EXPECT_TRUE(tt::conversion_events_ok(first, false, dst_));
    ASSERT_GE(tt::positions(first).size(), 5u);

    events_.clear();
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 0);  // the tool pauses before its first line
    ASSERT_TRUE(events_.wait_pos(job, 30, 10000));
    ASSERT_EQ(tarsa_sdk_stop(job), 1);
    const auto second = events_.of(job);
    EXPECT_TRUE(tt::conversion_events_ok(second, false, dst_));
    ASSERT_FALSE(tt::positions(second).empty());
    EXPECT_EQ(tt::positions(second).front(), 10u);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtStop, DestroyStopsARunningJob)
{
    script(progress_then_ticks(0));
    const int threads = tt::thread_baseline();
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_pos(job, 20, 10000));
    const int tool = pipe_child_pid(job->fp);
    EXPECT_EQ(tt::thread_count(), threads + 1);

    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    EXPECT_TRUE(events_.wait_end(job, 0)) << "the final event had not come when destroy returned";
    EXPECT_EQ(kill(tool, 0), -1) << "the tool outlived the destroy";
    EXPECT_TRUE(tt::child_pids().empty());
    EXPECT_EQ(tt::thread_count(), threads);
}

// The monitor kills the tool by the pid the tool printed. A stop that comes
// before that line was read, or a tool that never prints it, must not leave
// the stop waiting for the tool's own end (here ten seconds away).
TEST_F(CvtStop, StopEndsAToolWhosePidIsUnknown)
{
    script("ticker 1000 10\n");
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    const int tool = pipe_child_pid(job->fp);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_LT(ms_since(asked), 2000);
    EXPECT_EQ(kill(tool, 0), -1);
    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtStop, ManyShortJobsLeaveNothingBehind)
{
    script("pid\nprint " + status_line(1) + "\nticker 3000 2\n");
    const int threads = tt::thread_baseline();
    const std::vector<int> fds = tt::open_fds();
    ASSERT_TRUE(tt::child_pids().empty());
    for (int i = 0; i < 200; i++) {
        cvt_info *job = create();
        ASSERT_NE(job, nullptr);
        ASSERT_EQ(tarsa_sdk_start(job), 1);
        if (i % 2 == 1) {
            ASSERT_TRUE(events_.wait_pos(job, 10, 10000));  // half of them stopped mid-run
        }
        ASSERT_EQ(tarsa_sdk_stop(job), 1);
        ASSERT_TRUE(events_.wait_end(job, 0)) << "cycle " << i;
        ASSERT_EQ(tarsa_sdk_destroy(job), 1);
        events_.clear();
    }
    EXPECT_EQ(tt::thread_count(), threads);
    EXPECT_EQ(tt::open_fds(), fds);
    EXPECT_TRUE(tt::child_pids().empty());
}

// ---------------------------------------------------------------- real tools

class CvtStopRealTools : public ::testing::Test {
protected:
    void SetUp() override { tt::sdk_startup(); }
    tt::TempDir dir_;
    tt::EventLog events_;
};

// The tool layer and its stock child both end: the stop kills the tool by
// its pid, and the child dies with it.
TEST_F(CvtStopRealTools, StopMidRunEndsTheToolAndItsChild)
{
    const std::string src = dir_.file("src.mp4");
    const std::string dst = dir_.file("dst.mp4");
    ASSERT_TRUE(tt::make_mp4_h264_aac(src, 20));
    cvt_param_v1 param = {};
    param.cvt_param = {3, 1280, 720, 1, 23};  // a re-encode that takes seconds
    param.usage_mode = HWD_USAGE_NONE;
    param.hwd_type = -1;
    const int threads = tt::thread_baseline();
    const std::vector<int> fds = tt::open_fds();
    auto *job = static_cast<cvt_info *>(tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &param));
    ASSERT_NE(static_cast<void *>(job), TARSA_INVALID_HANDLE);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    const int tool = pipe_child_pid(job->fp);
    int stock = -1;
    for (int i = 0; i < 300 && stock < 0; i++) {
        const int child = tt::first_child(tool);
        if (child > 0 && tt::process_exe(child) == tt::stock_ffmpeg()) stock = child;
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(stock, 0) << "the stock ffmpeg never ran";
    ASSERT_TRUE(events_.wait_pos(job, 1, 15000));
    ASSERT_FALSE(events_.wait_end(job, 0)) << "the conversion ended before the stop";

    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(kill(tool, 0), -1) << "the tool outlived the stop";
    EXPECT_TRUE(tt::ends_within(stock, 1000)) << "the stock ffmpeg outlived the stop";
    EXPECT_EQ(job->fp, nullptr);
    EXPECT_EQ(job->running.load(), 0u);
    EXPECT_EQ(tt::thread_count(), threads);
    EXPECT_EQ(tt::open_fds(), fds);
    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst));
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

}  // namespace
