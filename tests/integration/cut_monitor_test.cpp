// The cut monitor against a scripted tool: positions measured against the
// cut's expected length, the events of success, failure and stop, and the
// tool's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cvt/runner.h"
#include "job_scope.h"
#include "log_text.h"
#include "sdk/job_records.h"
#include "spawned.h"
#include "test_util.h"

namespace {

using tt::RecordedEvent;

class CutMonitor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tarsa_sdk_startup(); }

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

    static bool ended(const tt::EventRecorder &rec)
    {
        for (const RecordedEvent &e : rec.events())
            if (e.code == TARSA_EVENT_CUT_FAIL || (e.code == TARSA_EVENT_CUT_POS && e.p2 == 100)) return true;
        return false;
    }

    std::vector<RecordedEvent> positions(void *job, const std::vector<uint32_t> &values)
    {
        std::vector<RecordedEvent> out;
        for (uint32_t v : values) out.push_back({job, TARSA_EVENT_CUT_POS, "", v});
        return out;
    }

    tt::TempDir dir_;
    std::string dst_ = dir_.file("out.mp4");
};

// Status lines at the given media times, then the tool writes its file and ends.
std::vector<std::string> progress_script(const std::vector<int> &times)
{
    std::vector<std::string> script = {"pid"};
    for (int t : times) script.push_back("print " + tt::status_line(t));
    script.push_back("append $DST 4096");
    script.push_back("exit 0");
    return script;
}

struct PositionCase {
    const char *name;
    bool force_encode;
    int start_time, cut_length, duration;
    std::vector<int> times;           // "time=" values the tool prints, seconds
    std::vector<uint32_t> expected;   // events 200, the last one the end
};

const PositionCase kPositionCases[] = {
    // A copy's media time runs from the source's start: 30 + 10 = 40 s.
    {"copy_counts_from_source_start", false, 30, 10, 60, {10, 20, 35, 35, 12}, {25, 50, 87, 100}},
    // A re-encode's runs from the cut's start: 10 s; 12 s is past it and
    // gives 100, which only the end reports.
    {"encode_counts_from_cut_start", true, 30, 10, 60, {5, 9, 12}, {50, 90, 100}},
    {"encode_past_source_end_counts_what_is_left", true, 50, 30, 60, {3, 7}, {30, 70, 100}},
    {"copy_past_source_end_counts_to_its_end", false, 50, 30, 60, {55}, {91, 100}},
    // Without a known duration nothing is clamped: 80 s and 30 s.
    {"copy_unknown_duration", false, 50, 30, 0, {40, 60}, {50, 75, 100}},
    {"encode_unknown_duration", true, 50, 30, 0, {15, 29}, {50, 96, 100}},
    // Nothing to cut: every position is 0, only the end reports.
    {"encode_zero_length", true, 20, 0, 60, {1, 2}, {100}},
};

TEST_F(CutMonitor, PositionsRiseAgainstTheExpectedLengthAndTheEndReports100)
{
    for (const PositionCase &c : kPositionCases) {
        SCOPED_TRACE(c.name);
        tt::FakeToolScope tool(progress_script(c.times));
        tt::EventRecorder rec;
        cut_info *job = make_cut(c.start_time, c.cut_length, c.duration, c.force_encode);
        ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
        EXPECT_TRUE(tt::wait_until([&] { return ended(rec); }, 20000));
        EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
        EXPECT_EQ(rec.events(), positions(job, c.expected));
        EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 100);
        EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
    }
}

TEST_F(CutMonitor, OutputWithoutProgressIsAFailureReportedAlone)
{
    tt::FakeToolScope tool({"pid", "print [in.ts] Invalid data found when processing input", "exit 1"});
    tt::EventRecorder rec;
    tt::LogCapture log;
    cut_info *job = make_cut(2, 3, 60, false);
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    EXPECT_TRUE(tt::wait_until([&] { return ended(rec); }, 20000));
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);  // joined: nothing can follow
    const std::vector<RecordedEvent> failure = {
        {job, TARSA_EVENT_CUT_FAIL, dst_, static_cast<uint32_t>(dst_.size())}};
    EXPECT_EQ(rec.events(), failure);
    EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 0);

    std::vector<std::string> messages = tt::log_messages(log);
    auto has = [&](const std::string &m) { return std::find(messages.begin(), messages.end(), m) != messages.end(); };
    EXPECT_TRUE(has("get_cut_progress EOF filename:" + dst_));
    // The tool wrote nothing: the settle wait cannot take the file's status.
    EXPECT_TRUE(has("get_cut_progress END filename:" + dst_ + " stat error errno = 2"));
    const std::string report = "get_cut_progress END filename:" + dst_ +
                               " filename_tmp_size:0 last_time:-1 time_count:-1 Last file modification time:";
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [&](const std::string &m) { return m.rfind(report, 0) == 0; }),
              1);
    // The tool's lines are not logged.
    EXPECT_FALSE(log.contains("Invalid data found"));
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
}

TEST_F(CutMonitor, ToolFailureTextAfterProgressStillEndsAsSuccess)
{
    // Only the absence of any progress line counts as failure.
    tt::FakeToolScope tool({"pid", "print " + tt::status_line(5), "print Conversion failed!", "exit 1"});
    tt::EventRecorder rec;
    cut_info *job = make_cut(30, 10, 60, true);
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    EXPECT_TRUE(tt::wait_until([&] { return ended(rec); }, 20000));
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
    EXPECT_EQ(rec.events(), positions(job, {50, 100}));
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
}

// A tool that has shown progress and keeps printing without progress.
std::vector<std::string> running_script(int seconds)
{
    return {"pid", "print " + tt::status_line(seconds), "ticker 600 25"};
}

TEST_F(CutMonitor, StopWhileRunningEndsWithoutEventAndEndsTheTool)
{
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "stop");
        tt::FakeToolScope tool(running_script(4));
        tt::EventRecorder rec;
        cut_info *job = make_cut(30, 10, 60, true);
        ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
        const pid_t tool_pid = pipe_child_pid(job->fp);
        ASSERT_TRUE(rec.wait_for(TARSA_EVENT_CUT_POS, 40, 10000));
        if (destroy) {
            EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        } else {
            EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
            EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 40);
            EXPECT_EQ(job->fp, nullptr);
        }
        EXPECT_EQ(rec.events(), positions(job, {40}));
        EXPECT_FALSE(tt::process_running(tool_pid));
        if (!destroy) {
            EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        }
    }
}

TEST_F(CutMonitor, StartWhileRunningIsRefusedAndARestartCountsFromZero)
{
    tt::FakeToolScope tool(running_script(4));
    tt::EventRecorder rec;
    tt::LogCapture log;
    cut_info *job = make_cut(30, 10, 60, true);
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    const pid_t first_pid = pipe_child_pid(job->fp);
    ASSERT_TRUE(rec.wait_for(TARSA_EVENT_CUT_POS, 40, 10000));
    EXPECT_EQ(tarsa_sdk_cut_start(job), 0);
    EXPECT_EQ(tt::count_message(log, "cut_info->running"), 1);
    EXPECT_EQ(pipe_child_pid(job->fp), first_pid);  // the first tool is untouched
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);

    // Started again, the position starts from 0: 40 is reported again.
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    EXPECT_TRUE(tt::wait_until([&] { return rec.events().size() == 2; }, 10000));
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
    EXPECT_EQ(rec.events(), positions(job, {40, 40}));
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
}

}  // namespace
