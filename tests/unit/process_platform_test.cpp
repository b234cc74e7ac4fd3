// The platform layer's process start times, which tell a tool's host from
// a process that reused its id.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tool/runner.h"
#include "processes.h"
#include "test_util.h"
#include "platform/platform.h"

namespace {

TEST(ProcessStartTime, OfLiveProcessesAndNone)
{
    EXPECT_EQ(os_process_start_time(getpid()), tt::start_time_of(getpid()));
    char marker[64];
    ASSERT_EQ(os_host_marker(getpid(), marker, sizeof marker), 0);
    EXPECT_EQ(std::string(marker), std::to_string(getpid()) + ":" + std::to_string(tt::start_time_of(getpid())));

    // The command name field may hold ") " itself; fields count after the last ')'.
    tt::TempDir tmp;
    const std::string odd = tmp.file("a) b c (d");
    std::filesystem::copy_file(tt::bin_dir() + "fake_tool", odd);
    chmod(odd.c_str(), 0755);
    pipe_info *fp = pipe_popen({odd, "--run", "hang"}, "r");
    ASSERT_NE(fp, nullptr);
    const int pid = pipe_child_pid(fp);
    EXPECT_EQ(os_process_start_time(pid), tt::start_time_of(pid));
    kill_process(pid);
    pipe_pclose(fp);

    for (int none : {0, -7, 0x3fffffff}) EXPECT_EQ(os_process_start_time(none), -1);  // the last above any pid_max
    EXPECT_EQ(os_host_marker(0x3fffffff, marker, sizeof marker), -1);
    char tiny[4];
    EXPECT_EQ(os_host_marker(getpid(), tiny, sizeof tiny), -1);
    EXPECT_STREQ(tiny, "");
}

// A file's status carries its size; a missing file gives an error and
// leaves the record as it was.
TEST(FileStatus, SizeOfAFileAndErrorForNone)
{
    tt::TempDir dir;
    ASSERT_TRUE(tt::write_file(dir.file("five"), "12345"));
    os_file_status st = {-1, -1};
    ASSERT_EQ(os_stat(dir.file("five").c_str(), &st), 0);
    EXPECT_EQ(st.size, 5);
    EXPECT_GT(st.mtime, 0);
    os_file_status none = {-1, -1};
    EXPECT_NE(os_stat(dir.file("missing").c_str(), &none), 0);
    EXPECT_EQ(none.size, -1);
}

}  // namespace
