// The cut monitor against a scripted tool: positions measured against the
// cut's expected length, the events of success, failure and stop, and the
// tool's end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jobs.h"
#include "processes.h"
#include "job/job_records.h"

namespace {

using tt::status_line;

class CutMonitor : public tt::FakeJobTest {
protected:
    // A cut record as creation leaves it, for a transport-stream source with
    // H.264 video and AAC audio of `duration` seconds, cut to "mp4": copied
    // unless force_encode.
    cut_info *make_cut(int start_time, int cut_length, int duration, bool force_encode)
    {
        cut_info *info = new cut_info();
        info->kind = TARSA_JOB_CUT;
        info->cut_param = {3, 0, 0, start_time, cut_length, force_encode ? 1u : 0u, 1, 5};
        std::strcpy(info->result.f_fmt, "mpegts");
        std::strcpy(info->result.v_fmt, "h264");
        std::strcpy(info->result.a_fmt, "aac");
        info->result.duration = duration;
        std::strcpy(info->src_file, dir_.file("in.ts").c_str());
        std::strcpy(info->dst_file, dst_.c_str());
        info->opt_param = opt_param_create();
        info->usage_mode = HWD_USAGE_NONE;
        info->hwd_type = -1;
        return info;
    }
    std::vector<tt::JobEvent> positions(void *job, const std::vector<uint32_t> &values)
    {
        return tt::pos_events(job, TARSA_EVENT_CUT_POS, values);
    }

    std::string dst_ = dir_.file("out.mp4");
};

// Status lines at the given media times, then the tool writes its file and
// ends (with `exit`, after `then`).
std::string progress_script(const std::vector<int> &times, const std::string &then = "append $DST 4096\nexit 0\n")
{
    std::string s = "pid\n";
    for (int t : times) s += "print " + status_line(t) + "\n";
    return s + then;
}

TEST_F(CutMonitor, PositionsRiseAgainstTheExpectedLengthAndTheEndReports100)
{
    struct Case {
        const char *name;
        bool force_encode;
        int start_time, cut_length, duration;
        std::string script;
        std::vector<uint32_t> expected;  // events 200, the last one the end
    };
    const Case cases[] = {
        // A copy's media time runs from the source's start: 30 + 10 = 40 s.
        {"copy counts from the source start", false, 30, 10, 60, progress_script({10, 20, 35, 35, 12}),
         {25, 50, 87, 100}},
        // A re-encode's runs from the cut's start: 10 s; 12 s is past it and
        // gives 100, which only the end reports.
        {"encode counts from the cut start", true, 30, 10, 60, progress_script({5, 9, 12}), {50, 90, 100}},
        {"encode past the source end counts what is left", true, 50, 30, 60, progress_script({3, 7}), {30, 70, 100}},
        {"copy past the source end counts to its end", false, 50, 30, 60, progress_script({55}), {91, 100}},
        // Without a known duration nothing is clamped: 80 s and 30 s.
        {"copy, unknown duration", false, 50, 30, 0, progress_script({40, 60}), {50, 75, 100}},
        {"encode, unknown duration", true, 50, 30, 0, progress_script({15, 29}), {50, 96, 100}},
        // Nothing to cut: every position is 0, only the end reports.
        {"encode, zero length", true, 20, 0, 60, progress_script({1, 2}), {100}},
        // Only the absence of any progress line counts as failure.
        {"failure text after progress", true, 30, 10, 60, progress_script({5}, "print Conversion failed!\nexit 1\n"),
         {50, 100}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tools_.script(c.script);
        events_.clear();
        cut_info *job = make_cut(c.start_time, c.cut_length, c.duration, c.force_encode);
        ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
        EXPECT_TRUE(events_.wait_end(job, 20000));
        EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
        EXPECT_EQ(events_.all(), positions(job, c.expected));
        EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 100);
        EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
    }
}

TEST_F(CutMonitor, OutputWithoutProgressIsAFailureReportedAlone)
{
    tools_.script("pid\nprint [in.ts] Invalid data found when processing input\nexit 1\n");
    cut_info *job = make_cut(2, 3, 60, false);
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    EXPECT_TRUE(events_.wait_end(job, 20000));
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);  // joined: nothing can follow
    EXPECT_EQ(events_.all(),
              (std::vector<tt::JobEvent>{{job, TARSA_EVENT_CUT_FAIL, dst_, static_cast<uint32_t>(dst_.size())}}));
    EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 0);

    EXPECT_EQ(log_.count("get_cut_progress EOF filename:" + dst_), 1);
    // The tool wrote nothing: the settle wait cannot take the file's status.
    EXPECT_EQ(log_.count("get_cut_progress END filename:" + dst_ + " stat error errno = 2"), 1);
    EXPECT_NE(log_.starting_with("get_cut_progress END filename:" + dst_ +
                                 " filename_tmp_size:0 last_time:-1 time_count:-1 Last file modification time:"),
              "");
    EXPECT_FALSE(log_.contains("Invalid data found"));  // the tool's lines are not logged
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
}

// A tool that has shown progress and keeps printing without progress.
const std::string kRunning = "pid\nprint " + status_line(4) + "\nticker 600 25\n";

TEST_F(CutMonitor, StopWhileRunningEndsWithoutEventAndEndsTheTool)
{
    tools_.script(kRunning);
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "stop");
        events_.clear();
        cut_info *job = make_cut(30, 10, 60, true);
        ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
        const pid_t tool = pipe_child_pid(job->fp);
        ASSERT_TRUE(events_.wait_for(TARSA_EVENT_CUT_POS, 40, 10000));
        if (destroy) {
            EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        } else {
            EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
            EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 40);
            EXPECT_EQ(job->fp, nullptr);
        }
        EXPECT_EQ(events_.all(), positions(job, {40}));
        EXPECT_FALSE(tt::process_running(tool));
        EXPECT_TRUE(tt::child_pids().empty());
        if (!destroy) {
            EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        }
    }
}

TEST_F(CutMonitor, StartWhileRunningIsRefusedAndARestartCountsFromZero)
{
    tools_.script(kRunning);
    cut_info *job = make_cut(30, 10, 60, true);
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    const pid_t first_pid = pipe_child_pid(job->fp);
    ASSERT_TRUE(events_.wait_for(TARSA_EVENT_CUT_POS, 40, 10000));
    EXPECT_EQ(tarsa_sdk_cut_start(job), 0);
    EXPECT_EQ(log_.count("cut_info->running"), 1);
    EXPECT_EQ(pipe_child_pid(job->fp), first_pid);  // the first tool is untouched
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);

    // Started again, the position starts from 0: 40 is reported again.
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    EXPECT_TRUE(events_.wait_for(TARSA_EVENT_CUT_POS, 40, 10000, 2));
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
    EXPECT_EQ(events_.all(), positions(job, {40, 40}));
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
}

}  // namespace
