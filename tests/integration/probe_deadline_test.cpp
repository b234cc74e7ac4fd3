// A source that never delivers data (here a FIFO nobody writes) ends the
// probe and the job creation after the probe deadline, with no tool left.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>

#include "jobs.h"
#include "processes.h"

namespace {

TEST(ProbeDeadline, AStalledSourceFailsInsteadOfHanging)
{
    tt::sdk_startup();
    tt::TempDir dir;
    const std::string fifo = dir.file("stalled.mp4");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    setenv("TARSASDK_PROBE_TIMEOUT", "1", 1);
    const auto start = std::chrono::steady_clock::now();
    probe_result r = {};
    probe_result_ex rx = {};
    EXPECT_EQ(tarsa_sdk_probe_ex(fifo.c_str(), &r), 0);
    EXPECT_EQ(tarsa_sdk_probe_ex2(fifo.c_str(), &rx), 0);
    EXPECT_EQ(tarsa_sdk_probe(fifo.c_str()), 0);
    const cvt_param_v1 cvt = tt::cvt_params({6, 0, 0, 1, 23});
    EXPECT_EQ(tarsa_sdk_create_v1(fifo.c_str(), dir.file("out.flv").c_str(), &cvt), TARSA_INVALID_HANDLE);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unsetenv("TARSASDK_PROBE_TIMEOUT");
    EXPECT_LT(seconds, 12.0);  // four runs of about a second each, not for ever
    EXPECT_TRUE(tt::child_pids().empty());
}

}  // namespace
