// What a child started by the runner gets: its program and arguments, its
// working directory, environment, standard input, signal state and
// descriptors; and how a start that cannot happen is reported.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cvt/runner.h"
#include "fake_tools.h"
#include "support/platform.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

using tt::fake_cmd;
using tt::read_all;

std::vector<std::string> run_to_end(const std::string &cmd)
{
    pipe_info *fp = pipe_popen(cmd.c_str(), "r");
    if (!fp) return {"<not started>"};
    std::vector<std::string> lines = read_all(fp);
    pipe_pclose(fp);
    return lines;
}

// Field 22 of /proc/<pid>/stat, read here independently of the library.
std::string start_time_of(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int n = 3; n <= 22; n++) fields >> field;
    return field;
}

int open_descriptors()
{
    int n = 0;
    DIR *dir = opendir("/proc/self/fd");
    while (dirent *e = dir ? readdir(dir) : nullptr)
        if (e->d_name[0] != '.') n++;
    if (dir) closedir(dir);
    return n;
}

// ---------------------------------------------------------------- start failures

TEST(RunnerStart, ProgramThatCannotRunIsReported)
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
    for (const std::string &cmd : cases) {
        tt::LogCapture log;
        EXPECT_EQ(pipe_popen(cmd.c_str(), "r"), nullptr) << cmd;
        EXPECT_TRUE(log.has_info("runner.cpp", "CreateProcess fail")) << cmd;
        EXPECT_EQ(log.lines().size(), 1u) << cmd;
    }
}

TEST(RunnerStart, DescriptorsAreReleased)
{
    int before = open_descriptors();
    for (int i = 0; i < 5; i++) {
        tt::LogCapture quiet;
        EXPECT_EQ(pipe_popen("/nonexistent-dir/ffmpeg", "r"), nullptr);
        pipe_info *fp = pipe_popen(fake_cmd({"print x"}).c_str(), "r");
        ASSERT_NE(fp, nullptr);
        EXPECT_EQ(pipe_pclose(fp), 0);
    }
    EXPECT_EQ(open_descriptors(), before);
}

// ---------------------------------------------------------------- the child

TEST(RunnerChild, ProgramPathWithBlanksIsStartedDirectly)
{
    tt::TempDir tmp;
    const std::string dir = tmp.file("dir with blanks");
    std::filesystem::create_directory(dir);
    const std::string tool = dir + "/fake tool";
    std::filesystem::copy_file((tt::bin_dir() + "fake_tool"), tool);
    chmod(tool.c_str(), 0755);
    EXPECT_EQ(run_to_end("\"" + tool + "\" --run \"print hi there\""), (std::vector<std::string>{"hi there\n"}));
}

TEST(RunnerChild, ArgumentsAreSplitByTheCommandLineRules)
{
    const std::string cmd = "\"" + (tt::bin_dir() + "fake_tool") +
                            "\" --run argv -- -i concat:\"a.ts|b.ts\" "
                            "-vf drawtext=\"fontfile=tf.ttf:text='a b':x=1\",drawtext=\"text='c':y=2\" "
                            "\"\"  3\\\"q \"C:\\dir\\\\\" \"out file.mp4\"";
    const std::vector<std::string> expected = {
        "[--run]\n", "[argv]\n", "[--]\n", "[-i]\n", "[concat:a.ts|b.ts]\n", "[-vf]\n",
        "[drawtext=fontfile=tf.ttf:text='a b':x=1,drawtext=text='c':y=2]\n",
        "[]\n", "[3\"q]\n", "[C:\\dir\\]\n", "[out file.mp4]\n",
    };
    EXPECT_EQ(run_to_end(cmd), expected);
}

TEST(RunnerChild, WorkingDirectoryIsTheLibraryDirectory)
{
    // The tests link the library's code into the test program, which lies
    // in the build's output directory.
    std::string dir = tt::bin_dir();
    dir.pop_back();
    EXPECT_EQ(run_to_end(fake_cmd({"cwd"})), (std::vector<std::string>{dir + "\n"}));
}

TEST(RunnerChild, EnvironmentCarriesTheHostMarker)
{
    const std::string marker = "TARSASDK_HOST=" + std::to_string(getpid()) + ":" + start_time_of(getpid());
    EXPECT_EQ(run_to_end(fake_cmd({"env TARSASDK_HOST", "env HOME"})),
              (std::vector<std::string>{marker + "\n", std::string("HOME=") + std::getenv("HOME") + "\n"}));
}

TEST(RunnerChild, InheritedHostMarkerIsReplaced)
{
    // A host that was itself started by the library carries a marker of
    // its own parent; its children must name the host instead.
    ASSERT_EQ(setenv("TARSASDK_HOST", "1:1", 1), 0);
    std::vector<std::string> lines = run_to_end(fake_cmd({"env TARSASDK_HOST"}));
    unsetenv("TARSASDK_HOST");
    const std::string marker = "TARSASDK_HOST=" + std::to_string(getpid()) + ":" + start_time_of(getpid());
    EXPECT_EQ(lines, (std::vector<std::string>{marker + "\n"}));
}

TEST(RunnerChild, StandardInputIsEmpty)
{
    EXPECT_EQ(run_to_end(fake_cmd({"readstdin"})), (std::vector<std::string>{"stdin 0\n"}));
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
    std::vector<std::string> lines = run_to_end(fake_cmd({"sigstate " + usr1, "sigstate " + usr2}));

    sigaction(SIGUSR2, &old_action, nullptr);
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{"sig " + usr1 + " blocked=0 ignored=0\n",
                                               "sig " + usr2 + " blocked=0 ignored=0\n"}));
}

TEST(RunnerChild, NoPipeEndLeaksIntoAChild)
{
    pipe_info *first = pipe_popen(fake_cmd({"hang"}).c_str(), "r");
    ASSERT_NE(first, nullptr);
    char link[256] = {0};
    std::string first_out = "/proc/" + std::to_string(pipe_child_pid(first)) + "/fd/1";
    ASSERT_GT(readlink(first_out.c_str(), link, sizeof link - 1), 0);
    const std::string first_pipe = link;

    std::vector<std::string> lines = run_to_end(fake_cmd({"fds"}));
    kill_process(pipe_child_pid(first));
    pipe_pclose(first);

    std::string own_pipe;
    for (const std::string &l : lines)
        if (l.compare(0, 5, "fd 1 ") == 0) own_pipe = l.substr(5);
    ASSERT_EQ(own_pipe.compare(0, 5, "pipe:"), 0) << "standard output is not the pipe";
    for (const std::string &l : lines) {
        if (l.compare(0, 5, "fd 0 ") == 0) {
            EXPECT_EQ(l, "fd 0 /dev/null\n");
            continue;
        }
        if (l.compare(0, 5, "fd 1 ") == 0) continue;
        if (l.compare(0, 5, "fd 2 ") == 0) {
            EXPECT_EQ(l.substr(5), own_pipe);
            continue;
        }
        // Descriptors 3 and up: neither end of this child's pipe nor another runner's.
        EXPECT_NE(l.substr(l.find(' ', 3) + 1), own_pipe) << l;
        EXPECT_NE(l.substr(l.find(' ', 3) + 1), first_pipe + "\n") << l;
    }
}

}  // namespace
