// Conversion, cut and merge with the real tools: the final events and the probed destination.
#include <gtest/gtest.h>

#include <algorithm>
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
    // Waits for the final event of a started job: 100 without a failure, positions rising.
    void finish(uint32_t pos, uint32_t fail)
    {
        ASSERT_TRUE(tt::wait_until([&] { return events_.count(pos, 100) + events_.count(fail) > 0; }, kTimeoutMs));
        EXPECT_EQ(events_.count(fail) + events_.count(TARSA_EVENT_MERGE_SRC_FAIL), 0);
        const std::vector<uint32_t> positions = tt::positions(events_.all());
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    }
    static probe_result probed(const std::string &path)
    {
        probe_result r = {};
        EXPECT_EQ(tarsa_sdk_probe_ex(path.c_str(), &r), 1) << path;
        return r;
    }
};

// A conversion resizes; a cut (encoded, so exact at any time) holds its range.
TEST_F(RealJobs, ConversionResizesAndCutHoldsTheRange)
{
    const std::string src = media("src.mp4", 6), dst = dir_.file("resized.flv"), cut = dir_.file("cut.mp4");
    const cvt_param_v1 p = tt::cvt_params({6, 160, 120, 1, 23});  // flv
    void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &p);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    finish(TARSA_EVENT_CVT_POS, TARSA_EVENT_CVT_FAIL);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    const probe_result r = probed(dst);
    EXPECT_EQ(std::make_pair(r.width, r.height), std::make_pair(160, 120));
    EXPECT_NEAR(r.duration, 6, 1);
    EXPECT_EQ(std::string(r.f_fmt), "flv");

    events_.clear();
    cut_param_v1 cp = tt::cut_params(3, 2, 3);
    cp.cut_param.force_encode = 1;
    job = tarsa_sdk_cut_create_v1(src.c_str(), cut.c_str(), &cp);
    ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
    finish(TARSA_EVENT_CUT_POS, TARSA_EVENT_CUT_FAIL);
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
    EXPECT_NEAR(probed(cut).duration, 3, 1);
}

// Stopped while its tool works: the tool and the stock program under it end.
TEST_F(RealJobs, StopMidRunLeavesNoToolRunning)
{
    const std::string src = media("long.mp4", 20), dst = dir_.file("stopped.mp4");
    const cvt_param_v1 p = tt::cvt_params({3, 0, 0, 1, 23});
    void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &p);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    int tool = -1;
    ASSERT_TRUE(tt::wait_until([&] { return (tool = tarsa_sdk_get_ffmpeg_pid(job)) > 0; }, kTimeoutMs));
    const int stock = tt::child_running(tool, tt::stock_ffmpeg());
    ASSERT_GT(stock, 0);
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_TRUE(tt::ends_within(tool, 1000));
    EXPECT_TRUE(tt::ends_within(stock, 1000));
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// Three sources joined whole; the third's other size is fitted into the first one's.
TEST_F(RealJobs, MergeJoinsEverySourceInTheFirstSourcesSize)
{
    const std::string dst = dir_.file("all.mp4");
    const merge_param p = tt::merge_params(3);
    void *job = tarsa_sdk_merge_create(dst.c_str(), &p);
    for (const std::string &src : {media("a.mp4", 2, 160), media("b.mp4", 2, 160), media("wide.mp4", 3, 320, 180)})
        ASSERT_EQ(tarsa_sdk_merge_add_file(job, src.c_str()), 1);
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    finish(TARSA_EVENT_MERGE_POS, TARSA_EVENT_MERGE_FAIL);
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
    const probe_result r = probed(dst);
    EXPECT_NEAR(r.duration, 7, 1);
    EXPECT_EQ(std::make_pair(r.width, r.height), std::make_pair(160, 120));
    // The probe reads the size at the start; the last second, re-encoded, shows the size at the end.
    const std::string tail = dir_.file("tail.mp4");
    ASSERT_TRUE(tt::ffmpeg_generate({"-sseof", "-1", "-i", dst, "-an", "-c:v", "libx264", tail}));
    const probe_result end = probed(tail);
    EXPECT_EQ(std::make_pair(end.width, end.height), std::make_pair(160, 120));
}

}  // namespace
