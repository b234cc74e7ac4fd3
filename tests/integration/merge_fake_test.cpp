// Merge jobs whose tools are the scripted fake tool: creation, adding and
// removing sources, temporary names, start refusals, and the stages of a
// run with exactly the output, silence or failure each case needs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "jobs.h"
#include "processes.h"
#include "job/job_records.h"
#include "job/merge_sources.h"
#include "job/merge_tmp.h"

namespace {

using tt::status_line;

// A temporary (or joining) that writes its output and reports the whole 10 seconds.
const std::string kDone = "pid\nappend $DST 188\nprint " + status_line(10) + "\nexit 0\n";
// A temporary that reports 1 s and then runs until killed.
const std::string kRunning = "pid\nappend $DST 10\nprint " + status_line(1) + "\nticker 3000 20\n";

class MergeFakeJob : public tt::FakeJobTest {
protected:
    void SetUp() override { tools_.probe_media(10, "mov,mp4,m4a,3gp,3g2,mj2"); }

    std::string dst() const { return dir_.file("all.mp4"); }
    merge_info *info(void *job) const { return static_cast<merge_info *>(job); }

    // A job on dst() with `n` sources.
    void *job_with_sources(int n)
    {
        const merge_param p = tt::merge_params(3);
        void *job = tarsa_sdk_merge_create(dst().c_str(), &p);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        for (int i = 0; i < n; i++)
            EXPECT_EQ(tarsa_sdk_merge_add_file(job, source("s" + std::to_string(i) + ".mp4").c_str()), 1);
        return job;
    }
    std::vector<std::string> temporaries() const { return tt::merge_temporaries(dir_.path()); }
    // The names of each source, or of its temporary, in list order.
    std::vector<std::string> names(void *job, bool temporary) const
    {
        std::vector<std::string> out;
        for (adt_dlist_node *n = adt_dlist_head(info(job)->ls_src_file); n; n = adt_dlist_next(n)) {
            const file_info *f = *static_cast<file_info **>(adt_dlist_getdata(n));
            out.push_back(temporary ? f->dst_file : f->src_file);
        }
        return out;
    }
    static std::string tmp_name(const std::string &dir, int n)
    {
        return dir + "merge_tmp_file-" + std::to_string(n) + ".ts";
    }
    void expect_nothing_left(void *job)
    {
        EXPECT_TRUE(temporaries().empty());
        EXPECT_TRUE(tt::child_pids().empty());
        EXPECT_EQ(info(job)->tmp_slots.load(), 2u);
    }
};

// ---------------------------------------------------------------- creation

using MergeCreate = MergeFakeJob;

TEST_F(MergeCreate, RefusalsAndTheirConditions)
{
    merge_param p = tt::merge_params(3), width_only = p, height_only = p;
    width_only.width = 640;
    height_only.height = 480;
    const std::string long_name = "/out/" + std::string(255, 'a');
    const char *kSize = "(param->merge_param.width == 0 && param->merge_param.height != 0) || "
                        "(param->merge_param.width != 0 && param->merge_param.height == 0)";
    struct Case {
        std::function<void *()> create;
        const char *message;
    } cases[] = {
        {[&] { return tarsa_sdk_merge_create("all.mp4", &p); }, "!get_file_path(dst_file, dst_path)"},
        {[&] { return tarsa_sdk_merge_create(long_name.c_str(), &p); }, "strlen(dst_file) >= MAX_PATH"},
        {[&] { return tarsa_sdk_merge_create("/out/all.mp4", &width_only); }, kSize},
        {[&] { return tarsa_sdk_merge_create("/out/all.mp4", &height_only); }, kSize},
    };
    for (const Case &c : cases) {
        log_.clear();
        EXPECT_EQ(c.create(), TARSA_INVALID_HANDLE) << c.message;
        EXPECT_EQ(log_.messages(), std::vector<std::string>{c.message});
    }
}

// The old form chooses hardware itself; the directory part keeps its separator.
TEST_F(MergeCreate, RecordOfANewJob)
{
    const merge_param p = tt::merge_params(6, 320, 240);
    merge_param_v1 v1 = {};
    v1.merge_param = p;
    v1.usage_mode = HWD_USAGE_TYPE;
    v1.hwd_type = HWD_TYPE_INTEL;
    for (void *job :
         {tarsa_sdk_merge_create("C:/out/all.flv", &p), tarsa_sdk_merge_create_v1("D:\\out\\all.flv", &v1)}) {
        ASSERT_NE(job, TARSA_INVALID_HANDLE);
        const bool old_form = info(job)->dst_path[0] == 'C';
        EXPECT_STREQ(info(job)->dst_path, old_form ? "C:/out/" : "D:\\out\\");
        EXPECT_EQ(std::memcmp(&info(job)->merge_param, &p, sizeof p), 0);
        EXPECT_EQ(info(job)->usage_mode, static_cast<uint32_t>(old_form ? HWD_USAGE_AUTO : HWD_USAGE_TYPE));
        EXPECT_EQ(info(job)->hwd_type, old_form ? -1 : HWD_TYPE_INTEL);
        EXPECT_EQ(info(job)->tmp_slots.load(), 2u);
        EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 0);
        EXPECT_EQ(adt_dlist_size(info(job)->ls_src_file), 0);
        tarsa_sdk_merge_destroy(job);
    }
}

// ---------------------------------------------------------------- sources

using MergeSources = MergeFakeJob;

TEST_F(MergeSources, SixtyFourSourcesAtMost)
{
    void *job = job_with_sources(63);
    const std::string extra = source("extra.mp4");
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, extra.c_str()), 1);
    const int32_t next = s_tmp_file_index.load();
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, extra.c_str()), 0);
    EXPECT_EQ(log_.count("size >= MAX_MERGE_FILE_NUM"), 1);
    EXPECT_EQ(adt_dlist_size(info(job)->ls_src_file), 64);
    EXPECT_EQ(s_tmp_file_index.load(), next);
    tarsa_sdk_merge_destroy(job);
}

// Temporaries are numbered from one counter for all jobs and lie next to
// the destination, or in the directory set, for sources added from then on.
TEST_F(MergeSources, TemporaryNames)
{
    char saved[MAX_PATH];
    str_copy(saved, sizeof saved, s_tmp_path);
    s_tmp_path[0] = '\0';
    const int32_t n = s_tmp_file_index.load();
    void *first = job_with_sources(2);
    const merge_param p = tt::merge_params(3);
    void *second = tarsa_sdk_merge_create(dir_.file("sub/other.mp4").c_str(), &p);
    ASSERT_EQ(tarsa_sdk_merge_add_file(second, source("x.mp4").c_str()), 1);
    ASSERT_EQ(tarsa_sdk_merge_set_tmp_path(dir_.file("tmp").c_str()), 1);
    ASSERT_EQ(tarsa_sdk_merge_add_file(second, source("y.mp4").c_str()), 1);
    str_copy(s_tmp_path, sizeof s_tmp_path, saved);
    const std::string dir = dir_.path() + "/";
    EXPECT_EQ(names(first, true), (std::vector<std::string>{tmp_name(dir, n), tmp_name(dir, n + 1)}));
    EXPECT_EQ(names(second, true),
              (std::vector<std::string>{tmp_name(dir + "sub/", n + 2), tmp_name(dir + "tmp/", n + 3)}));
    tarsa_sdk_merge_destroy(first);
    tarsa_sdk_merge_destroy(second);
}

TEST_F(MergeSources, RefusedSourcesTakeNoNumber)
{
    void *job = job_with_sources(0);
    const int32_t n = s_tmp_file_index.load();
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, ("/in/" + std::string(256, 'a')).c_str()), 0);
    EXPECT_EQ(log_.count("strlen(src_file) >= MAX_PATH"), 1);
    tools_.probe("print not a media file\nexit 1\n");
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, source("bad.mp4").c_str()), 0);
    EXPECT_EQ(log_.count("!internal_probe(src_file, &result, &h2645_mp4toannexb)"), 1);
    EXPECT_EQ(s_tmp_file_index.load(), n);
    EXPECT_EQ(adt_dlist_size(info(job)->ls_src_file), 0);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeSources, DelFileRemovesTheFirstMatchOnly)
{
    void *job = job_with_sources(0);
    const std::string a = source("a.mp4"), b = source("b.mp4");
    for (const std::string &s : {a, b, a}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);
    const std::vector<std::string> tmps = names(job, true);

    EXPECT_EQ(tarsa_sdk_merge_del_file(job, dir_.file("none.mp4").c_str()), 1);
    EXPECT_EQ(names(job, false), (std::vector<std::string>{a, b, a}));
    EXPECT_EQ(tarsa_sdk_merge_del_file(job, a.c_str()), 1);
    EXPECT_EQ(names(job, false), (std::vector<std::string>{b, a}));
    EXPECT_EQ(names(job, true), (std::vector<std::string>{tmps[1], tmps[2]}));
    EXPECT_EQ(tarsa_sdk_merge_del_file(job, std::string(260, 'a').c_str()), 0);
    EXPECT_EQ(log_.count("strlen(src_file) >= MAX_PATH"), 1);
    EXPECT_EQ(names(job, false).size(), 2u);
    tarsa_sdk_merge_destroy(job);
}

// ---------------------------------------------------------------- start, stop, destroy

using MergeStart = MergeFakeJob;

TEST_F(MergeStart, StopEmptiesTheListSoTheNextStartNeedsNewSources)
{
    void *job = job_with_sources(2);
    tools_.script("pid\nticker 3000 20\n");
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    EXPECT_EQ(tarsa_sdk_merge_start(job), 0);
    EXPECT_EQ(log_.count("merge_info->running"), 1);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);
    EXPECT_EQ(info(job)->running.load(), 0u);
    EXPECT_EQ(adt_dlist_size(info(job)->ls_src_file), 0);
    EXPECT_EQ(tarsa_sdk_merge_start(job), 0);
    EXPECT_EQ(log_.count("size < 2"), 1);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);  // a second stop does nothing more
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeStart, DestroyOfARunningJobStopsIt)
{
    void *job = job_with_sources(3);
    tools_.script(kRunning);
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    ASSERT_TRUE(tt::wait_until([&] { return temporaries().size() == 2; }, 10000));
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
    EXPECT_TRUE(temporaries().empty());
    EXPECT_TRUE(tt::child_pids().empty());
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 100), 0);
}

// ---------------------------------------------------------------- the stages of a run

using FakeMerge = MergeFakeJob;

TEST_F(FakeMerge, StopWhileTemporariesRunSendsNoFinalEvent)
{
    void *job = job_with_sources(3);
    tools_.script(kRunning);
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    // Two temporaries at 10 %, the third waiting: (10 + 10 + 0) / 3 = 6 -> 5.
    ASSERT_TRUE(events_.wait_for(TARSA_EVENT_MERGE_POS, 5, 10000));
    ASSERT_TRUE(tt::wait_until([&] { return temporaries().size() == 2; }, 10000));
    EXPECT_EQ(info(job)->tmp_slots.load(), 0u);
    EXPECT_EQ(tt::child_pids("ffmpeg").size(), 2u);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 5), 1);
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 100), 0);
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_FAIL), 0);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 5);
    // Only the temporary that was never started is missing on removal.
    EXPECT_EQ(log_.count("first remove failed errno:2"), 1);
    EXPECT_EQ(log_.count("second remove failed errno:2"), 1);
    expect_nothing_left(job);
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
}

TEST_F(FakeMerge, StopWhileJoiningEndsAsSuccess)
{
    void *job = job_with_sources(2);
    tools_.script(kDone);
    // Once both temporaries are complete, the joining runs without end.
    events_.on_event([this](const tt::JobEvent &e) {
        if (e.code == TARSA_EVENT_MERGE_POS && e.p2 == 95)
            tools_.script("pid\nappend $DST 100\nprint " + status_line(5) + "\nticker 3000 20\n");
        return 0;
    });
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    // 5 s of 20 s: 95 + 25 * 0.05 = 96.
    ASSERT_TRUE(events_.wait_for(TARSA_EVENT_MERGE_POS, 96, 10000));
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 96);
    EXPECT_EQ(temporaries().size(), 2u);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    const std::vector<tt::JobEvent> events = events_.all();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), (tt::JobEvent{job, TARSA_EVENT_MERGE_POS, "", 100}));
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 100), 1);
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_FAIL), 0);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 100);
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(FakeMerge, JoiningWithoutProgressFails)
{
    void *job = job_with_sources(2);
    tools_.script(kDone);
    events_.on_event([this](const tt::JobEvent &e) {
        if (e.code == TARSA_EVENT_MERGE_POS && e.p2 == 95) tools_.script("pid\nprint no progress here\nexit 1\n");
        return 0;
    });
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    ASSERT_TRUE(events_.wait_for(TARSA_EVENT_MERGE_FAIL, -1, 10000));
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    const std::vector<tt::JobEvent> events = events_.all();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), (tt::JobEvent{job, TARSA_EVENT_MERGE_FAIL, dst(), static_cast<uint32_t>(dst().size())}));
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_FAIL), 1);
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 100), 0);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 95);
    EXPECT_EQ(log_.count("process_merge_file EOF filename:" + dst()), 1);
    EXPECT_EQ(log_.count("process_merge_file END filename:" + dst() + " stat error errno = 2"), 1);
    EXPECT_TRUE(log_.contains("process_merge_file END filename:" + dst() + " last_time:-1 time_count:-1 "));
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(FakeMerge, FailedTemporariesAreDroppedAndTheWorkerWaits)
{
    void *job = job_with_sources(2);
    tools_.script("pid\nprint Conversion failed!\nticker 3000 20\n");
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    ASSERT_TRUE(events_.wait_for(TARSA_EVENT_MERGE_SRC_FAIL, -1, 10000, 2));
    // Every source dropped: the worker polls at position 0 until the stop.
    ASSERT_TRUE(tt::wait_until([&] { return tt::child_pids().empty(); }, 10000));
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 0);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    const std::vector<tt::JobEvent> events = events_.all();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, dir_.file("s0.mp4"));
    EXPECT_EQ(events[1].name, dir_.file("s1.mp4"));
    EXPECT_EQ(log_.count("merge_tmp_file File Conversion failed! buf:Conversion failed!"), 2);
    EXPECT_FALSE(log_.contains("[process_merge_file] cmd:"));
    // Dropped entries leave the list: nothing is removed at the end.
    EXPECT_EQ(log_.count("first remove failed errno:2"), 0);
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(FakeMerge, ManyJobsLeaveNothingBehind)
{
    tools_.script(kRunning);
    const int threads = tt::thread_baseline();
    const std::vector<int> fds = tt::open_fds();
    for (int i = 0; i < 100; i++) {
        void *job = job_with_sources(2);
        ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
        if (i % 2) tt::wait_until([&] { return temporaries().size() == 2; }, 10000);  // stop in the middle
        ASSERT_EQ(tarsa_sdk_merge_stop(job), 1);
        ASSERT_EQ(info(job)->tmp_slots.load(), 2u);
        ASSERT_EQ(tarsa_sdk_merge_destroy(job), 1);
    }
    EXPECT_EQ(tt::thread_count(), threads);
    EXPECT_EQ(tt::open_fds(), fds);
    EXPECT_TRUE(tt::child_pids().empty());
    EXPECT_TRUE(temporaries().empty());
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_FAIL), 0);
    EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 100), 0);
}

// ---------------------------------------------------------------- the temporary stage by hand

class TmpStage : public MergeFakeJob {
protected:
    void SetUp() override
    {
        MergeFakeJob::SetUp();
        job_.kind = TARSA_JOB_MERGE;
        job_.merge_param = tt::merge_params(3);
        job_.usage_mode = HWD_USAGE_NONE;
        job_.hwd_type = -1;
        job_.dst_codec_info = {1, 0, 1, 2, F_FMT_MP4};
        job_.tmp_slots.store(2);
        list_ = adt_dlist_create(sizeof(file_info *));
    }
    void TearDown() override
    {
        for (adt_dlist_node *n = adt_dlist_head(list_); n; n = adt_dlist_next(n)) {
            file_info *f = *static_cast<file_info **>(adt_dlist_getdata(n));
            if (f->status.load() != MERGE_STATUS_TYPE_NONE && f->status.load() != MERGE_STATUS_TYPE_DONE)
                close_merge_tmp_file(f);
            delete f;
        }
        adt_dlist_destroy(list_);
    }
    file_info *add(int duration = 10)
    {
        file_info *f = new file_info();
        f->merge_info = &job_;
        const std::string n = std::to_string(adt_dlist_size(list_));
        str_copy(f->src_file, sizeof f->src_file, source("s" + n + ".mp4").c_str());
        str_copy(f->dst_file, sizeof f->dst_file, dir_.file("t" + n + ".ts").c_str());
        str_copy(f->result.v_fmt, sizeof f->result.v_fmt, "h264");
        f->result.duration = duration;
        adt_dlist_add(list_, 0, &f);
        return f;
    }
    static uint32_t status(file_info *f) { return f->status.load(); }

    merge_info job_{};
    adt_dlist *list_ = nullptr;
};

TEST_F(TmpStage, ProgressStaysBelowHundredUntilTheEnd)
{
    file_info *a = add(10);
    tools_.script("pid\nprint " + status_line(5) + "\nsleep 300\nprint " + status_line(12) + "\nsleep 300\nexit 0\n");
    ASSERT_EQ(create_merge_tmp_file(a), 1);
    EXPECT_EQ(job_.tmp_slots.load(), 1u);
    ASSERT_TRUE(tt::wait_until([&] { return a->pos.load() == 50; }, 10000));
    // 12 s of 10 s is 100 %, which a running temporary never shows.
    ASSERT_TRUE(tt::wait_until([&] { return a->pos.load() != 50; }, 10000));
    EXPECT_EQ(a->pos.load(), 100u);
    EXPECT_EQ(a->result.duration, 10);
    EXPECT_EQ(close_merge_tmp_file(a), 1);
    EXPECT_EQ(status(a), static_cast<uint32_t>(MERGE_STATUS_TYPE_DONE));
    EXPECT_EQ(a->fp, nullptr);
    EXPECT_EQ(job_.tmp_slots.load(), 2u);
}

TEST_F(TmpStage, SourceWithoutDurationTakesTheLastTime)
{
    file_info *a = add(0);
    tools_.script("pid\nprint " + status_line(7) + "\nsleep 200\nexit 0\n");
    ASSERT_EQ(create_merge_tmp_file(a), 1);
    ASSERT_TRUE(tt::wait_until([&] { return a->pos.load() != 0; }, 10000));
    EXPECT_EQ(a->pos.load(), 100u);
    EXPECT_EQ(a->result.duration, 7);
}

}  // namespace
