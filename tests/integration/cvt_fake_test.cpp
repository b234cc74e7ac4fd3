// Conversion jobs whose tools are the scripted fake tool, so the monitor
// meets exactly the output a case needs: how a run ends, the settle wait,
// stop, destroy and restart, the tool's pid, and jobs of several threads.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "jobs.h"
#include "processes.h"
#include "job/job_records.h"

namespace {

using tt::status_line;

class CvtFake : public tt::FakeJobTest {
protected:
    void SetUp() override { src_ = source("src.flv"); }

    // A job from the fake source to `dst` (type 6, no hardware).
    cvt_info *create(const std::string &dst)
    {
        const cvt_param_v1 param = tt::cvt_params({6, 0, 0, 1, 23});
        void *job = tarsa_sdk_create_v1(src_.c_str(), dst.c_str(), &param);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        return job == TARSA_INVALID_HANDLE ? nullptr : static_cast<cvt_info *>(job);
    }
    cvt_info *create() { return create(dst_); }
    // A job to dst_ started with this script.
    cvt_info *started(const std::string &script)
    {
        tools_.script(script);
        cvt_info *job = create();
        EXPECT_EQ(job ? tarsa_sdk_start(job) : 0, 1);
        return job;
    }

    std::string src_;
    std::string dst_ = dir_.file("dst.flv");
};

// A script that shows progress, then keeps printing lines without progress
// until it is killed (so that a stop is noticed at once).
std::string progress_then_ticks(int first_pause_ms)
{
    std::string s = "pid\nsleep " + std::to_string(first_pause_ms) + "\n";
    for (int t = 1; t <= 9; t++) s += "print " + status_line(t) + "\nsleep 20\n";
    return s + "ticker 100000 5\n";
}

std::string progress_script(const std::vector<int> &times, const std::string &before = "")
{
    std::string s = "pid\n" + before;
    for (int t : times) s += "print " + status_line(t) + "\n";
    return s + "exit 0\n";
}

// ---------------------------------------------------------------- how a run ends

using CvtMonitor = CvtFake;

TEST_F(CvtMonitor, EndingsOfARun)
{
    struct Case {
        const char *name;
        int duration;  // reported by the probe
        std::string script;
        bool failed;
        std::vector<uint32_t> positions;
        int duration_after;                 // the job's duration at its end
        std::vector<std::string> logged;    // exact messages
        std::vector<std::string> prefixes;  // messages starting so
        std::vector<std::string> absent;    // in no line
    };
    const std::string buf = "Conversion [file_name]:" + dst_ + " buf:";
    const std::string end = "get_cvt_progress END filename:" + dst_;
    const Case cases[] = {
        // The failure line ends the run at once and kills the tool: no settle wait, no end report.
        {"failure line", 10, "pid\nprint " + status_line(1) + "\nprint Conversion failed!\nhang\n", true, {10}, 10,
         {"get_cvt_progress File Conversion failed!", buf + "Conversion failed!"}, {}, {"get_cvt_progress END"}},
        // Output without progress fails; the destination was never written.
        {"no progress", 10, "pid\nprint Unknown encoder 'xyz'\nexit 1\n", true, {}, 10,
         {"get_cvt_progress EOF filename:" + dst_, end + " stat error errno = 2"},
         {end + " filename_tmp_size:0 last_time:-1 time_count:-1 Last file modification time:"}, {}},
        // Without a duration only the end is reported; the last time becomes the duration.
        {"no duration", 0, progress_script({1, 2, 3}), false, {}, 3, {}, {}, {}},
        // Positions only rise and 100 comes only at the end: 15 s of 10 is not
        // reported, a later 8 s above the last position is.
        {"rising", 10, progress_script({2, 6, 4, 15, 8}), false, {20, 60, 80}, 10, {}, {}, {}},
        // Lines the monitor tolerates are neither logged nor fatal; other lines are logged.
        {"tolerated", 10,
         progress_script({5}, "print [mp4 @ 0x55d0] Non-monotonous DTS; this may result in incorrect timestamps in "
                              "the output file.\nprint [flv @ 0x55d0] Packet is backward in time, dropped\n"),
         false, {50}, 10, {buf + status_line(5)}, {}, {"incorrect timestamps", "is backward in time"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tools_.probe_media(c.duration);
        tools_.script(c.script);
        log_.clear();
        events_.clear();
        cvt_info *job = create();
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->result.duration, c.duration);
        ASSERT_EQ(tarsa_sdk_start(job), 1);
        ASSERT_TRUE(events_.wait_end(job, 20000));
        EXPECT_TRUE(tt::ends_within(pipe_child_pid(job->fp), 2000)) << "the tool did not end";
        EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), c.failed, dst_));
        EXPECT_EQ(tt::positions(events_.of(job)), c.positions);
        EXPECT_EQ(job->result.duration, c.duration_after);
        for (const std::string &m : c.logged) EXPECT_EQ(log_.count(m), 1) << m;
        for (const std::string &p : c.prefixes) EXPECT_NE(log_.starting_with(p), "") << p;
        for (const std::string &a : c.absent) EXPECT_FALSE(log_.contains(a)) << a;
        EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
        EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    }
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
    tools_.script("pid\nprint " + status_line(9) + "\ngrow $DST 1000 10 30\nexit 0\n");
    std::atomic<long long> size_at_end{-1};
    std::atomic<double> quiet_at_end{-1};
    events_.on_event([&](const tt::JobEvent &e) {
        struct stat st;
        if (e.code == TARSA_EVENT_CVT_POS && e.p2 == 100 && stat(dst_.c_str(), &st) == 0) {
            size_at_end = st.st_size;
            quiet_at_end = realtime_s() - (static_cast<double>(st.st_mtim.tv_sec) +
                                           static_cast<double>(st.st_mtim.tv_nsec) / 1e9);
        }
        return 0;
    });
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_end(job, 20000));

    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(tt::positions(events_.of(job)), (std::vector<uint32_t>{90}));
    EXPECT_EQ(size_at_end.load(), 10000) << "the job ended while the destination was still growing";
    // Four equal sizes 50 ms apart after the last change (the file's time
    // stamp is coarser than the sleeps, hence the margin).
    EXPECT_GE(quiet_at_end.load(), 0.180);
    EXPECT_NE(log_.starting_with("get_cvt_progress END filename:" + dst_ + " filename_tmp_size:10000 last_time:9 "),
              "");
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// The monitor waits in the line read while the tool is silent, so a stop
// returns only after the tool's next line.
TEST_F(CvtMonitor, StopWhileTheToolIsSilentWaitsForItsNextLine)
{
    cvt_info *job = started("pid\nprint " + status_line(1) + "\nsleep 1500\nstamp\nhang\n");
    ASSERT_NE(job, nullptr);
    ASSERT_TRUE(events_.wait_pos(job, 10, 10000));
    const int tool = pipe_child_pid(job->fp);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    const auto returned = std::chrono::steady_clock::now();

    const std::string prefix = "Conversion [file_name]:" + dst_ + " buf:stamp ";
    const std::string stamp_line = log_.starting_with(prefix);
    ASSERT_NE(stamp_line, "") << "the monitor never read the tool's next line";
    EXPECT_LT(std::atoll(stamp_line.c_str() + prefix.size()),
              std::chrono::duration_cast<std::chrono::nanoseconds>(returned.time_since_epoch()).count());
    EXPECT_GE(returned - asked, std::chrono::milliseconds(1000));
    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(kill(tool, 0), -1) << "the tool outlived the stop";
    EXPECT_EQ(job->fp, nullptr);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// ---------------------------------------------------------------- stop, destroy, restart

using CvtStop = CvtFake;

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

TEST_F(CvtStop, StopAfterTheEndClosesTheTool)
{
    cvt_info *job = started(progress_script({5}));
    ASSERT_NE(job, nullptr);
    ASSERT_TRUE(events_.wait_end(job, 10000));
    // Ended, but only the host's stop releases the tool.
    EXPECT_EQ(job->running.load(), 1u);
    ASSERT_NE(job->fp, nullptr);
    EXPECT_EQ(tt::child_pids(), std::vector<int>{pipe_child_pid(job->fp)});
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(job->fp, nullptr);
    EXPECT_TRUE(tt::child_pids().empty());
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtStop, RestartAfterStopReportsFromZero)
{
    cvt_info *job = started(progress_then_ticks(300));
    ASSERT_NE(job, nullptr);
    ASSERT_TRUE(events_.wait_pos(job, 50, 10000));
    ASSERT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_GE(tt::positions(events_.of(job)).size(), 5u);

    events_.clear();
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 0);  // the tool pauses before its first line
    ASSERT_TRUE(events_.wait_pos(job, 30, 10000));
    ASSERT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    ASSERT_FALSE(tt::positions(events_.of(job)).empty());
    EXPECT_EQ(tt::positions(events_.of(job)).front(), 10u);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtStop, DestroyStopsARunningJob)
{
    const int threads = tt::thread_baseline();
    cvt_info *job = started(progress_then_ticks(0));
    ASSERT_NE(job, nullptr);
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
    cvt_info *job = started("ticker 1000 10\n");
    ASSERT_NE(job, nullptr);
    const int tool = pipe_child_pid(job->fp);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_LT(tt::ms_since(asked), 2000);
    EXPECT_EQ(kill(tool, 0), -1);
    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst_));
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

TEST_F(CvtStop, ManyShortJobsLeaveNothingBehind)
{
    tools_.script("pid\nprint " + status_line(1) + "\nticker 3000 2\n");
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

// ---------------------------------------------------------------- the tool's pid

using CvtToolPid = CvtFake;

// The host and the job's monitor share the tool's output line by line, so
// the tool repeats its "PID =" line: whichever lines the host gets carry it.
TEST_F(CvtToolPid, RunningJobGivesTheToolsPid)
{
    std::string s;
    for (int i = 0; i < 30; i++) s += "pid\nsleep 50\n";
    tools_.script(s + "ticker 100000 5\n");
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
    cvt_info *job = create();
    ASSERT_NE(job, nullptr);
    auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(job), -1);
    EXPECT_LT(tt::ms_since(asked), 50);

    tools_.script(progress_script({1}));
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_end(job, 10000));
    ASSERT_EQ(tarsa_sdk_stop(job), 1);
    asked = std::chrono::steady_clock::now();
    EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(job), -1);
    EXPECT_LT(tt::ms_since(asked), 50);
    EXPECT_EQ(job->pid, 0);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// ---------------------------------------------------------------- several host threads

using CvtConcurrentHosts = CvtFake;

TEST_F(CvtConcurrentHosts, JobsOfSeveralHostThreads)
{
    std::string s = "pid\n";
    for (int t = 1; t <= 9; t++) s += "print " + status_line(t) + "\nsleep 5\n";
    tools_.script(s + "exit 0\n");
    std::vector<std::thread> hosts;
    std::vector<int> failures(4, 0);
    for (int h = 0; h < 4; h++) {
        hosts.emplace_back([&, h] {
            for (int i = 0; i < 10; i++) {
                cvt_info *job = create();
                if (!job || tarsa_sdk_start(job) != 1) {
                    failures[h]++;
                    continue;
                }
                if (i % 2 == 0 && !events_.wait_end(job, 20000)) failures[h]++;
                if (tarsa_sdk_stop(job) != 1 || !events_.wait_end(job, 0)) failures[h]++;
                const auto ev = events_.of(job);
                if (i % 2 == 0 && tt::positions(ev) != std::vector<uint32_t>{10, 20, 30, 40, 50, 60, 70, 80, 90})
                    failures[h]++;
                if (!tt::conversion_events_ok(ev, false, dst_)) failures[h]++;
                events_.forget(job);
                tarsa_sdk_destroy(job);
            }
        });
    }
    for (std::thread &t : hosts) t.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_TRUE(tt::child_pids().empty());
}

}  // namespace
