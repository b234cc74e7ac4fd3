// The runner's reading, closing and killing: how pipe_fgets ends, waits and
// splits, what pipe_pclose waits for, what kill_process leaves alone.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "cvt/runner.h"
#include "fake_tools.h"
#include "support/platform.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

using clock_type = std::chrono::steady_clock;
using tt::fake_cmd;
using tt::ms_since;
using tt::read_all;

// ---------------------------------------------------------------- arguments

TEST(RunnerArgs, NullCommandOrModeIsRefused)
{
    tt::LogCapture log;
    EXPECT_EQ(pipe_popen(nullptr, "r"), nullptr);
    EXPECT_EQ(pipe_popen("x", nullptr), nullptr);
    EXPECT_EQ(log.count("cmd == NULL || mode == NULL"), 2);
    EXPECT_TRUE(log.has_info("runner.cpp", "cmd == NULL || mode == NULL"));
}

TEST(RunnerArgs, ModeOtherThanExactlyRIsRefused)
{
    for (const char *mode : {"w", "rb", "rt", "", "r ", "R"}) {
        tt::LogCapture log;
        EXPECT_EQ(pipe_popen(fake_cmd({"print never"}).c_str(), mode), nullptr) << "mode '" << mode << "'";
        EXPECT_TRUE(log.has_info("runner.cpp", "strcmp(mode, \"r\") != 0")) << "mode '" << mode << "'";
    }
}

TEST(RunnerArgs, NullRecordAndBufferAreRefused)
{
    tt::LogCapture log;
    char buf[16];
    EXPECT_EQ(pipe_fgets(buf, 16, nullptr), nullptr);
    EXPECT_EQ(pipe_feof(nullptr), -1);
    EXPECT_EQ(pipe_pclose(nullptr), -1);
    EXPECT_EQ(pipe_child_pid(nullptr), -1);
    EXPECT_TRUE(log.has_info("runner.cpp", "buf == NULL || count <= 0 || fp == NULL"));
    EXPECT_EQ(log.count("fp == NULL"), 2);  // pipe_feof and pipe_pclose

    pipe_info *fp = pipe_popen(fake_cmd({"print a"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    log.clear();
    EXPECT_EQ(pipe_fgets(nullptr, 16, fp), nullptr);
    EXPECT_EQ(pipe_fgets(buf, 0, fp), nullptr);
    EXPECT_EQ(pipe_fgets(buf, -3, fp), nullptr);
    EXPECT_EQ(log.count("buf == NULL || count <= 0 || fp == NULL"), 3);
    EXPECT_EQ(pipe_feof(fp), 0);  // refusals do not touch the record
    EXPECT_EQ(read_all(fp), (std::vector<std::string>{"a\n"}));
    EXPECT_EQ(pipe_pclose(fp), 0);
}

// ---------------------------------------------------------------- reading

TEST(RunnerRead, StandardErrorArrivesInTheSameStream)
{
    pipe_info *fp = pipe_popen(fake_cmd({"print out 1", "eprint err 2", "print out 3"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), (std::vector<std::string>{"out 1\n", "err 2\n", "out 3\n"}));
    EXPECT_EQ(pipe_feof(fp), 1);
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(RunnerRead, ZeroExitEndsAtOnceOnceThePipeHangsUp)
{
    pipe_info *fp = pipe_popen(fake_cmd({"print one", "print two", "print three", "exit 0"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    char buf[4096];
    std::vector<std::string> lines;
    for (int i = 0; i < 3; i++) {
        ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
        lines.emplace_back(buf);
        EXPECT_EQ(pipe_feof(fp), 0);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"one\n", "two\n", "three\n"}));
    auto start = clock_type::now();
    EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
    double took = ms_since(start);
    EXPECT_EQ(pipe_feof(fp), 1);
    // Without a holder of the pipe there is no grace period of ~510 ms.
    EXPECT_LT(took, 200.0);
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(RunnerRead, DescendantHoldingThePipeGetsTheGracePolls)
{
    // The tool exits 0 but leaves a process that keeps its output open for 2 s.
    pipe_info *fp = pipe_popen(fake_cmd({"print a", "spawn_holder 2000", "exit 0"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    char buf[4096];
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_STREQ(buf, "a\n");
    auto start = clock_type::now();
    EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
    double took = ms_since(start);
    EXPECT_EQ(pipe_feof(fp), 1);
    EXPECT_GE(took, 500.0);   // 51 polls 10 ms apart after the exit was seen
    EXPECT_LT(took, 1900.0);  // not until the holder lets go
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(RunnerRead, NonZeroExitEndsAtTheFirstEmptyPoll)
{
    pipe_info *fp = pipe_popen(fake_cmd({"print a", "spawn_holder 1500", "exit 1"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    char buf[4096];
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    auto start = clock_type::now();
    EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
    double took = ms_since(start);
    EXPECT_EQ(pipe_feof(fp), 1);
    EXPECT_LT(took, 450.0);  // no grace period although the pipe is still held
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(RunnerRead, ChildKilledBySignalCountsAsNonZero)
{
    pipe_info *fp = pipe_popen(fake_cmd({"spawn_holder 1500", "print held", "hang"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    char buf[4096];
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);  // the holder exists from here on
    EXPECT_STREQ(buf, "held\n");
    kill_process(pipe_child_pid(fp));
    auto start = clock_type::now();
    EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
    double took = ms_since(start);
    EXPECT_GE(took, 50.0);   // the held pipe did not hang up: the exit query ended it
    EXPECT_LT(took, 450.0);
    EXPECT_EQ(pipe_feof(fp), 1);
    EXPECT_EQ(pipe_pclose(fp), 0);
}

struct LastLineCase {
    const char *name;
    std::vector<std::string> script;
};

TEST(RunnerRead, LastLineWithoutLineBreakIsReturned)
{
    const LastLineCase cases[] = {
        {"pipe hangs up", {"print a", "raw tail", "exit 0"}},
        {"non-zero exit, pipe still held", {"print a", "raw tail", "spawn_holder 1500", "exit 1"}},
        {"zero exit, grace period runs out", {"print a", "raw tail", "spawn_holder 1500", "exit 0"}},
    };
    for (const LastLineCase &c : cases) {
        std::string cmd = "\"" + (tt::bin_dir() + "fake_tool") + "\" --run";
        for (const std::string &line : c.script) cmd += " \"" + line + "\"";
        pipe_info *fp = pipe_popen(cmd.c_str(), "r");
        ASSERT_NE(fp, nullptr) << c.name;
        EXPECT_EQ(read_all(fp), (std::vector<std::string>{"a\n", "tail"})) << c.name;
        EXPECT_EQ(pipe_feof(fp), 1) << c.name;
        EXPECT_EQ(pipe_pclose(fp), 0);
    }
}

struct PieceCase {
    int count;
    std::string line;  // printed with a line break, then the line "z"
    std::vector<std::string> pieces;
};

TEST(RunnerRead, LongLineComesBackInPieces)
{
    const std::string x10000(10000, 'x');
    const PieceCase cases[] = {
        {4, "abcdefg", {"abc", "def", "g\n", "z\n"}},
        {4, "abcdef", {"abc", "def", "\n", "z\n"}},
        {2, "ab", {"a", "b", "\n", "z", "\n"}},
        {8, "abcdefg", {"abcdefg", "\n", "z\n"}},
        {9, "abcdefg", {"abcdefg\n", "z\n"}},
        {4096, x10000,
         {std::string(4095, 'x'), std::string(4095, 'x'), std::string(1810, 'x') + "\n", "z\n"}},
    };
    for (const PieceCase &c : cases) {
        pipe_info *fp = pipe_popen(fake_cmd({"print " + c.line, "print z"}).c_str(), "r");
        ASSERT_NE(fp, nullptr);
        EXPECT_EQ(read_all(fp, c.count), c.pieces) << "count " << c.count << ", line of " << c.line.size();
        EXPECT_EQ(pipe_pclose(fp), 0);
    }
}

TEST(RunnerRead, CrLfBecomesLfAndALoneCrStays)
{
    pipe_info *fp = pipe_popen(
        fake_cmd({"bytes a\\r\\nb\\rc\\n\\r\\n", "bytes d\\r", "sleep 150", "bytes \\ne\\n", "bytes z\\r"})
            .c_str(),
        "r");
    ASSERT_NE(fp, nullptr);
    // "d\r" and "\n" arrive 150 ms apart and still make one line break.
    EXPECT_EQ(read_all(fp), (std::vector<std::string>{"a\n", "b\rc\n", "\n", "d\n", "e\n", "z\r"}));
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(RunnerRead, SilentChildKeepsTheReadWaiting)
{
    pipe_info *fp = pipe_popen(fake_cmd({"sleep 700", "print late"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    auto start = clock_type::now();
    char buf[4096];
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_GE(ms_since(start), 690.0);
    EXPECT_STREQ(buf, "late\n");
    EXPECT_EQ(pipe_feof(fp), 0);
    EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_EQ(pipe_feof(fp), 1);
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(RunnerRead, LinesThatArriveTogetherNeedNoWaiting)
{
    pipe_info *fp = pipe_popen(fake_cmd({"bytes 1\\n2\\n3\\n", "sleep 1500", "print 4"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    char buf[64];
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_STREQ(buf, "1\n");
    auto start = clock_type::now();
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_STREQ(buf, "2\n");
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_STREQ(buf, "3\n");
    EXPECT_LT(ms_since(start), 50.0);
    kill_process(pipe_child_pid(fp));
    EXPECT_EQ(pipe_pclose(fp), 0);
}

// The descriptor of our end of the child's output pipe, found through the
// pipe's identity as /proc shows it for the child's standard output.
int find_read_end(int child)
{
    char link[256] = {0};
    std::string child_out = "/proc/" + std::to_string(child) + "/fd/1";
    if (readlink(child_out.c_str(), link, sizeof link - 1) <= 0) return -1;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (dirent *e = readdir(dir)) {
        char mine[256] = {0};
        std::string path = std::string("/proc/self/fd/") + e->d_name;
        if (readlink(path.c_str(), mine, sizeof mine - 1) > 0 && std::strcmp(mine, link) == 0)
            found = std::atoi(e->d_name);
    }
    closedir(dir);
    return found;
}

TEST(RunnerRead, UnreadablePipeGivesNullWithoutEof)
{
    pipe_info *fp = pipe_popen(fake_cmd({"print a", "sleep 300"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    char buf[64];
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    int fd = find_read_end(pipe_child_pid(fp));
    ASSERT_GT(fd, 2);
    close(fd);
    EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_EQ(pipe_feof(fp), 0);
    EXPECT_EQ(pipe_pclose(fp), 0);
}

// ---------------------------------------------------------------- closing

TEST(RunnerClose, WaitsForARunningChild)
{
    pipe_info *fp = pipe_popen(fake_cmd({"sleep 400", "exit 0"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    int pid = pipe_child_pid(fp);
    auto start = clock_type::now();
    EXPECT_EQ(pipe_pclose(fp), 0);
    EXPECT_GE(ms_since(start), 390.0);
    // Reaped: the id no longer names a child of ours.
    EXPECT_EQ(os_process_exit_peek(pid), -1);
}

TEST(RunnerClose, ChildWritingMoreThanThePipeHoldsStillEnds)
{
    pipe_info *fp = pipe_popen(fake_cmd({"flood 1000000", "exit 0"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    int pid = pipe_child_pid(fp);
    auto closing = std::async(std::launch::async, [fp] { return pipe_pclose(fp); });
    if (closing.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        kill_process(pid);
        FAIL() << "pipe_pclose still waits for a child blocked on its output";
    }
    EXPECT_EQ(closing.get(), 0);
}

// ---------------------------------------------------------------- killing

TEST(KillProcess, NonPositiveIdsSignalNothing)
{
    pipe_info *fp = pipe_popen(fake_cmd({"hang"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    int pid = pipe_child_pid(fp);
    // 0 and negative ids would name our process group or every process we
    // may signal; had any been signalled, neither we nor the child would run.
    for (int32_t id : {0, -1, -5}) kill_process(id);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(os_process_exit_peek(pid), OS_PROC_RUNNING);
    kill_process(pid);
    EXPECT_EQ(read_all(fp), std::vector<std::string>{});
    EXPECT_EQ(pipe_feof(fp), 1);
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(KillProcess, EndedChildIsLeftAlone)
{
    pipe_info *running = pipe_popen(fake_cmd({"hang"}).c_str(), "r");
    pipe_info *ended = pipe_popen(fake_cmd({"print done", "exit 3"}).c_str(), "r");
    ASSERT_NE(running, nullptr);
    ASSERT_NE(ended, nullptr);
    EXPECT_EQ(read_all(ended), (std::vector<std::string>{"done\n"}));
    ASSERT_EQ(pipe_feof(ended), 1);
    // Ended but not yet closed: the runner has not reaped it, so its id
    // still belongs to it and cannot name another process.
    int ended_pid = pipe_child_pid(ended);
    EXPECT_EQ(os_process_exit_peek(ended_pid), OS_PROC_EXIT_NONZERO);
    kill_process(ended_pid);
    EXPECT_EQ(os_process_exit_peek(ended_pid), OS_PROC_EXIT_NONZERO);  // still exit 3, not a kill
    EXPECT_EQ(pipe_pclose(ended), 0);
    EXPECT_EQ(os_process_exit_peek(pipe_child_pid(running)), OS_PROC_RUNNING);
    kill_process(pipe_child_pid(running));
    EXPECT_EQ(pipe_pclose(running), 0);
}

// ---------------------------------------------------------------- "PID =" lines

struct PidCase {
    const char *line;
    int pid;
};

TEST(GetBufPid, ReadsTheNumberAfterPidEquals)
{
    const PidCase cases[] = {
        {"PID = 4321\n", 4321},
        {"PID = 4321", 4321},
        {"PID =   77   \n", 77},
        {"PID =\t88\n", 88},
        {"[tool] PID = 12 more\n", 12},
        {"PID =", -1},
        {"PID =\n", -1},
        {"PID =   ", -1},
        {"no id here\n", -1},
        {"PID=5\n", -1},
        {"", -1},
    };
    for (const PidCase &c : cases) {
        std::string line = c.line;
        std::vector<char> buf(line.begin(), line.end());
        buf.push_back('\0');
        EXPECT_EQ(get_buf_pid(buf.data()), c.pid) << "line '" << c.line << "'";
    }
}

TEST(GetBufPid, CutsTheLineInPlace)
{
    char buf[] = "x PID = 4321\n";
    EXPECT_EQ(get_buf_pid(buf), 4321);
    EXPECT_STREQ(buf, "x PID");
}

TEST(GetBufPid, NullLineIsLogged)
{
    tt::LogCapture log;
    EXPECT_EQ(get_buf_pid(nullptr), -1);
    EXPECT_TRUE(log.has_info("runner.cpp", "buf == NULL"));
}

// ---------------------------------------------------------------- threads

TEST(RunnerThreads, EightThreadsRunChildrenAtOnce)
{
    constexpr int k_threads = 8;
    constexpr int k_children = 3;
    std::vector<std::string> failures[k_threads];
    std::vector<std::thread> threads;
    for (int t = 0; t < k_threads; t++) {
        threads.emplace_back([t, &failures] {
            for (int c = 0; c < k_children; c++) {
                std::string tag = std::to_string(t) + "." + std::to_string(c);
                pipe_info *fp = pipe_popen(fake_cmd({"print begin " + tag, "ticker 20 2", "print end " + tag}).c_str(), "r");
                if (!fp) {
                    failures[t].push_back(tag + ": not started");
                    continue;
                }
                std::vector<std::string> expected = {"begin " + tag + "\n"};
                for (int i = 0; i < 20; i++) expected.push_back("tick " + std::to_string(i) + "\n");
                expected.push_back("end " + tag + "\n");
                char buf[4096];
                std::vector<std::string> got;
                auto start = clock_type::now();
                while (pipe_fgets(buf, sizeof buf, fp)) {
                    got.emplace_back(buf);
                    start = clock_type::now();
                }
                // A write end leaked into a sibling child would hold the
                // pipe open and bring the grace period back.
                double tail = ms_since(start);
                if (got != expected) failures[t].push_back(tag + ": wrong output");
                if (pipe_feof(fp) != 1) failures[t].push_back(tag + ": no eof");
                if (tail > 400.0) failures[t].push_back(tag + ": end seen after " + std::to_string(tail) + " ms");
                pipe_pclose(fp);
            }
        });
    }
    for (std::thread &th : threads) th.join();
    for (int t = 0; t < k_threads; t++) EXPECT_EQ(failures[t], std::vector<std::string>{}) << "thread " << t;
}

}  // namespace
