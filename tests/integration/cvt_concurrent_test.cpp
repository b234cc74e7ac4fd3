// Several conversions at once: each job has its own tool and monitor and
// reports only its own events.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fake_jobs.h"
#include "job_events.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

TEST(CvtConcurrent, EightConversionsAtOnce)
{
    tt::sdk_startup();
    tt::TempDir dir;
    const std::string src = dir.file("src.mp4");
    ASSERT_TRUE(tt::make_mp4_h264_aac(src, 3));
    tt::EventLog events;
    const int threads = tt::thread_baseline();

    struct Job {
        std::string dst;
        cvt_param param;
        void *handle = nullptr;
        dst_info info;
    };
    std::vector<Job> jobs;
    for (int i = 0; i < 8; i++) {
        Job job;
        // Half copy the video into FLV, half re-encode at a smaller size.
        job.dst = dir.file("dst" + std::to_string(i) + (i % 2 ? ".mp4" : ".flv"));
        job.param = i % 2 ? cvt_param{3, 160, 120, 1, 23} : cvt_param{6, 0, 0, 1, 23};
        std::memset(&job.info, 0, sizeof job.info);
        jobs.push_back(job);
    }
    for (Job &job : jobs) {
        cvt_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.cvt_param = job.param;
        v1.usage_mode = HWD_USAGE_NONE;
        v1.hwd_type = -1;
        job.handle = tarsa_sdk_create_v1(src.c_str(), job.dst.c_str(), &v1);
        ASSERT_NE(job.handle, TARSA_INVALID_HANDLE);
    }
    for (Job &job : jobs) ASSERT_EQ(tarsa_sdk_start_ex(job.handle, &job.info), 1);

    for (Job &job : jobs) {
        EXPECT_TRUE(events.wait_end(job.handle, 120000)) << job.dst;
        EXPECT_TRUE(tt::conversion_events_ok(events.of(job.handle), false, job.dst)) << job.dst;
        EXPECT_EQ(tarsa_sdk_get_pos(job.handle), 100);
    }
    for (Job &job : jobs) {
        EXPECT_EQ(tarsa_sdk_stop(job.handle), 1);
        EXPECT_EQ(tarsa_sdk_destroy(job.handle), 1);
    }
    EXPECT_EQ(tt::thread_count(), threads);
    EXPECT_TRUE(tt::child_pids().empty());

    for (const Job &job : jobs) {
        probe_result result;
        std::memset(&result, 0, sizeof result);
        ASSERT_EQ(tarsa_sdk_probe_ex(job.dst.c_str(), &result), 1) << job.dst;
        const bool resized = job.param.width != 0;
        EXPECT_EQ(job.info.video_copy, resized ? 0u : 1u);
        EXPECT_STREQ(result.f_fmt, resized ? "mov" : "flv");
        EXPECT_STREQ(result.v_fmt, "h264 (High)");
        EXPECT_STREQ(result.a_fmt, "aac");
        EXPECT_EQ(result.width, resized ? 160 : 320);
        EXPECT_EQ(result.height, resized ? 120 : 240);
        EXPECT_EQ(result.duration, 3);
    }
}

// Many jobs with scripted tools, started and stopped from several host
// threads at once.
class CvtConcurrentHosts : public tt::FakeToolJobs {};

TEST_F(CvtConcurrentHosts, JobsOfSeveralHostThreads)
{
    std::string s = "pid\n";
    for (int t = 1; t <= 9; t++) s += "print " + tt::status_line(t) + "\nsleep 5\n";
    script(s + "exit 0\n");
    std::vector<std::thread> hosts;
    std::vector<int> failures(4, 0);
    for (int h = 0; h < 4; h++) {
        hosts.emplace_back([&, h] {
            for (int i = 0; i < 10; i++) {
                cvt_info *job = create();
                if (!job || tarsa_sdk_start(job) != 1) {
                    failures[h]++;
                    continue;
                }
                if (i % 2 == 0 && !events_.wait_end(job, 20000)) failures[h]++;
                if (tarsa_sdk_stop(job) != 1 || !events_.wait_end(job, 0)) failures[h]++;
                const auto ev = events_.of(job);
                if (i % 2 == 0 && tt::positions(ev) != std::vector<uint32_t>{10, 20, 30, 40, 50, 60, 70, 80, 90})
                    failures[h]++;
                if (!tt::conversion_events_ok(ev, false, dst_)) failures[h]++;
                events_.forget(job);
                tarsa_sdk_destroy(job);
            }
        });
    }
    for (std::thread &t : hosts) t.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_TRUE(tt::child_pids().empty());
}

}  // namespace
