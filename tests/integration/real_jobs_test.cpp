// Conversion, cut and merge with the real tools: the final events and the probed destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "jobs.h"
#include "processes.h"

namespace {

constexpr int kTimeoutMs = 120000;

class RealJobs : public tt::JobTest {
protected:
    std::string media(const std::string &name, int seconds, int width = 320, int height = 0)
    {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(tt::make_h264_aac(path, seconds, width, height ? height : width * 3 / 4));
        return path;
    }
    // Starts the merge of `sources` and waits for its final event.
    void merge(void *job, const std::vector<std::string> &sources)
    {
        ASSERT_NE(job, TARSA_INVALID_HANDLE);
        for (const std::string &src : sources) ASSERT_EQ(tarsa_sdk_merge_add_file(job, src.c_str()), 1);
        ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
        ASSERT_TRUE(tt::wait_until(
            [&] { return events_.count(TARSA_EVENT_MERGE_POS, 100) + events_.count(TARSA_EVENT_MERGE_FAIL) > 0; },
            kTimeoutMs));
        EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_FAIL) + events_.count(TARSA_EVENT_MERGE_SRC_FAIL), 0);
    }
    static probe_result probed(const std::string &path)
    {
        probe_result r = {};
        EXPECT_EQ(tarsa_sdk_probe_ex(path.c_str(), &r), 1) << path;
        return r;
    }
    void expect_rising_positions()
    {
        const std::vector<uint32_t> pos = tt::positions(events_.all());
        EXPECT_TRUE(std::is_sorted(pos.begin(), pos.end()));
    }
};

TEST_F(RealJobs, ConversionResizesAndReportsItsEnd)
{
    const std::string src = media("src.mp4", 4), dst = dir_.file("resized.flv");
    const cvt_param_v1 p = tt::cvt_params({6, 160, 120, 1, 23});  // flv
    void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &p);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    ASSERT_TRUE(events_.wait_for(TARSA_EVENT_CVT_POS, 100, kTimeoutMs));
    EXPECT_EQ(events_.count(TARSA_EVENT_CVT_FAIL), 0);
    expect_rising_positions();
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    const probe_result r = probed(dst);
    EXPECT_EQ(r.width, 160);
    EXPECT_EQ(r.height, 120);
    EXPECT_NEAR(r.duration, 4, 1);
    EXPECT_EQ(std::string(r.f_fmt), "flv");
}

// Stopped while its tool works: the tool and the stock program under it end.
TEST_F(RealJobs, StopMidRunLeavesNoToolRunning)
{
    const std::string src = media("long.mp4", 20), dst = dir_.file("stopped.mp4");
    const cvt_param_v1 p = tt::cvt_params({3, 0, 0, 1, 23});
    void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &p);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    int tool = -1;
    ASSERT_TRUE(tt::wait_until([&] { return (tool = tarsa_sdk_get_ffmpeg_pid(job)) > 0; }, kTimeoutMs));
    const int stock = tt::child_running(tool, tt::stock_ffmpeg());
    ASSERT_GT(stock, 0);
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_TRUE(tt::ends_within(tool, 1000));
    EXPECT_TRUE(tt::ends_within(stock, 1000));
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    EXPECT_TRUE(tt::child_pids().empty());
}

TEST_F(RealJobs, CutHoldsTheRange)
{
    const std::string src = media("src.mp4", 6), dst = dir_.file("cut.mp4");
    cut_param_v1 p = tt::cut_params(3, 2, 3);
    p.cut_param.force_encode = 1;  // exact at any time, not only at key frames
    void *job = tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &p);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    ASSERT_TRUE(tt::wait_until([&] { return events_.count(TARSA_EVENT_CUT_POS, 100) + events_.count(TARSA_EVENT_CUT_FAIL) > 0; },
                               kTimeoutMs));
    EXPECT_EQ(events_.count(TARSA_EVENT_CUT_FAIL), 0);
    expect_rising_positions();
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
    EXPECT_NEAR(probed(dst).duration, 3, 1);
}

TEST_F(RealJobs, MergeOfThreeSourcesJoinsThemAll)
{
    const std::string dst = dir_.file("all.mp4");
    const merge_param p = tt::merge_params(3);
    void *job = tarsa_sdk_merge_create(dst.c_str(), &p);
    merge(job, {media("a.mp4", 2, 160), media("b.mp4", 2, 160), media("c.mp4", 2, 160)});
    expect_rising_positions();
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
    EXPECT_NEAR(probed(dst).duration, 6, 1);
    EXPECT_TRUE(tt::merge_temporaries(dir_.path()).empty());
    EXPECT_TRUE(tt::child_pids().empty());
}

TEST_F(RealJobs, MergeKeepingSizesGivesTheFirstSourcesSizeThroughout)
{
    const std::string dst = dir_.file("two_sizes.mp4");
    const merge_param p = tt::merge_params(3);
    void *job = tarsa_sdk_merge_create(dst.c_str(), &p);
    merge(job, {media("small.mp4", 2, 160, 120), media("wide.mp4", 3, 320, 180)});
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
    const probe_result r = probed(dst);
    EXPECT_NEAR(r.duration, 5, 1);
    EXPECT_EQ(std::make_pair(r.width, r.height), std::make_pair(160, 120));
    // The probe reads the size at the start; the last second, re-encoded, shows the size at the end.
    const std::string tail = dir_.file("tail.mp4");
    ASSERT_TRUE(tt::ffmpeg_generate({"-sseof", "-1", "-i", dst, "-an", "-c:v", "libx264", tail}));
    const probe_result end = probed(tail);
    EXPECT_EQ(std::make_pair(end.width, end.height), std::make_pair(160, 120));
}

}  // namespace
