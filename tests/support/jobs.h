// Fixtures of the job tests: a directory for the job's files, the events
// recorded, the log captured; parameters without hardware; and the fake
// tool in place of the library's tools.
#ifndef TARSA_TEST_JOBS_H
#define TARSA_TEST_JOBS_H

#include <gtest/gtest.h>

#include <string>

#include "fake_tools.h"
#include "job_events.h"
#include "log_capture.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace tt {

inline cvt_param_v1 cvt_params(const cvt_param &p) { return {p, HWD_USAGE_NONE, -1, {}}; }
inline cut_param_v1 cut_params(int dst_file_type, int start_time, int cut_length)  // quality 5, audio on
{
    return {{dst_file_type, 0, 0, start_time, cut_length, 0, 1, 5}, HWD_USAGE_NONE, -1, {}};
}
inline merge_param merge_params(uint32_t dst_file_type, uint32_t width = 0, uint32_t height = 0,
                                uint32_t audio_enable = 1)
{
    return {dst_file_type, width, height, audio_enable, 23};
}

class JobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sdk_startup(); }
    TempDir dir_;
    LogCapture log_;
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
    FakeTools tools_;
};

}  // namespace tt

#endif
