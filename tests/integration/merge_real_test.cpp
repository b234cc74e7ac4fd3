// Merge jobs with the real tools on small generated media: the destination
// is probed, the events are checked against the overall position rules,
// and after every ending nothing is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "jobs.h"
#include "processes.h"
#include "job/job_records.h"
#include "job/merge_sources.h"

namespace {

constexpr int kMergeTimeoutMs = 120000;

probe_result probed(const std::string &path)
{
    probe_result r = {};
    EXPECT_EQ(tarsa_sdk_probe_ex(path.c_str(), &r), 1) << path;
    return r;
}

class RealMerge : public tt::JobTest {
protected:
    void SetUp() override
    {
        events_.on_event([this](const tt::JobEvent &e) -> int32_t {
            if (e.code == TARSA_EVENT_MERGE_POS && !log_.contains("[process_merge_file] cmd:"))
                tmp_stage_max_.store(std::max(tmp_stage_max_.load(), e.p2));
            if (e.code == TARSA_EVENT_MERGE_POS && e.p2 == 95)
                temporaries_at_95_.store(tt::merge_temporaries(tmp_dir_).size());
            return e.code == TARSA_EVENT_MERGE_SRC_FAIL ? answer_301_.load() : 0;
        });
    }

    // A job on `dst` with sources of these lengths (160x120 unless sizes are given).
    void *create(const std::string &dst, const merge_param &p, const std::vector<int> &seconds,
                 const std::vector<int> &widths = {})
    {
        void *job = tarsa_sdk_merge_create(dst.c_str(), &p);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        for (size_t i = 0; i < seconds.size(); i++) {
            const int w = i < widths.size() ? widths[i] : 160;
            sources_.push_back(dir_.file(std::string(1, static_cast<char>('a' + i)) + ".mp4"));
            EXPECT_TRUE(tt::make_h264_aac(sources_.back(), seconds[i], w, w * 3 / 4));
            EXPECT_EQ(tarsa_sdk_merge_add_file(job, sources_.back().c_str()), 1);
        }
        return job;
    }
    bool ended() const
    {
        return events_.count(TARSA_EVENT_MERGE_POS, 100) > 0 || events_.count(TARSA_EVENT_MERGE_FAIL) > 0;
    }
    // Runs the job until its final event, then stops it.
    void run_to_end(void *job, dst_info *info = nullptr)
    {
        ASSERT_EQ(info ? tarsa_sdk_merge_start_ex(job, info) : tarsa_sdk_merge_start(job), 1);
        ASSERT_TRUE(tt::wait_until([this] { return ended(); }, kMergeTimeoutMs));
        EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);
    }
    // One success: position events that never go down, at most 95 before
    // the joining, one final 300/100 and no failure.
    void expect_one_success(void *job)
    {
        const std::vector<uint32_t> pos = tt::positions(events_.all());
        EXPECT_TRUE(std::is_sorted(pos.begin(), pos.end()));
        EXPECT_LE(tmp_stage_max_.load(), 95u);
        EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 100), 1);
        ASSERT_FALSE(events_.all().empty());
        EXPECT_EQ(events_.all().back(), (tt::JobEvent{job, TARSA_EVENT_MERGE_POS, "", 100}));
        EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_FAIL), 0);
        EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 100);
    }
    // Stopped: no temporary on disk, no tool child, both slots free.
    void expect_nothing_left(void *job)
    {
        EXPECT_TRUE(tt::merge_temporaries(tmp_dir_).empty());
        EXPECT_TRUE(tt::child_pids().empty());
        EXPECT_EQ(static_cast<merge_info *>(job)->tmp_slots.load(), 2u);
    }

    std::vector<std::string> sources_;
    std::string tmp_dir_ = dir_.path();
    // Filled by the event hook, which runs on the merge worker.
    std::atomic<uint32_t> tmp_stage_max_{0};  // highest position before the joining
    std::atomic<size_t> temporaries_at_95_{0};
    std::atomic<int32_t> answer_301_{0};
};

// What start_ex reports, what the destination holds, and the end-of-job
// verdict. Merged mp4 sources into an mp4 keep their video, AAC is encoded
// anew; a size re-encodes both.
TEST_F(RealMerge, Destinations)
{
    const struct {
        const char *dst;
        merge_param param;
        std::vector<int> seconds, widths;
        uint32_t video_copy;
        const char *format;  // as start_ex names it
        int duration;
        const char *f_fmt, *a_fmt;
        int width, height;
    } cases[] = {
        {"all.mp4", tt::merge_params(3), {10, 6, 10}, {}, 1, "mp4", 26, "mov", "aac", 160, 120},
        {"sized.mp4", tt::merge_params(3, 128, 96), {3, 3}, {160, 176}, 0, "mp4", 6, "mov", "aac", 128, 96},
        {"all.flv", tt::merge_params(6), {3, 4}, {}, 1, "flv", 7, "flv", "aac", 160, 120},
        {"mute.mp4", tt::merge_params(3, 0, 0, 0), {3, 3}, {}, 1, "mp4", 6, "mov", "", 160, 120},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dst);
        events_.clear();
        sources_.clear();
        tmp_stage_max_.store(0);
        const std::string dst = dir_.file(c.dst);
        void *job = create(dst, c.param, c.seconds, c.widths);
        dst_info info = {};
        run_to_end(job, &info);
        EXPECT_EQ(info.video_copy, c.video_copy);
        EXPECT_EQ(info.audio_copy, 0u);
        EXPECT_STREQ(info.f_fmt, c.format);
        EXPECT_STREQ(info.a_fmt, "aac");
        expect_one_success(job);
        const probe_result r = probed(dst);
        EXPECT_NEAR(r.duration, c.duration, 1);
        EXPECT_STREQ(r.f_fmt, c.f_fmt);
        EXPECT_EQ(std::string(r.v_fmt).rfind("h264", 0), 0u) << r.v_fmt;
        EXPECT_STREQ(r.a_fmt, c.a_fmt);
        EXPECT_EQ(r.width, c.width);
        EXPECT_EQ(r.height, c.height);
        EXPECT_TRUE(log_.has_line("\xE3\x80\x90YES\xE3\x80\x91" + dst));
        expect_nothing_left(job);
        EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
    }
}

TEST_F(RealMerge, TemporariesGoIntoTheDirectorySet)
{
    char saved[MAX_PATH];
    str_copy(saved, sizeof saved, s_tmp_path);
    tmp_dir_ = dir_.file("tmp");
    ASSERT_EQ(tarsa_sdk_merge_set_tmp_path(tmp_dir_.c_str()), 1);
    const std::string dst = dir_.file("out.mp4");
    void *job = create(dst, tt::merge_params(3), {3, 3});
    run_to_end(job);
    str_copy(s_tmp_path, sizeof s_tmp_path, saved);

    EXPECT_EQ(temporaries_at_95_.load(), 2u);  // seen while the temporaries are made
    expect_one_success(job);
    expect_nothing_left(job);
    EXPECT_TRUE(tt::merge_temporaries(dir_.path()).empty());
    tarsa_sdk_merge_destroy(job);
}

// A source that the probe accepted but that is gone when its temporary is
// made: its tool child ends without progress, and the host's answer to the
// event decides.
TEST_F(RealMerge, FailingSourceIsDroppedOrEndsTheJobAsTheHostAnswers)
{
    for (int32_t answer : {0, -1}) {
        SCOPED_TRACE(answer);
        events_.clear();
        sources_.clear();
        log_.clear();
        answer_301_.store(answer);
        const std::string dst = dir_.file("all" + std::to_string(answer) + ".mp4");
        void *job = create(dst, tt::merge_params(3), {3, 2, 4});
        const std::string gone = sources_[1];
        ASSERT_TRUE(std::filesystem::remove(gone));
        if (answer == 0) {
            run_to_end(job);
            expect_one_success(job);
            EXPECT_NEAR(probed(dst).duration, 7, 1);
        } else {
            ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
            ASSERT_TRUE(tt::wait_until([this] { return log_.contains("process_create_tmp_file fail!"); },
                                       kMergeTimeoutMs));
            EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);
            EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_POS, 100), 0);
            EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_FAIL), 0);
            EXPECT_FALSE(log_.contains("[process_merge_file] cmd:"));
            EXPECT_FALSE(tt::file_exists(dst));
        }
        std::vector<tt::JobEvent> dropped;
        for (const tt::JobEvent &e : events_.all())
            if (e.code == TARSA_EVENT_MERGE_SRC_FAIL) dropped.push_back(e);
        EXPECT_EQ(dropped, (std::vector<tt::JobEvent>{
                               {job, TARSA_EVENT_MERGE_SRC_FAIL, gone, static_cast<uint32_t>(gone.size())}}));
        EXPECT_EQ(log_.count("merge_tmp_file END [file_name]:" + gone + " last_time == -1"), 1);
        expect_nothing_left(job);
        tarsa_sdk_merge_destroy(job);
    }
}

TEST_F(RealMerge, AtMostTwoTemporariesAtATime)
{
    // A requested size makes every temporary a real transcode.
    const std::string dst = dir_.file("four.mp4");
    void *job = create(dst, tt::merge_params(3, 128, 96), {3, 3, 3, 3});
    std::atomic<bool> sampling{true};
    std::atomic<size_t> most{0};
    std::thread sampler([&] {
        // Until the joining, whose child is not a temporary.
        while (sampling.load() && !log_.contains("[process_merge_file] cmd:")) {
            most.store(std::max(most.load(), tt::child_pids("ffmpeg").size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    run_to_end(job);
    sampling.store(false);
    sampler.join();

    EXPECT_EQ(most.load(), 2u);
    expect_one_success(job);
    EXPECT_NEAR(probed(dst).duration, 12, 1);
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

}  // namespace
