// Conversion jobs whose tools are the scriptable fake tool: the job's ffmpeg
// run plays script.txt, its probes (the source probe at creation and the
// end-of-job probe) play probe.txt, so the monitor meets exactly the output
// a test needs.
#ifndef TARSA_TEST_FAKE_JOBS_H
#define TARSA_TEST_FAKE_JOBS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job_events.h"
#include "sdk/job_records.h"
#include "test_util.h"

namespace tt {

class FakeToolJobs : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The job's ffmpeg run.
    void script(const std::string &text);
    // The probe reports an flv source with H.264 and AAC of this duration
    // (0: "N/A").
    void probe_duration(int seconds);
    // A job from the fake source to dst_ (type 6, no hardware).
    cvt_info *create();

    TempDir dir_;
    std::string tools_;  // the fake tools' directory, with '/'
    std::string src_;
    std::string dst_;
    EventLog events_;
};

// A status line of the tool at media time `seconds`.
std::string status_line(int seconds);

// The process ids of this process's children (reaped or not).
std::vector<int> child_pids();
// Entries of /proc/self/task and /proc/self/fd.
int thread_count();
// thread_count() as a baseline: one thread is started and joined first,
// since a sanitizer's helper thread appears at the process's first thread
// start and would otherwise count as left behind.
int thread_baseline();
std::vector<int> open_fds();
// Waits until the process is gone or has exited (a zombie has exited).
bool ends_within(int pid, int ms);

}  // namespace tt

#endif
