// The child-process runner: what a child gets, how reading ends and splits lines, closing and kill;
// then the platform layer's process start times and file status.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "tool/runner.h"
#include "fake_tools.h"
#include "processes.h"
#include "platform/platform.h"

namespace {

using Lines = std::vector<std::string>;
using clock_type = std::chrono::steady_clock;
using tt::fake_cmd;
using tt::read_all;

Lines run_to_end(const std::vector<std::string> &cmd)
{
    pipe_info *fp = pipe_popen(cmd, "r");
    if (!fp) return {"<not started>"};
    Lines lines = read_all(fp);
    pipe_pclose(fp);
    return lines;
}

TEST(RunnerStart, ProgramThatCannotRunIsReportedAtOnceAndLeavesNoDescriptor)
{
    tt::TempDir tmp;
    const std::string plain = tmp.file("plain.txt");
    ASSERT_TRUE(tt::write_file(plain, "not a program\n"));
    const std::vector<std::string> cases[] = {
        {"/nonexistent-dir/ffmpeg", "-version"}, {tmp.file("no such tool")}, {tmp.path()}, {plain}, {""}, {},
    };
    const std::vector<int> fds = tt::open_fds();
    for (const auto &cmd : cases) {
        const auto start = clock_type::now();
        EXPECT_EQ(pipe_popen(cmd, "r"), nullptr) << os_cmdline_quote(cmd);
        EXPECT_LT(tt::ms_since(start), 500.0);
    }
    EXPECT_EQ(tt::open_fds(), fds);
}

// Every argument arrives exactly as listed: nothing splits, joins or unquotes them, whatever they hold; the
// program path may hold blanks. The library's directory as working directory (the tests link the library's
// code into the test program), the host marker naming this process even when the host inherited one, no
// blocked or ignored signal; standard input /dev/null, standard output and error the child's own pipe, and
// no other descriptor of this pipe or another runner's inherited. Meanwhile another child runs: kills of
// non-positive ids (a process group, or every process we may signal) leave it alone, and its start time
// (which tells a tool's host from a process that reused its id) reads right though its name holds ") ".
TEST(RunnerChild, ArgumentsDirectoryHostMarkerSignalsAndDescriptors)
{
    tt::TempDir tmp;
    pipe_info *first = pipe_popen({tt::copy_fake_tool(tmp.file("a) b c (d")), "--run", "hang"}, "r");
    ASSERT_NE(first, nullptr);
    for (int32_t id : {0, -1, -5}) kill_process(id);
    char link[256] = {0};
    ASSERT_GT(readlink(("/proc/" + std::to_string(pipe_child_pid(first)) + "/fd/1").c_str(), link, sizeof link - 1), 0);
    const std::string dir = tt::bin_dir().substr(0, tt::bin_dir().size() - 1);
    const std::string marker = std::to_string(getpid()) + ":" + std::to_string(tt::start_time_of(getpid()));
    tt::ScopedEnv inherited("TARSASDK_HOST", "1:1");
    sigset_t block, old_mask;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &old_mask), 0);
    struct sigaction ignore = {}, old_action = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGUSR2, &ignore, &old_action), 0);
    const std::string usr1 = std::to_string(SIGUSR1), usr2 = std::to_string(SIGUSR2);
    std::filesystem::create_directory(tmp.file("dir with \"blanks\""));
    const Lines cmd = {tt::copy_fake_tool(tmp.file("dir with \"blanks\"/fake tool")), "--run", "argv", "cwd",
                       "env TARSASDK_HOST", "sigstate " + usr1, "sigstate " + usr2, "fds", "--", "", "two words",
                       "say \"hi\"", "C:\\dir\\", "a\\\"b", "'q'", "$HOME *", "\t"};
    Lines lines = run_to_end(cmd);
    sigaction(SIGUSR2, &old_action, nullptr);
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    EXPECT_EQ(os_process_exit_peek(pipe_child_pid(first)), OS_PROC_RUNNING);
    EXPECT_EQ(os_process_start_time(pipe_child_pid(first)), tt::start_time_of(pipe_child_pid(first)));
    kill_process(pipe_child_pid(first));
    pipe_pclose(first);
    Lines expected;
    for (size_t i = 1; i < cmd.size(); i++) expected.push_back("[" + cmd[i] + "]\n");
    expected.insert(expected.end(), {dir + "\n", "TARSASDK_HOST=" + marker + "\n",
                                     "sig " + usr1 + " blocked=0 ignored=0\n", "sig " + usr2 + " blocked=0 ignored=0\n"});
    ASSERT_GE(lines.size(), expected.size() + 3);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + expected.size()), expected);
    lines.erase(lines.begin(), lines.begin() + expected.size());
    const std::string own_pipe = lines[1].substr(5);  // "fd 1 pipe:[...]"
    EXPECT_EQ(lines[0], "fd 0 /dev/null\n");
    EXPECT_EQ(own_pipe.compare(0, 5, "pipe:"), 0);
    EXPECT_EQ(lines[2], "fd 2 " + own_pipe);
    for (size_t i = 3; i < lines.size(); i++) {
        EXPECT_NE(lines[i].substr(lines[i].find(' ', 3) + 1), own_pipe) << lines[i];
        EXPECT_NE(lines[i].substr(lines[i].find(' ', 3) + 1), std::string(link) + "\n") << lines[i];
    }
}

// Every piece, then how long the read that finds the end takes (how the runner learnt of it).
TEST(RunnerRead, EndOfOutput)
{
    const struct {
        const char *name;
        Lines script;
        Lines pieces;
        double min_ms, max_ms;  // of the last read
        bool kill = false;      // the child, after the pieces
    } cases[] = {
        {"zero exit, the pipe hangs up at once", {"print one", "eprint two", "print three", "exit 0"},
         {"one\n", "two\n", "three\n"}, 0, 200},
        {"a descendant holds the pipe: after a 0 exit 51 polls 10 ms apart",
         {"print a", "spawn_holder 2000", "exit 0"}, {"a\n"}, 500, 1900},
        {"non-zero exit, pipe held: the first empty poll ends it, a last line without break is a line",
         {"print a", "raw tail", "spawn_holder 1500", "exit 1"}, {"a\n", "tail"}, 0, 450},
        {"killed, pipe held", {"spawn_holder 1500", "print held", "hang"}, {"held\n"}, 50, 450, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        pipe_info *fp = pipe_popen(fake_cmd(c.script), "r");
        ASSERT_NE(fp, nullptr);
        char buf[4096];
        for (const std::string &piece : c.pieces) {
            ASSERT_NE(pipe_fgets(buf, sizeof buf, fp), nullptr);
            EXPECT_EQ(buf, piece);
        }
        if (c.kill) kill_process(pipe_child_pid(fp));
        const auto start = clock_type::now();
        EXPECT_EQ(pipe_fgets(buf, sizeof buf, fp), nullptr);
        const double took = tt::ms_since(start);
        EXPECT_EQ(pipe_feof(fp), 1);
        EXPECT_GE(took, c.min_ms);
        EXPECT_LT(took, c.max_ms);
        EXPECT_EQ(pipe_pclose(fp), 0);
    }
}

TEST(RunnerRead, LongLinesComeInPiecesAndCrLfBecomesLf)
{
    const struct {
        int count;
        std::string line;  // printed with a line break, then the line "z"
        Lines pieces;
    } cases[] = {
        {4, "abcdefg", {"abc", "def", "g\n", "z\n"}},
        {8, "abcdefg", {"abcdefg", "\n", "z\n"}},
        {4096, std::string(10000, 'x'), {std::string(4095, 'x'), std::string(4095, 'x'), std::string(1810, 'x') + "\n",
                                         "z\n"}},
    };
    for (const auto &c : cases) {
        pipe_info *fp = pipe_popen(fake_cmd({"print " + c.line, "print z"}), "r");
        ASSERT_NE(fp, nullptr);
        EXPECT_EQ(read_all(fp, c.count), c.pieces) << "count " << c.count << ", line of " << c.line.size();
        EXPECT_EQ(pipe_pclose(fp), 0);
    }
    // "d\r" and "\n" arrive 150 ms apart and still make one line break; a lone CR stays, also at the end.
    EXPECT_EQ(run_to_end(fake_cmd({"bytes a\\r\\nb\\rc\\n", "bytes d\\r", "sleep 150", "bytes \\ne\\n", "bytes z\\r"})),
              (Lines{"a\n", "b\rc\n", "d\n", "e\n", "z\r"}));
}

// That a close reaps the child: the job loop's test leaves no child of every kind of job.
// (An ended child keeps its exit status until its close: the job loop's runs that exit non-zero.)
TEST(RunnerClose, ReapsAChildThatFillsThePipe)
{
    pipe_info *fp = pipe_popen(fake_cmd({"flood 1000000", "exit 0"}), "r");
    ASSERT_NE(fp, nullptr);
    const int flooding = pipe_child_pid(fp);
    auto closing = std::async(std::launch::async, [fp] { return pipe_pclose(fp); });
    if (closing.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        kill_process(flooding);
        FAIL() << "pipe_pclose still waits for a child blocked on its output";
    }
    EXPECT_EQ(closing.get(), 0);
}

// A file's status carries its modification time (its size goes to the log only); a missing
// file gives an error and leaves the record as it was.
TEST(FileStatus, TimeOfAFileAndErrorForNone)
{
    tt::TempDir dir;
    ASSERT_TRUE(tt::write_file(dir.file("five"), "12345"));
    os_file_status st = {-1, -1}, none = {-1, -1};
    ASSERT_EQ(os_stat(dir.file("five").c_str(), &st), 0);
    EXPECT_GT(st.mtime, 0);
    EXPECT_NE(os_stat(dir.file("missing").c_str(), &none), 0);
    EXPECT_EQ(none.mtime, -1);
}

}  // namespace
