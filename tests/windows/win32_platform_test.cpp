// The Windows platform layer under the same contract as the POSIX one:
// argument lists reach the child exactly, output ends on hang-up, exit
// codes (259 included), kills, names in UTF-8, large files and the orphan
// rule of the process snapshot (which also needs the library directory).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "processes.h"
#include "test_util.h"
#include "tool/orphan_cleanup.h"

namespace {

std::string child_exe() { return tt::bin_dir() + "win_child.exe"; }

const std::vector<std::string> k_tricky = {
    "", " ", "plain", "two words", "\"", "\"\"", "a\"b", "back\\slash", "trail\\", "trail\\\\", "dir with space\\",
    "\\\"", "\\\\\"x", "tab\there", "-vf", "drawtext=text='a\\:b':x=1", "C:\\Program Files\\x.mp4", "vid\xC3\xA9o \xE4\xB8\xAD",
    "%PATH%", "^&|<>", "end\\\\\\\"q\\"};

// (The host marker a child gets is read on POSIX only: Windows tells a tool's host by its parent.)
TEST(Win32Process, ChildReceivesTheArgumentsExactlyAndItsWorkingDirectory)
{
    tt::TempDir dir;
    std::vector<std::string> argv = {child_exe(), "args"};
    argv.insert(argv.end(), k_tricky.begin(), k_tricky.end());
    const tt::Finished done = tt::run(argv, {}, dir.path(), 20000);
    EXPECT_EQ(done.exit_code, 0);
    std::vector<std::string> got = tt::split_lines(done.output);
    EXPECT_EQ(_stricmp(got.at(0).c_str(), dir.path().c_str()), 0) << done.output;
    // Empty arguments come back as empty lines; split_lines keeps those.
    EXPECT_EQ(std::vector<std::string>(got.begin() + 1, got.end()), k_tricky) << os_cmdline_quote(argv);
}

struct Started {
    int rd = -1, pid = -1;
    explicit Started(const std::vector<std::string> &argv)
    {
        int wr = -1;
        if (os_pipe_create(&rd, &wr) != 0) return;
        if (os_process_spawn(argv, nullptr, wr, &pid) != 0) pid = -1;
        os_fd_close(wr);  // only the child holds the write end now
    }
    ~Started()
    {
        if (pid > 0) {
            os_process_kill(pid);
            os_process_reap(pid);
        }
        os_fd_close(rd);
    }
    std::string drain()
    {
        std::string out;
        char buf[256];
        for (;;) {
            int ready = os_fd_poll(rd, 10000);
            if (ready <= 0) return out + "<poll " + std::to_string(ready) + ">";
            long n = os_fd_read(rd, buf, sizeof buf);
            if (n <= 0) return out;  // hang-up: every writer is gone
            out.append(buf, static_cast<size_t>(n));
        }
    }
    // The exit state once the child has ended (at most 5 s from now).
    int ended() const
    {
        int state = OS_PROC_RUNNING;
        tt::wait_until([&] { return (state = os_process_exit_peek(pid)) != OS_PROC_RUNNING; }, 5000);
        return state;
    }
};

TEST(Win32Process, ExitCodesAndEndOfOutput)
{
    const struct {
        int code;
        int expected;
    } cases[] = {{0, OS_PROC_EXIT_ZERO}, {3, OS_PROC_EXIT_NONZERO}, {259, OS_PROC_EXIT_NONZERO}};
    for (const auto &c : cases) {
        Started child({child_exe(), "exit", std::to_string(c.code)});
        ASSERT_GT(child.pid, 0);
        EXPECT_EQ(child.drain(), "bye") << c.code;  // last piece without line break, then hang-up
        EXPECT_EQ(os_fd_poll(child.rd, 0), OS_POLL_HUP);
        EXPECT_EQ(os_fd_bytes_waiting(child.rd), 0);
        EXPECT_EQ(child.ended(), c.expected) << c.code;
    }
    // A program that cannot start is reported as such.
    EXPECT_EQ(Started({tt::bin_dir() + "no_such_tool.exe"}).pid, -1);
}

TEST(Win32Process, SilentChildPollsWithoutBurningCpuAndDiesWhenKilled)
{
    Started child({child_exe(), "sleep", "30000"});
    ASSERT_GT(child.pid, 0);
    FILETIME c, e, k0, u0, k1, u1;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; i++) EXPECT_EQ(os_fd_poll(child.rd, 100), 0);
    const auto waited = std::chrono::steady_clock::now() - t0;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
    auto ticks = [](FILETIME f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    const ULONGLONG cpu_ms = (ticks(k1) - ticks(k0) + ticks(u1) - ticks(u0)) / 10000;
    EXPECT_GE(waited, std::chrono::milliseconds(450));
    EXPECT_LT(cpu_ms, 150u) << "polling a silent pipe for 500 ms";
    EXPECT_EQ(os_process_exit_peek(child.pid), OS_PROC_RUNNING);

    os_process_kill(child.pid);
    EXPECT_EQ(child.drain(), "");
    EXPECT_EQ(child.ended(), OS_PROC_EXIT_NONZERO);
    EXPECT_EQ(os_process_reap(child.pid), 0);
    EXPECT_EQ(os_process_exit_peek(child.pid), -1);  // reaped: no longer ours
    child.pid = -1;
}

TEST(Win32Names, CodeConvertKeepsUtf8AndConvertsGb18030)
{
    char out[64];
    const char utf8[] = "vid\xC3\xA9o \xE4\xB8\xAD.mp4";
    EXPECT_EQ(os_code_convert("UTF-8", "GB18030", out, sizeof out, utf8, sizeof utf8 - 1), static_cast<int>(sizeof utf8 - 1));
    EXPECT_STREQ(out, utf8);
    const char gb[] = "\xD6\xD0\xCE\xC4.mp4";  // "中文.mp4"
    EXPECT_EQ(os_code_convert("UTF-8", "GB18030", out, sizeof out, gb, sizeof gb - 1), 10);
    EXPECT_STREQ(out, "\xE4\xB8\xAD\xE6\x96\x87.mp4");
    EXPECT_EQ(os_code_convert("UTF-8", "GB18030", out, 6, gb, sizeof gb - 1), 0);  // does not fit
}

TEST(Win32Files, StatOfUtf8NameAndSizeAbove4GiB)
{
    tt::TempDir dir;
    const std::string name = dir.path() + "\\vid\xC3\xA9o \xE4\xB8\xAD.bin";
    std::wstring wide = std::filesystem::u8path(name).wstring();
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = (5LL << 30) + 7;
    ASSERT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
    os_file_status st{};
    ASSERT_EQ(os_stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.size, size.QuadPart);
    EXPECT_EQ(os_exists(name.c_str()), 1);
    EXPECT_EQ(os_remove(name.c_str()), 0);
    EXPECT_EQ(os_exists(name.c_str()), 0);
    EXPECT_NE(os_stat(name.c_str(), &st), 0);
}

// A tool whose starter has gone is killed by the start-up clean-up; one
// whose starter runs (this test) is left alone, and so is a same-named
// program outside the library's directory.
TEST(Win32Orphans, OnlyToolsOfGoneHostsAreKilled)
{
    tt::TempDir elsewhere;
    const std::string tool = tt::bin_dir() + "ffprobe.exe";
    const std::string foreign = elsewhere.path() + "\\ffprobe.exe";
    std::error_code ec;
    // The real tool layer, when built, is put back afterwards.
    const std::string kept_tool = elsewhere.path() + "\\kept.exe";
    const bool had_tool = std::filesystem::copy_file(tool, kept_tool, ec);
    std::filesystem::remove(tool, ec);
    ASSERT_TRUE(std::filesystem::copy_file(child_exe(), tool, ec)) << ec.message();
    ASSERT_TRUE(std::filesystem::copy_file(child_exe(), foreign, ec));

    {
        Started kept({tool, "sleep", "60000"});
        Started stranger({foreign, "sleep", "60000"});
        // A host that starts the tool and exits at once leaves an orphan.
        const tt::Finished host = tt::run({child_exe(), "spawn", tool, "sleep", "60000"}, {}, "", 20000);
        ASSERT_EQ(host.exit_code, 0);
        const int orphan = std::stoi(tt::split_lines(host.output).at(0));

        kill_zombie_process();

        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(orphan));
        EXPECT_TRUE(h == nullptr || WaitForSingleObject(h, 5000) == WAIT_OBJECT_0) << "orphan still runs";
        if (h) CloseHandle(h);
        EXPECT_EQ(os_process_exit_peek(kept.pid), OS_PROC_RUNNING);
        EXPECT_EQ(os_process_exit_peek(stranger.pid), OS_PROC_RUNNING);
        os_process_kill(orphan);  // in case the check above failed
    }
    std::filesystem::remove(tool, ec);
    if (had_tool) std::filesystem::copy_file(kept_tool, tool, ec);
}

}  // namespace
