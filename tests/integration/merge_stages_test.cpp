// The stages of a merge run against the fake tool, which produces exactly
// the output, silence or failure each case needs: stops in either stage, a
// joining that fails, temporaries that fail, and many short-lived jobs.
#include <string>
#include <vector>

#include "merge_fake.h"
#include "sdk/merge_tmp.h"

namespace {

using mt::FakeMerge;

const char *kTemporaryRuns = "pid\nappend $DST 10\nprint frame=25 time=00:00:01.00 bitrate=1\nticker 3000 20\n";

TEST_F(FakeMerge, StopWhileTemporariesRunSendsNoFinalEvent)
{
    void *job = job_with_sources(3);
    script(kTemporaryRuns);
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    // Two temporaries at 10 %, the third waiting: (10 + 10 + 0) / 3 = 6 -> 5.
    ASSERT_TRUE(tt::wait_until([&] { return recorder_.count(TARSA_EVENT_MERGE_POS, 5) == 1; }, 10000));
    ASSERT_TRUE(tt::wait_until([&] { return temporaries().size() == 2; }, 10000));
    EXPECT_EQ(static_cast<merge_info *>(job)->tmp_slots.load(), 0u);
    EXPECT_EQ(tt::count_children("ffmpeg"), 2);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_POS, 100), 0);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_FAIL), 0);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 5);
    // Only the temporary that was never started is missing on removal.
    EXPECT_EQ(tt::count_message(log_, "first remove failed errno:2"), 1);
    EXPECT_EQ(tt::count_message(log_, "second remove failed errno:2"), 1);
    expect_nothing_left(job);
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
}

TEST_F(FakeMerge, StopWhileJoiningEndsAsSuccess)
{
    void *job = job_with_sources(2);
    script(mt::done_script());
    // Once both temporaries are complete, the joining runs without end.
    recorder_.on_event = [this](const tt::RecordedEvent &e) {
        if (e.code == TARSA_EVENT_MERGE_POS && e.p2 == 95)
            script("pid\nappend $DST 100\nprint frame=125 time=00:00:05.00 bitrate=1\nticker 3000 20\n");
        return 0;
    };
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    // 5 s of 20 s: 95 + 25 * 0.05 = 96.
    ASSERT_TRUE(tt::wait_until([&] { return recorder_.count(TARSA_EVENT_MERGE_POS, 96) == 1; }, 10000));
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 96);
    EXPECT_EQ(temporaries().size(), 2u);
    script("exit 1\n");  // the destination check after the final event
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    std::vector<tt::RecordedEvent> events = recorder_.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, static_cast<uint32_t>(TARSA_EVENT_MERGE_POS));
    EXPECT_EQ(events.back().p2, 100u);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_POS, 100), 1);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_FAIL), 0);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 100);
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(FakeMerge, JoiningWithoutProgressFails)
{
    void *job = job_with_sources(2);
    script(mt::done_script());
    recorder_.on_event = [this](const tt::RecordedEvent &e) {
        if (e.code == TARSA_EVENT_MERGE_POS && e.p2 == 95) script("pid\nprint no progress here\nexit 1\n");
        return 0;
    };
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    ASSERT_TRUE(tt::wait_until([&] { return recorder_.count(TARSA_EVENT_MERGE_FAIL) == 1; }, 10000));
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    std::vector<tt::RecordedEvent> events = recorder_.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, static_cast<uint32_t>(TARSA_EVENT_MERGE_FAIL));
    EXPECT_EQ(events.back().name, dst());
    EXPECT_EQ(events.back().p2, dst().size());
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_POS, 100), 0);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 95);
    EXPECT_EQ(tt::count_message(log_, "process_merge_file EOF filename:" + dst()), 1);
    EXPECT_EQ(tt::count_message(log_, "process_merge_file END filename:" + dst() + " stat error errno = 2"), 1);
    EXPECT_TRUE(log_.contains("process_merge_file END filename:" + dst() + " last_time:-1 time_count:-1 "));
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(FakeMerge, FailedTemporariesAreDroppedAndTheWorkerWaits)
{
    void *job = job_with_sources(2);
    script("pid\nprint Conversion failed!\nticker 3000 20\n");
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    ASSERT_TRUE(tt::wait_until([&] { return recorder_.count(TARSA_EVENT_MERGE_SRC_FAIL) == 2; }, 10000));
    // Every source dropped: the worker polls at position 0 until the stop.
    ASSERT_TRUE(tt::wait_until([&] { return tt::count_children("ffmpeg") == 0; }, 10000));
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 0);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    std::vector<tt::RecordedEvent> events = recorder_.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, dir_.file("s0.mp4"));
    EXPECT_EQ(events[1].name, dir_.file("s1.mp4"));
    EXPECT_EQ(tt::count_message(log_, "merge_tmp_file File Conversion failed! buf:Conversion failed!"), 2);
    EXPECT_FALSE(log_.contains("[process_merge_file] cmd:"));
    // Dropped entries leave the list: nothing is removed at the end.
    EXPECT_EQ(tt::count_message(log_, "first remove failed errno:2"), 0);
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(FakeMerge, ManyJobsLeaveNothingBehind)
{
    const int threads = tt::count_threads();
    const int fds = tt::count_fds();
    for (int i = 0; i < 100; i++) {
        script(mt::probe_script());
        void *job = job_with_sources(2);
        script(kTemporaryRuns);
        ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
        if (i % 2) tt::wait_until([&] { return temporaries().size() == 2; }, 10000);  // stop in the middle
        ASSERT_EQ(tarsa_sdk_merge_stop(job), 1);
        ASSERT_EQ(static_cast<merge_info *>(job)->tmp_slots.load(), 2u);
        ASSERT_EQ(tarsa_sdk_merge_destroy(job), 1);
    }
    EXPECT_EQ(tt::count_threads(), threads);
    EXPECT_EQ(tt::count_fds(), fds);
    EXPECT_EQ(tt::count_children("ffmpeg"), 0);
    EXPECT_EQ(tt::count_children("ffprobe"), 0);
    EXPECT_TRUE(temporaries().empty());
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_FAIL), 0);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_POS, 100), 0);
}

// ---------------------------------------------------------------- the temporary stage by hand

class TmpStage : public FakeMerge {
protected:
    void SetUp() override
    {
        FakeMerge::SetUp();
        job_.kind = TARSA_JOB_MERGE;
        job_.merge_param = param();
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
        FakeMerge::TearDown();
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
    uint32_t status(file_info *f) const { return f->status.load(); }

    merge_info job_{};
    adt_dlist *list_ = nullptr;
};

TEST_F(TmpStage, ThirdSourceStartsWhenASlotIsFree)
{
    file_info *a = add(), *b = add(), *c = add();
    script("pid\nprint frame=250 time=00:00:10.00 bitrate=1\nexit 0\n");
    EXPECT_EQ(process_create_tmp_file(list_), 0);
    EXPECT_EQ(status(a), static_cast<uint32_t>(MERGE_STATUS_TYPE_RUNNING));
    EXPECT_EQ(status(b), static_cast<uint32_t>(MERGE_STATUS_TYPE_RUNNING));
    EXPECT_EQ(status(c), static_cast<uint32_t>(MERGE_STATUS_TYPE_NONE));
    EXPECT_EQ(job_.tmp_slots.load(), 0u);
    ASSERT_TRUE(tt::wait_until([&] { return a->pos.load() == 100 && b->pos.load() == 100; }, 10000));
    // Both close in this pass; the freed slot starts the third at once.
    EXPECT_EQ(process_create_tmp_file(list_), 200 / 3);
    EXPECT_EQ(status(a), static_cast<uint32_t>(MERGE_STATUS_TYPE_DONE));
    EXPECT_EQ(status(c), static_cast<uint32_t>(MERGE_STATUS_TYPE_RUNNING));
    EXPECT_EQ(tt::count_message(log_, "add " + std::string(a->src_file) + " to transcode list ok!"), 1);
    ASSERT_TRUE(tt::wait_until([&] { return c->pos.load() == 100; }, 10000));
    EXPECT_EQ(process_create_tmp_file(list_), 100);
    EXPECT_EQ(status(c), static_cast<uint32_t>(MERGE_STATUS_TYPE_DONE));
    EXPECT_EQ(job_.tmp_slots.load(), 2u);
    EXPECT_EQ(tt::count_children("ffmpeg"), 0);
}

TEST_F(TmpStage, ProgressStaysBelowHundredUntilTheEnd)
{
    file_info *a = add(10);
    script("pid\nprint frame=125 time=00:00:05.00 bitrate=1\nsleep 300\n"
           "print frame=300 time=00:00:12.00 bitrate=1\nsleep 300\nexit 0\n");
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
    script("pid\nprint frame=175 time=00:00:07.00 bitrate=1\nsleep 200\nexit 0\n");
    ASSERT_EQ(create_merge_tmp_file(a), 1);
    ASSERT_TRUE(tt::wait_until([&] { return a->pos.load() != 0; }, 10000));
    EXPECT_EQ(a->pos.load(), 100u);
    EXPECT_EQ(a->result.duration, 7);
}

TEST_F(TmpStage, ChildWithoutProgressFailsAndIsDropped)
{
    file_info *a = add(), *b = add();
    script("pid\nprint no progress\nexit 1\n");
    EXPECT_EQ(process_create_tmp_file(list_), 0);
    ASSERT_TRUE(tt::wait_until([&] { return status(a) == MERGE_STATUS_TYPE_FAILED; }, 10000));
    ASSERT_TRUE(tt::wait_until([&] { return status(b) == MERGE_STATUS_TYPE_FAILED; }, 10000));
    EXPECT_EQ(tt::count_message(log_, "merge_tmp_file END [file_name]:" + std::string(a->src_file) +
                                          " last_time == -1"),
              1);
    // The host's -1 aborts the pass with the list as it is.
    recorder_.on_event = [](const tt::RecordedEvent &) { return -1; };
    EXPECT_EQ(process_create_tmp_file(list_), -1);
    EXPECT_EQ(adt_dlist_size(list_), 2);
    ASSERT_EQ(recorder_.count(TARSA_EVENT_MERGE_SRC_FAIL), 1);
    EXPECT_EQ(recorder_.events()[0].name, std::string(a->src_file));
    // Any other answer drops both; the slots come back.
    recorder_.on_event = nullptr;
    EXPECT_EQ(process_create_tmp_file(list_), 0);
    EXPECT_EQ(adt_dlist_size(list_), 0);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_SRC_FAIL), 3);
    EXPECT_EQ(job_.tmp_slots.load(), 2u);
    EXPECT_EQ(tt::count_children("ffmpeg"), 0);
}

}  // namespace
