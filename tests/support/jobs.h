// Fixtures of the job tests: a directory for the job's files, the events
// recorded; parameters without hardware; and the fake tool in place of the
// library's tools.
#ifndef TARSA_TEST_JOBS_H
#define TARSA_TEST_JOBS_H

#include <gtest/gtest.h>

#include <string>

#include "fake_tools.h"
#include "job_events.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace tt {

inline cvt_param_v1 cvt_params(const cvt_param &p) { return {p, HWD_USAGE_NONE, -1, {}}; }
inline cut_param_v1 cut_params(int dst_file_type, int start_time, int cut_length)  // quality 5, audio on
{
    return {{dst_file_type, 0, 0, start_time, cut_length, 0, 1, 5}, HWD_USAGE_NONE, -1, {}};
}
inline merge_param merge_params(uint32_t dst_file_type, uint32_t width = 0, uint32_t height = 0)  // audio on
{
    return {dst_file_type, width, height, 1, 23};
}

class JobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sdk_startup(); }
    TempDir dir_;
    EventLog events_;
};

class FakeJobTest : public JobTest {
protected:
    // A file standing for a source: not media, the fake probe reports it.
    std::string source(const std::string &name)
    {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(write_file(path, "not media"));
        return path;
    }
    // Jobs of src.flv into dst_ (the merge: of a.mp4 and b.mp4, probed as MP4, into merge_dst_), made but not started.
    void *conversion()
    {
        const cvt_param_v1 p = cvt_params({6, 0, 0, 1, 23});
        return tarsa_sdk_create_v1(source("src.flv").c_str(), dst_.c_str(), &p);
    }
    void *cut()
    {
        const cut_param_v1 p = cut_params(6, 0, 10);
        return tarsa_sdk_cut_create_v1(source("src.flv").c_str(), dst_.c_str(), &p);
    }
    void *merge_of()
    {
        tools_.probe_media("mov,mp4,m4a,3gp,3g2,mj2");
        const merge_param p = merge_params(3);
        void *job = tarsa_sdk_merge_create(merge_dst_.c_str(), &p);
        for (const char *name : {"a.mp4", "b.mp4"}) EXPECT_EQ(tarsa_sdk_merge_add_file(job, source(name).c_str()), 1);
        return job;
    }
    FakeTools tools_;
    const std::string dst_ = dir_.file("dst.flv"), merge_dst_ = dir_.file("all.mp4");
};

}  // namespace tt

#endif
