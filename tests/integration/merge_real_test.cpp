// Merge jobs with the real tools on small generated media: the destination
// is probed, the events are checked against the overall position rules,
// and after every ending nothing is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "log_text.h"
#include "job_scope.h"
#include "proc_counts.h"
#include "sdk/job_records.h"
#include "sdk/merge_sources.h"
#include "sdk/sdk_globals.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

constexpr int kMergeTimeoutMs = 120000;

merge_param make_param(uint32_t dst_file_type, uint32_t width = 0, uint32_t height = 0, uint32_t audio_enable = 1)
{
    merge_param p;
    std::memset(&p, 0, sizeof p);
    p.dst_file_type = dst_file_type;
    p.width = width;
    p.height = height;
    p.audio_enable = audio_enable;
    p.quality = 23;
    return p;
}

probe_result probe(const std::string &path)
{
    probe_result r;
    std::memset(&r, 0, sizeof r);
    EXPECT_EQ(tarsa_sdk_probe_ex(path.c_str(), &r), 1) << path;
    return r;
}

// Names of the files in `dir` that are merge temporaries.
std::vector<std::string> temporaries_in(const std::string &dir)
{
    std::vector<std::string> out;
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("merge_tmp_file-", 0) == 0) out.push_back(name);
    }
    return out;
}

class RealMerge : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tarsa_sdk_startup(); }

    void SetUp() override
    {
        recorder_.on_event = [this](const tt::RecordedEvent &e) -> int32_t {
            if (e.code == TARSA_EVENT_MERGE_POS && !log_.contains("[process_merge_file] cmd:"))
                tmp_stage_max_.store(std::max(tmp_stage_max_.load(), e.p2));
            if (also_) also_(e);
            return e.code == TARSA_EVENT_MERGE_SRC_FAIL ? answer_301_.load() : 0;
        };
    }

    std::string source(const std::string &name, int seconds, int width = 160, int height = 120)
    {
        std::string path = dir_.file(name);
        EXPECT_TRUE(tt::make_mp4_h264_aac(path, seconds, width, height)) << path;
        return path;
    }

    void *create(const std::string &dst, const merge_param &p)
    {
        void *job = tarsa_sdk_merge_create(dst.c_str(), &p);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        return job;
    }

    bool ended() const
    {
        return recorder_.count(TARSA_EVENT_MERGE_POS, 100) > 0 || recorder_.count(TARSA_EVENT_MERGE_FAIL) > 0;
    }

    // Runs the job until its final event, then stops it.
    void run_to_end(void *job)
    {
        ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
        ASSERT_TRUE(tt::wait_until([this] { return ended(); }, kMergeTimeoutMs));
        EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);
    }

    // One success: position events that never go down, at most 95 before
    // the joining, one final 300/100 and no failure.
    void expect_one_success(void *job)
    {
        std::vector<tt::RecordedEvent> events = recorder_.events();
        uint32_t last = 0;
        for (const tt::RecordedEvent &e : events) {
            if (e.code != TARSA_EVENT_MERGE_POS) continue;
            EXPECT_GE(e.p2, last);
            last = e.p2;
        }
        EXPECT_LE(tmp_stage_max_.load(), 95u);
        EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_POS, 100), 1);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().code, static_cast<uint32_t>(TARSA_EVENT_MERGE_POS));
        EXPECT_EQ(events.back().p2, 100u);
        EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_FAIL), 0);
        EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 100);
    }

    // Stopped: no temporary on disk, no tool child, both slots free.
    void expect_nothing_left(void *job, const std::string &tmp_dir)
    {
        EXPECT_TRUE(temporaries_in(tmp_dir).empty());
        EXPECT_EQ(tt::count_children("ffmpeg"), 0);
        EXPECT_EQ(tt::count_children("ffprobe"), 0);
        EXPECT_EQ(static_cast<merge_info *>(job)->tmp_slots.load(), 2u);
    }

    tt::TempDir dir_;
    tt::LogCapture log_;
    tt::EventRecorder recorder_;
    // Filled and read by the event hook, which runs on the merge worker.
    std::atomic<uint32_t> tmp_stage_max_{0};  // highest position before the joining
    std::atomic<int32_t> answer_301_{0};
    std::function<void(const tt::RecordedEvent &)> also_;
};

TEST_F(RealMerge, ThreeMp4SourcesIntoMp4)
{
    std::string a = source("a.mp4", 10), b = source("b.mp4", 6), c = source("c.mp4", 10);
    std::string dst = dir_.file("all.mp4");
    void *job = create(dst, make_param(3));
    for (const std::string &s : {a, b, c}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);
    dst_info info;
    std::memset(&info, 0, sizeof info);
    ASSERT_EQ(tarsa_sdk_merge_start_ex(job, &info), 1);
    // mp4 sources into type 3: the video is copied, AAC is encoded anew.
    EXPECT_EQ(info.video_copy, 1u);
    EXPECT_EQ(info.audio_copy, 0u);
    EXPECT_STREQ(info.f_fmt, "mp4");
    EXPECT_STREQ(info.a_fmt, "aac");
    ASSERT_TRUE(tt::wait_until([this] { return ended(); }, kMergeTimeoutMs));
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);

    expect_one_success(job);
    probe_result r = probe(dst);
    EXPECT_NEAR(r.duration, 26, 1);
    EXPECT_STREQ(r.f_fmt, "mov");
    EXPECT_EQ(std::string(r.v_fmt).rfind("h264", 0), 0u) << r.v_fmt;
    EXPECT_STREQ(r.a_fmt, "aac");
    EXPECT_EQ(r.width, 160);
    EXPECT_EQ(r.height, 120);
    EXPECT_TRUE(log_.contains("\xE3\x80\x90YES\xE3\x80\x91" + dst));
    expect_nothing_left(job, dir_.path());
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
}

TEST_F(RealMerge, SourcesOfDifferentSizesTakeTheRequestedSize)
{
    std::string a = source("a.mp4", 3, 160, 120), b = source("b.mp4", 3, 176, 144);
    std::string dst = dir_.file("sized.mp4");
    void *job = create(dst, make_param(3, 128, 96));
    for (const std::string &s : {a, b}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);
    run_to_end(job);

    expect_one_success(job);
    probe_result r = probe(dst);
    EXPECT_EQ(r.width, 128);
    EXPECT_EQ(r.height, 96);
    EXPECT_NEAR(r.duration, 6, 1);
    expect_nothing_left(job, dir_.path());
    tarsa_sdk_merge_destroy(job);
}

TEST_F(RealMerge, FlvDestination)
{
    std::string a = source("a.mp4", 3), b = source("b.mp4", 4);
    std::string dst = dir_.file("all.flv");
    void *job = create(dst, make_param(6));
    for (const std::string &s : {a, b}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);
    run_to_end(job);

    expect_one_success(job);
    probe_result r = probe(dst);
    EXPECT_STREQ(r.f_fmt, "flv");
    EXPECT_NEAR(r.duration, 7, 1);
    EXPECT_STREQ(r.a_fmt, "aac");
    expect_nothing_left(job, dir_.path());
    tarsa_sdk_merge_destroy(job);
}

TEST_F(RealMerge, AudioDisabledGivesVideoOnly)
{
    std::string a = source("a.mp4", 3), b = source("b.mp4", 3);
    std::string dst = dir_.file("mute.mp4");
    void *job = create(dst, make_param(3, 0, 0, 0));
    for (const std::string &s : {a, b}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);
    run_to_end(job);

    expect_one_success(job);
    probe_result r = probe(dst);
    EXPECT_NE(r.v_fmt[0], '\0');
    EXPECT_STREQ(r.a_fmt, "");
    EXPECT_NEAR(r.duration, 6, 1);
    expect_nothing_left(job, dir_.path());
    tarsa_sdk_merge_destroy(job);
}

TEST_F(RealMerge, TemporariesGoIntoTheDirectorySet)
{
    char saved[MAX_PATH];
    str_copy(saved, sizeof saved, s_tmp_path);
    std::string a = source("a.mp4", 3), b = source("b.mp4", 3);
    std::string tmp_dir = dir_.file("tmp");
    ASSERT_EQ(tarsa_sdk_merge_set_tmp_path(tmp_dir.c_str()), 1);
    std::string dst = dir_.file("out.mp4");
    void *job = create(dst, make_param(3));
    for (const std::string &s : {a, b}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);
    // Seen while the temporaries are made: they lie in the directory set.
    size_t most_seen = 0;
    also_ = [&](const tt::RecordedEvent &e) {
        if (e.code == TARSA_EVENT_MERGE_POS && e.p2 == 95) most_seen = temporaries_in(tmp_dir).size();
    };
    run_to_end(job);
    str_copy(s_tmp_path, sizeof s_tmp_path, saved);

    EXPECT_EQ(most_seen, 2u);
    expect_one_success(job);
    EXPECT_NEAR(probe(dst).duration, 6, 1);
    expect_nothing_left(job, tmp_dir);
    EXPECT_TRUE(temporaries_in(dir_.path()).empty());
    tarsa_sdk_merge_destroy(job);
}

// A source that the probe accepted but that is gone when its temporary is
// made: its tool child ends without progress.
class FailingSource : public RealMerge {
protected:
    void SetUp() override
    {
        RealMerge::SetUp();
        a_ = source("a.mp4", 3);
        b_ = source("b.mp4", 2);
        c_ = source("c.mp4", 4);
        job_ = create(dir_.file("all.mp4"), make_param(3));
        for (const std::string &s : {a_, b_, c_}) ASSERT_EQ(tarsa_sdk_merge_add_file(job_, s.c_str()), 1);
        ASSERT_TRUE(std::filesystem::remove(b_));
    }
    void TearDown() override { tarsa_sdk_merge_destroy(job_); }

    std::string a_, b_, c_;
    void *job_ = nullptr;
};

TEST_F(FailingSource, AnsweredZeroMergesWithoutIt)
{
    run_to_end(job_);

    std::vector<tt::RecordedEvent> dropped;
    for (const tt::RecordedEvent &e : recorder_.events())
        if (e.code == TARSA_EVENT_MERGE_SRC_FAIL) dropped.push_back(e);
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped[0].name, b_);
    EXPECT_EQ(dropped[0].p2, b_.size());
    EXPECT_EQ(tt::count_message(log_, "merge_tmp_file END [file_name]:" + b_ + " last_time == -1"), 1);
    expect_one_success(job_);
    EXPECT_NEAR(probe(dir_.file("all.mp4")).duration, 7, 1);
    expect_nothing_left(job_, dir_.path());
}

TEST_F(FailingSource, AnsweredMinusOneEndsWithoutFinalEvent)
{
    answer_301_.store(-1);
    ASSERT_EQ(tarsa_sdk_merge_start(job_), 1);
    ASSERT_TRUE(tt::wait_until([this] { return log_.contains("process_create_tmp_file fail!"); }, kMergeTimeoutMs));
    EXPECT_EQ(tarsa_sdk_merge_stop(job_), 1);

    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_SRC_FAIL), 1);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_POS, 100), 0);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_FAIL), 0);
    EXPECT_FALSE(log_.contains("[process_merge_file] cmd:"));
    EXPECT_FALSE(tt::file_exists(dir_.file("all.mp4")));
    expect_nothing_left(job_, dir_.path());
}

TEST_F(RealMerge, AtMostTwoTemporariesAtATime)
{
    std::vector<std::string> sources;
    for (const char *name : {"a.mp4", "b.mp4", "c.mp4", "d.mp4"}) sources.push_back(source(name, 3));
    // A requested size makes every temporary a real transcode.
    void *job = create(dir_.file("four.mp4"), make_param(3, 128, 96));
    for (const std::string &s : sources) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);

    std::atomic<bool> sampling{true};
    std::atomic<int> most{0};
    std::thread sampler([&] {
        while (sampling.load()) {
            if (log_.contains("[process_merge_file] cmd:")) break;  // the joining child is not a temporary
            const int n = tt::count_children("ffmpeg");
            if (n > most.load()) most.store(n);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    run_to_end(job);
    sampling.store(false);
    sampler.join();

    EXPECT_EQ(most.load(), 2);
    expect_one_success(job);
    EXPECT_NEAR(probe(dir_.file("four.mp4")).duration, 12, 1);
    expect_nothing_left(job, dir_.path());
    tarsa_sdk_merge_destroy(job);
}

}  // namespace
