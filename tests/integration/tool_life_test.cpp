// The tool layer as a host meets it: its tools end with the host that started
// them (whatever they wait on).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "processes.h"
#include "test_util.h"

namespace {

// A forked host that starts the tool with its output into `out_fd` and
// then waits to be killed. Everything the fork child uses is made before.
pid_t start_host(const std::vector<std::string> &args, int out_fd)
{
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t host = fork();
    if (host != 0) return host;
    if (fork() == 0) {
        dup2(out_fd, 1);
        dup2(out_fd, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (;;) pause();
}

TEST(ToolLife, ToolAndStockChildEndWithinOneSecondOfTheirHost)
{
    tt::TempDir dir;
    const std::string fifo = dir.file("silent.fifo");  // nobody ever writes it
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string tool, stock;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"ffprobe", tt::stock_ffprobe(), {"-hide_banner", "-i", fifo}},
        {"ffmpeg", tt::stock_ffmpeg(), {"-hide_banner", "-re", "-f", "lavfi", "-i", "testsrc=size=64x64:rate=5", "-f", "null", "-"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tool);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        std::vector<std::string> argv = {tt::bin_dir() + c.tool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const pid_t host = start_host(argv, fds[1]);
        close(fds[1]);
        ASSERT_GT(host, 0);
        std::string first;
        char ch;
        while (read(fds[0], &ch, 1) == 1 && ch != '\n') first += ch;
        const pid_t tool = first.rfind("PID = ", 0) == 0 ? std::stoi(first.substr(6)) : -1;
        const pid_t stock = tt::child_running(tool, c.stock);
        EXPECT_GT(tool, 0) << first;
        EXPECT_GT(stock, 0);
        // Both wait for ever by now: the probe on the FIFO, the encode on its real-time source.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(tt::process_running(tool) && tt::process_running(stock));

        kill(host, SIGKILL);
        waitpid(host, nullptr, 0);
        EXPECT_TRUE(tt::ends_within(tool, 1000));
        EXPECT_TRUE(tt::ends_within(stock, 1000));
        for (pid_t p : {stock, tool})  // only what this test started, and only on failure
            if (tt::process_running(p)) kill(p, SIGKILL);
        close(fds[0]);
    }
}

}  // namespace
