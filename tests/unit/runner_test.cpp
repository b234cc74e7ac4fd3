// The child-process runner: what a child gets (program, arguments, working
// directory, environment, standard input, signal state, descriptors), how
// pipe_fgets ends, waits and splits, what pipe_pclose waits for, and what
// kill_process leaves alone.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tool/runner.h"
#include "fake_tools.h"
#include "log_capture.h"
#include "processes.h"
#include "platform/platform.h"

namespace {

using Lines = std::vector<std::string>;
using clock_type = std::chrono::steady_clock;
using tt::fake_cmd;
using tt::read_all;

Lines run_to_end(const std::string &cmd)
{
    pipe_info *fp = pipe_popen(cmd.c_str(), "r");
    if (!fp) return {"<not started>"};
    Lines lines = read_all(fp);
    pipe_pclose(fp);
    return lines;
}

std::string host_marker()
{
    return "TARSASDK_HOST=" + std::to_string(getpid()) + ":" + std::to_string(tt::start_time_of(getpid()));
}

// ---------------------------------------------------------------- arguments and start failures

TEST(RunnerArgs, RefusalsAreLogged)
{
    tt::LogCapture log;
    for (const char *mode : {"w", "rb", "rt", "", "r ", "R"}) {
        log.clear();
        EXPECT_EQ(pipe_popen(fake_cmd({"print never"}).c_str(), mode), nullptr) << "mode '" << mode << "'";
        EXPECT_TRUE(log.has_info("runner.cpp", "strcmp(mode, \"r\") != 0")) << "mode '" << mode << "'";
    }

    log.clear();
    char buf[16];
    pipe_info *fp = pipe_popen(fake_cmd({"print a"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(pipe_fgets(nullptr, 16, fp), nullptr);
    EXPECT_EQ(pipe_fgets(buf, 0, fp), nullptr);
    EXPECT_EQ(pipe_fgets(buf, -3, fp), nullptr);
    EXPECT_EQ(log.count("buf == NULL || count <= 0 || fp == NULL"), 3);
    EXPECT_EQ(pipe_feof(fp), 0);  // refusals do not touch the record
    EXPECT_EQ(read_all(fp), Lines{"a\n"});
    EXPECT_EQ(pipe_pclose(fp), 0);
}

TEST(RunnerStart, ProgramThatCannotRunIsReportedAndReleasesItsDescriptors)
{
    tt::TempDir tmp;
    const std::string plain = tmp.file("plain.txt");
    ASSERT_TRUE(tt::write_file(plain, "not a program\n"));
    chmod(plain.c_str(), 0644);
    const std::string cases[] = {
        "/nonexistent-dir/ffmpeg -version",
        "\"" + tmp.file("no such tool") + "\" -i x",
        "\"" + tmp.path() + "\"",  // a directory
        "\"" + plain + "\" -version",
        "",
        " \t ",
    };
    const std::vector<int> fds = tt::open_fds();
    for (const std::string &cmd : cases) {
        tt::LogCapture log;
        EXPECT_EQ(pipe_popen(cmd.c_str(), "r"), nullptr) << cmd;
        EXPECT_EQ(log.lines().size(), 1u) << cmd;
        EXPECT_TRUE(log.has_info("runner.cpp", "CreateProcess fail")) << cmd;
    }
    EXPECT_EQ(tt::open_fds(), fds);
}

// ---------------------------------------------------------------- the child

TEST(RunnerChild, ProgramPathWithBlanksIsStartedDirectly)
{
    tt::TempDir tmp;
    const std::string tool = tmp.file("dir with blanks/fake tool");
    std::filesystem::create_directory(tmp.file("dir with blanks"));
    std::filesystem::copy_file(tt::bin_dir() + "fake_tool", tool);
    chmod(tool.c_str(), 0755);
    EXPECT_EQ(run_to_end("\"" + tool + "\" --run \"print hi there\""), Lines{"hi there\n"});
}

TEST(RunnerChild, ArgumentsAreSplitByTheCommandLineRules)
{
    const std::string cmd = "\"" + tt::bin_dir() +
                            "fake_tool\" --run argv -- -i concat:\"a.ts|b.ts\" "
                            "-vf drawtext=\"fontfile=tf.ttf:text='a b':x=1\",drawtext=\"text='c':y=2\" "
                            "\"\"  3\\\"q \"C:\\dir\\\\\" \"out file.mp4\"";
    EXPECT_EQ(run_to_end(cmd), (Lines{"[--run]\n", "[argv]\n", "[--]\n", "[-i]\n", "[concat:a.ts|b.ts]\n", "[-vf]\n",
                                      "[drawtext=fontfile=tf.ttf:text='a b':x=1,drawtext=text='c':y=2]\n", "[]\n",
                                      "[3\"q]\n", "[C:\\dir\\]\n", "[out file.mp4]\n"}));
}

// The library's directory as working directory (the tests link the
// library's code into the test program), the host marker naming this
// process, the rest of the environment, and an empty standard input.
TEST(RunnerChild, DirectoryEnvironmentAndInput)
{
    std::string dir = tt::bin_dir();
    dir.pop_back();
    EXPECT_EQ(run_to_end(fake_cmd({"cwd", "env TARSASDK_HOST", "env HOME", "readstdin"})),
              (Lines{dir + "\n", host_marker() + "\n", std::string("HOME=") + std::getenv("HOME") + "\n",
                     "stdin 0\n"}));
    // A host that was itself started by the library carries a marker of
    // its own parent; its children must name the host instead.
    tt::ScopedEnv inherited("TARSASDK_HOST", "1:1");
    EXPECT_EQ(run_to_end(fake_cmd({"env TARSASDK_HOST"})), Lines{host_marker() + "\n"});
}

TEST(RunnerChild, SignalMaskAndIgnoredSignalsAreReset)
{
    sigset_t block, old_mask;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &old_mask), 0);
    struct sigaction ignore = {}, old_action = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGUSR2, &ignore, &old_action), 0);
    const std::string usr1 = std::to_string(SIGUSR1), usr2 = std::to_string(SIGUSR2);
    const Lines lines = run_to_end(fake_cmd({"sigstate " + usr1, "sigstate " + usr2}));
    sigaction(SIGUSR2, &old_action, nullptr);
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    EXPECT_EQ(lines, (Lines{"sig " + usr1 + " blocked=0 ignored=0\n", "sig " + usr2 + " blocked=0 ignored=0\n"}));
}

TEST(RunnerChild, NoPipeEndLeaksIntoAChild)
{
    pipe_info *first = pipe_popen(fake_cmd({"hang"}).c_str(), "r");
    ASSERT_NE(first, nullptr);
    char link[256] = {0};
    ASSERT_GT(readlink(("/proc/" + std::to_string(pipe_child_pid(first)) + "/fd/1").c_str(), link, sizeof link - 1), 0);
    const std::string first_pipe = std::string(link) + "\n";
    const Lines lines = run_to_end(fake_cmd({"fds"}));
    kill_process(pipe_child_pid(first));
    pipe_pclose(first);

    std::string own_pipe;
    for (const std::string &l : lines)
        if (l.compare(0, 5, "fd 1 ") == 0) own_pipe = l.substr(5);
    ASSERT_EQ(own_pipe.compare(0, 5, "pipe:"), 0) << "standard output is not the pipe";
    for (const std::string &l : lines) {
        const std::string target = l.substr(l.find(' ', 3) + 1);
        if (l.compare(0, 5, "fd 0 ") == 0) {
            EXPECT_EQ(target, "/dev/null\n");
        } else if (l.compare(0, 5, "fd 2 ") == 0) {
            EXPECT_EQ(target, own_pipe);
        } else if (l.compare(0, 5, "fd 1 ") != 0) {
            // Descriptors 3 and up: neither end of this child's pipe nor another runner's.
            EXPECT_NE(target, own_pipe) << l;
            EXPECT_NE(target, first_pipe) << l;
        }
    }
}

// ---------------------------------------------------------------- reading

// Every piece up to the end of output; how long the read that finds the end
// takes says how the runner learnt of it.
TEST(RunnerRead, EndOfOutput)
{
    const struct {
        const char *name;
        Lines script;
        Lines pieces;
        double min_ms, max_ms;  // of the last read; max < 0: not timed
        bool kill = false;      // the child, after the pieces
    } cases[] = {
        // Without a holder of the pipe its hang-up ends the read at once (no grace period).
        {"zero exit, the pipe hangs up", {"print one", "print two", "print three", "exit 0"},
         {"one\n", "two\n", "three\n"}, 0, 200},
        {"standard error in the same stream", {"print out 1", "eprint err 2", "print out 3"},
         {"out 1\n", "err 2\n", "out 3\n"}, 0, 200},
        // Exit 0 with a descendant keeping the output open: 51 polls 10 ms
        // apart after the exit was seen, not until the holder lets go.
        {"descendant holds the pipe", {"print a", "spawn_holder 2000", "exit 0"}, {"a\n"}, 500, 1900},
        // A non-zero exit ends the read at the first empty poll although the pipe is held.
        {"non-zero exit", {"print a", "spawn_holder 1500", "exit 1"}, {"a\n"}, 0, 450},
        // A last line without line break is returned as a line.
        {"last line, pipe hangs up", {"print a", "raw tail", "exit 0"}, {"a\n", "tail"}, 0, -1},
        {"last line, non-zero exit, pipe held", {"print a", "raw tail", "spawn_holder 1500", "exit 1"},
         {"a\n", "tail"}, 0, -1},
        {"last line, grace period runs out", {"print a", "raw tail", "spawn_holder 1500", "exit 0"}, {"a\n", "tail"},
         0, -1},
        // Killed while a descendant holds the pipe: no hang-up, the exit query ends the read.
        {"killed by a signal counts as non-zero", {"spawn_holder 1500", "print held", "hang"}, {"held\n"}, 50, 450,
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        pipe_info *fp = pipe_popen(fake_cmd(c.script).c_str(), "r");
        ASSERT_NE(fp, nullptr);
        char buf[4096];
        for (const std::string &piece : c.pieces) {
            ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
            EXPECT_EQ(buf, piece);
            if (piece.back() == '\n') {
                EXPECT_EQ(pipe_feof(fp), 0);
            }
        }
        if (c.kill) kill_process(pipe_child_pid(fp));
        const auto start = clock_type::now();
        EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
        const double took = tt::ms_since(start);
        EXPECT_EQ(pipe_feof(fp), 1);
        EXPECT_GE(took, c.min_ms);
        if (c.max_ms >= 0) {
            EXPECT_LT(took, c.max_ms);
        }
        EXPECT_EQ(pipe_pclose(fp), 0);
    }
}

TEST(RunnerRead, LongLineComesBackInPieces)
{
    const std::string x10000(10000, 'x');
    const struct {
        int count;
        std::string line;  // printed with a line break, then the line "z"
        Lines pieces;
    } cases[] = {
        {4, "abcdefg", {"abc", "def", "g\n", "z\n"}},
        {4, "abcdef", {"abc", "def", "\n", "z\n"}},
        {2, "ab", {"a", "b", "\n", "z", "\n"}},
        {8, "abcdefg", {"abcdefg", "\n", "z\n"}},
        {9, "abcdefg", {"abcdefg\n", "z\n"}},
        {4096, x10000, {std::string(4095, 'x'), std::string(4095, 'x'), std::string(1810, 'x') + "\n", "z\n"}},
    };
    for (const auto &c : cases) {
        pipe_info *fp = pipe_popen(fake_cmd({"print " + c.line, "print z"}).c_str(), "r");
        ASSERT_NE(fp, nullptr);
        EXPECT_EQ(read_all(fp, c.count), c.pieces) << "count " << c.count << ", line of " << c.line.size();
        EXPECT_EQ(pipe_pclose(fp), 0);
    }
}

TEST(RunnerRead, CrLfBecomesLfAndALoneCrStays)
{
    // "d\r" and "\n" arrive 150 ms apart and still make one line break.
    EXPECT_EQ(run_to_end(fake_cmd({"bytes a\\r\\nb\\rc\\n\\r\\n", "bytes d\\r", "sleep 150", "bytes \\ne\\n",
                                   "bytes z\\r"})),
              (Lines{"a\n", "b\rc\n", "\n", "d\n", "e\n", "z\r"}));
}

TEST(RunnerRead, SilentChildKeepsTheReadWaitingAndLinesThatCameTogetherDoNot)
{
    pipe_info *fp = pipe_popen(fake_cmd({"sleep 700", "bytes 1\\n2\\n3\\n", "sleep 1500", "print 4"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    auto start = clock_type::now();
    char buf[64];
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_GE(tt::ms_since(start), 690.0);
    EXPECT_STREQ(buf, "1\n");
    EXPECT_EQ(pipe_feof(fp), 0);
    start = clock_type::now();
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_STREQ(buf, "2\n");
    ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
    EXPECT_STREQ(buf, "3\n");
    EXPECT_LT(tt::ms_since(start), 50.0);
    kill_process(pipe_child_pid(fp));
    EXPECT_EQ(pipe_pclose(fp), 0);
}

// ---------------------------------------------------------------- closing and killing

TEST(RunnerClose, WaitsForARunningChildAndReapsIt)
{
    pipe_info *fp = pipe_popen(fake_cmd({"sleep 400", "exit 0"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    const int pid = pipe_child_pid(fp);
    const auto start = clock_type::now();
    EXPECT_EQ(pipe_pclose(fp), 0);
    EXPECT_GE(tt::ms_since(start), 390.0);
    EXPECT_EQ(os_process_exit_peek(pid), -1);  // the id no longer names a child of ours
}

TEST(RunnerClose, ChildWritingMoreThanThePipeHoldsStillEnds)
{
    pipe_info *fp = pipe_popen(fake_cmd({"flood 1000000", "exit 0"}).c_str(), "r");
    ASSERT_NE(fp, nullptr);
    const int pid = pipe_child_pid(fp);
    auto closing = std::async(std::launch::async, [fp] { return pipe_pclose(fp); });
    if (closing.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        kill_process(pid);
        FAIL() << "pipe_pclose still waits for a child blocked on its output";
    }
    EXPECT_EQ(closing.get(), 0);
}

TEST(KillProcess, NonPositiveIdsSignalNothingAndEndedChildrenAreLeftAlone)
{
    pipe_info *running = pipe_popen(fake_cmd({"hang"}).c_str(), "r");
    pipe_info *ended = pipe_popen(fake_cmd({"print done", "exit 3"}).c_str(), "r");
    ASSERT_NE(running, nullptr);
    ASSERT_NE(ended, nullptr);
    // 0 and negative ids would name our process group or every process we
    // may signal; had any been signalled, neither we nor the child would run.
    for (int32_t id : {0, -1, -5}) kill_process(id);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(os_process_exit_peek(pipe_child_pid(running)), OS_PROC_RUNNING);

    // Ended but not yet closed: the runner has not reaped it, so its id
    // still belongs to it and cannot name another process.
    EXPECT_EQ(read_all(ended), Lines{"done\n"});
    ASSERT_EQ(pipe_feof(ended), 1);
    const int ended_pid = pipe_child_pid(ended);
    EXPECT_EQ(os_process_exit_peek(ended_pid), OS_PROC_EXIT_NONZERO);
    kill_process(ended_pid);
    EXPECT_EQ(os_process_exit_peek(ended_pid), OS_PROC_EXIT_NONZERO);  // still exit 3, not a kill
    EXPECT_EQ(pipe_pclose(ended), 0);

    kill_process(pipe_child_pid(running));
    EXPECT_EQ(read_all(running), Lines{});
    EXPECT_EQ(pipe_feof(running), 1);
    EXPECT_EQ(pipe_pclose(running), 0);
}

TEST(GetBufPid, ReadsTheNumberAfterPidEqualsAndCutsTheLine)
{
    const struct {
        const char *line;
        int pid;
        const char *left;  // the line after the call
    } cases[] = {
        {"PID = 4321\n", 4321, "PID"},  {"PID = 4321", 4321, "PID"},   {"PID =   77   \n", 77, "PID"},
        {"PID =\t88\n", 88, "PID"},     {"[tool] PID = 12 more\n", 12, "[tool] PID"},
        {"x PID = 4321\n", 4321, "x PID"},
        {"PID =", -1, nullptr},         {"PID =\n", -1, nullptr},     {"PID =   ", -1, nullptr},
        {"no id here\n", -1, nullptr},  {"PID=5\n", -1, nullptr},     {"", -1, nullptr},
    };
    for (const auto &c : cases) {
        std::vector<char> buf(c.line, c.line + std::strlen(c.line) + 1);
        EXPECT_EQ(get_buf_pid(buf.data()), c.pid) << "line '" << c.line << "'";
        if (c.left) {
            EXPECT_STREQ(buf.data(), c.left);
        }
    }
}

TEST(RunnerThreads, EightThreadsRunChildrenAtOnce)
{
    constexpr int k_threads = 8;
    std::vector<std::string> failures[k_threads];
    std::vector<std::thread> threads;
    for (int t = 0; t < k_threads; t++) {
        threads.emplace_back([t, &failures] {
            for (int c = 0; c < 3; c++) {
                const std::string tag = std::to_string(t) + "." + std::to_string(c);
                const std::string cmd = fake_cmd({"print begin " + tag, "ticker 20 2", "print end " + tag});
                pipe_info *fp = pipe_popen(cmd.c_str(), "r");
                if (!fp) {
                    failures[t].push_back(tag + ": not started");
                    continue;
                }
                Lines expected = {"begin " + tag + "\n"};
                for (int i = 0; i < 20; i++) expected.push_back("tick " + std::to_string(i) + "\n");
                expected.push_back("end " + tag + "\n");
                char buf[4096];
                Lines got;
                auto start = clock_type::now();
                while (pipe_fgets(buf, sizeof buf, fp)) {
                    got.emplace_back(buf);
                    start = clock_type::now();
                }
                // A write end leaked into a sibling child would hold the
                // pipe open and bring the grace period back.
                const double tail = tt::ms_since(start);
                if (got != expected) failures[t].push_back(tag + ": wrong output");
                if (pipe_feof(fp) != 1) failures[t].push_back(tag + ": no eof");
                if (tail > 400.0) failures[t].push_back(tag + ": end seen after " + std::to_string(tail) + " ms");
                pipe_pclose(fp);
            }
        });
    }
    for (std::thread &th : threads) th.join();
    for (int t = 0; t < k_threads; t++) EXPECT_EQ(failures[t], Lines{}) << "thread " << t;
}

}  // namespace
