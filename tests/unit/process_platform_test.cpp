// The platform layer's process queries: start times, exit queries without
// reaping, and the library's own directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "cvt/runner.h"
#include "fake_tools.h"
#include "support/platform.h"
#include "test_util.h"

namespace {

long long start_time_of(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int n = 3; n <= 22; n++) fields >> field;
    return std::stoll(field);
}

TEST(ProcessStartTime, OwnProcess)
{
    EXPECT_EQ(os_process_start_time(getpid()), start_time_of(getpid()));
    char marker[64];
    ASSERT_EQ(os_host_marker(getpid(), marker, sizeof marker), 0);
    EXPECT_EQ(std::string(marker), std::to_string(getpid()) + ":" + std::to_string(start_time_of(getpid())));
}

TEST(ProcessStartTime, NameWithBlanksAndParentheses)
{
    // The command name field may hold ") " itself; fields count after the last ')'.
    tt::TempDir tmp;
    const std::string odd = tmp.file("a) b c (d");
    std::filesystem::copy_file((tt::bin_dir() + "fake_tool"), odd);
    chmod(odd.c_str(), 0755);
    pipe_info *fp = pipe_popen(("\"" + odd + "\" --run hang").c_str(), "r");
    ASSERT_NE(fp, nullptr);
    int pid = pipe_child_pid(fp);
    long long expected = start_time_of(pid);
    EXPECT_EQ(os_process_start_time(pid), expected);
    EXPECT_GE(expected, os_process_start_time(getpid()));
    kill_process(pid);
    pipe_pclose(fp);
}

TEST(ProcessStartTime, NoSuchProcess)
{
    EXPECT_EQ(os_process_start_time(0), -1);
    EXPECT_EQ(os_process_start_time(-7), -1);
    EXPECT_EQ(os_process_start_time(0x3fffffff), -1);  // above any pid_max
    char marker[64] = "unchanged";
    EXPECT_EQ(os_host_marker(0x3fffffff, marker, sizeof marker), -1);
    char tiny[4];
    EXPECT_EQ(os_host_marker(getpid(), tiny, sizeof tiny), -1);
    EXPECT_STREQ(tiny, "");
}

TEST(ProcessExitPeek, DoesNotReap)
{
    pipe_info *fp = pipe_popen(tt::fake_cmd({"exit 0"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    int pid = pipe_child_pid(fp);
    EXPECT_EQ(tt::read_all(fp), std::vector<std::string>{});
    // Asked twice: the first query must not have consumed the exit.
    EXPECT_EQ(os_process_exit_peek(pid), OS_PROC_EXIT_ZERO);
    EXPECT_EQ(os_process_exit_peek(pid), OS_PROC_EXIT_ZERO);
    EXPECT_EQ(pipe_pclose(fp), 0);
    EXPECT_EQ(os_process_exit_peek(pid), -1);
    EXPECT_EQ(os_process_exit_peek(0), -1);
}

TEST(ModuleDir, IsTheDirectoryOfTheFileHoldingTheCode)
{
    char dir[4096];
    ASSERT_EQ(os_module_dir(dir, sizeof dir), 0);
    EXPECT_EQ(std::string(dir), tt::bin_dir());
}

TEST(ModuleDir, TooSmallBufferFails)
{
    const size_t need = tt::bin_dir().size() + 1;
    std::string buf(need, '#');
    EXPECT_EQ(os_module_dir(&buf[0], need - 1), -1);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(os_module_dir(&buf[0], need), 0);
    EXPECT_STREQ(buf.c_str(), tt::bin_dir().c_str());
}

}  // namespace
