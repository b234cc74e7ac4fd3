// The platform layer's process queries: start times and the library's own
// directory.
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
    EXPECT_GE(os_process_start_time(pid), os_process_start_time(getpid()));
    kill_process(pid);
    pipe_pclose(fp);

    EXPECT_EQ(os_process_start_time(0), -1);
    EXPECT_EQ(os_process_start_time(-7), -1);
    EXPECT_EQ(os_process_start_time(0x3fffffff), -1);  // above any pid_max
    EXPECT_EQ(os_host_marker(0x3fffffff, marker, sizeof marker), -1);
    char tiny[4];
    EXPECT_EQ(os_host_marker(getpid(), tiny, sizeof tiny), -1);
    EXPECT_STREQ(tiny, "");
}

TEST(ModuleDir, IsTheDirectoryOfTheFileHoldingTheCode)
{
    const std::string dir = tt::bin_dir();
    std::string buf(dir.size() + 1, '#');
    EXPECT_EQ(os_module_dir(&buf[0], dir.size()), -1);  // no room for the terminator
    EXPECT_EQ(buf[0], '\0');
    ASSERT_EQ(os_module_dir(&buf[0], dir.size() + 1), 0);
    EXPECT_STREQ(buf.c_str(), dir.c_str());
}

}  // namespace
