// The conversion monitor against tools that print exactly what a case needs:
// the failure line, output without progress, a destination that goes on
// growing, missing and excessive durations, tolerated lines, and a stop
// while the tool is silent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "fake_jobs.h"
#include "log_text.h"
#include "tarsasdk.h"

namespace {

using tt::status_line;

class CvtMonitor : public tt::FakeToolJobs {
protected:
    // Starts the job and waits for its final event; the job is stopped and
    // destroyed by the caller.
    void run_to_end(cvt_info *job)
    {
        ASSERT_EQ(tarsa_sdk_start(job), 1);
        ASSERT_TRUE(events_.wait_end(job, 20000));
    }
    std::string starts_with(const tt::LogCapture &log, const std::string &prefix)
    {
        for (const std::string &m : tt::log_messages(log))
            if (m.compare(0, prefix.size(), prefix) == 0) return m;
        return "";
    }
};

TEST_F(CvtMonitor, FailureLineEndsTheRunAndKillsTheTool)
{
    script("pid\nprint " + status_line(1) + "\nprint Conversion failed!\nhang\n");
    tt::LogCapture log;
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    run_to_end(job);
    const int tool = pipe_child_pid(job->fp);
    EXPECT_TRUE(tt::ends_within(tool, 2000)) << "the tool was not killed";

    const auto events = events_.of(job);
    EXPECT_TRUE(tt::conversion_events_ok(events, true, dst_));
    EXPECT_EQ(tt::positions(events), (std::vector<uint32_t>{10}));
    EXPECT_EQ(tt::count_message(log, "get_cvt_progress File Conversion failed!"), 1);
    EXPECT_EQ(tt::count_message(log, "Conversion [file_name]:" + dst_ + " buf:Conversion failed!"), 1);
    // Straight to the end: no settle wait, no end report.
    EXPECT_EQ(starts_with(log, "get_cvt_progress END"), "");
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtMonitor, OutputWithoutProgressIsAFailure)
{
    script("pid\nprint Unknown encoder 'xyz'\nexit 1\n");
    tt::LogCapture log;
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    run_to_end(job);

    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), true, dst_));
    EXPECT_TRUE(tt::positions(events_.of(job)).empty());
    EXPECT_EQ(tt::count_message(log, "get_cvt_progress EOF filename:" + dst_), 1);
    // The tool never wrote the destination: the first settle check says so.
    EXPECT_EQ(tt::count_message(log, "get_cvt_progress END filename:" + dst_ + " stat error errno = 2"), 1);
    EXPECT_NE(starts_with(log, "get_cvt_progress END filename:" + dst_ +
                                   " filename_tmp_size:0 last_time:-1 time_count:-1 Last file modification time:"),
              "");
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

double realtime_s()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The tool leaves a child behind that appends to the destination after the
// tool's output has ended; the job ends only once the size has been the same
// at four checks 50 ms apart.
TEST_F(CvtMonitor, SettleWaitOutlastsAGrowingDestination)
{
    script("pid\nprint " + status_line(9) + "\ngrow $DST 1000 10 30\nexit 0\n");
    std::atomic<long long> size_at_end{-1};
    std::atomic<double> quiet_at_end{-1};
    events_.on_end([&](void *) {
        struct stat st;
        if (stat(dst_.c_str(), &st) != 0) return;
        size_at_end = st.st_size;
        quiet_at_end = realtime_s() - (static_cast<double>(st.st_mtim.tv_sec) +
                                       static_cast<double>(st.st_mtim.tv_nsec) / 1e9);
    });
    tt::LogCapture log;
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    run_to_end(job);

    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(tt::positions(events_.of(job)), (std::vector<uint32_t>{90}));
    EXPECT_EQ(size_at_end.load(), 10000) << "the job ended while the destination was still growing";
    // Four equal sizes 50 ms apart after the last change (the file's time
    // stamp is coarser than the sleeps, hence the margin).
    EXPECT_GE(quiet_at_end.load(), 0.180);
    EXPECT_NE(starts_with(log, "get_cvt_progress END filename:" + dst_ + " filename_tmp_size:10000 last_time:9 "),
              "");
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtMonitor, WithoutDurationOnlyTheEndIsReported)
{
    probe_duration(0);
    script("pid\nprint " + status_line(1) + "\nprint " + status_line(2) + "\nprint " + status_line(3) + "\nexit 0\n");
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->result.duration, 0);
    run_to_end(job);

    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_TRUE(tt::positions(events_.of(job)).empty());
    EXPECT_EQ(job->result.duration, 3);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// Positions only rise, and 100 is reported only at the end: a time beyond
// the duration is not reported, and a later, smaller time above the last
// reported position still is.
TEST_F(CvtMonitor, PositionsRiseAndStayBelowAHundredUntilTheEnd)
{
    script("pid\nprint " + status_line(2) + "\nprint " + status_line(6) + "\nprint " + status_line(4) + "\nprint " +
           status_line(15) + "\nprint " + status_line(8) + "\nexit 0\n");
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    run_to_end(job);

    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(tt::positions(events_.of(job)), (std::vector<uint32_t>{20, 60, 80}));
    EXPECT_EQ(job->result.duration, 10);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtMonitor, ToleratedLinesAreNeitherLoggedNorFatal)
{
    const std::string timestamps = "[mp4 @ 0x55d0] Non-monotonous DTS; this may result in incorrect timestamps in the output file.";
    const std::string backward = "[flv @ 0x55d0] Packet is backward in time, dropped";
    script("pid\nprint " + timestamps + "\nprint " + backward + "\nprint " + status_line(5) + "\nexit 0\n");
    tt::LogCapture log;
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    run_to_end(job);

    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(tt::positions(events_.of(job)), (std::vector<uint32_t>{50}));
    EXPECT_EQ(log.count("incorrect timestamps in the output"), 0);
    EXPECT_EQ(log.count("is backward in time"), 0);
    EXPECT_EQ(tt::count_message(log, "Conversion [file_name]:" + dst_ + " buf:" + status_line(5)), 1);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// The monitor waits in the line read while the tool is silent, so a stop
// returns only after the tool's next line.
TEST_F(CvtMonitor, StopWhileTheToolIsSilentWaitsForItsNextLine)
{
    script("pid\nprint " + status_line(1) + "\nsleep 1500\nstamp\nhang\n");
    tt::LogCapture log;
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_pos(job, 10, 10000));
    const int tool = pipe_child_pid(job->fp);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    const auto returned = std::chrono::steady_clock::now();

    const std::string prefix = "Conversion [file_name]:" + dst_ + " buf:stamp ";
    const std::string stamp_line = starts_with(log, prefix);
    ASSERT_NE(stamp_line, "") << "the monitor never read the tool's next line";
    const long long printed_ns = std::atoll(stamp_line.c_str() + prefix.size());
    const long long returned_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(returned.time_since_epoch()).count();
    EXPECT_LT(printed_ns, returned_ns);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(returned - asked).count(), 1000);

    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(kill(tool, 0), -1) << "the tool outlived the stop";
    EXPECT_EQ(job->fp, nullptr);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

}  // namespace
