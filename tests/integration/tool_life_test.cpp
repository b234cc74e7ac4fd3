// The tool layer as a host meets it: its tools end with the host that started
// them (whatever they wait on), or with the owner "-ppid" names; with the fake
// tool as its stock program, the exact output after "PID =", broken status
// lines, exit status and start failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fake_tools.h"
#include "processes.h"
#include "test_util.h"

namespace {

using Args = std::vector<std::string>;

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
    tt::Spawned owner({"/bin/sleep", "30"});
    const Args encode = {"-hide_banner", "-re", "-f", "lavfi", "-i", "testsrc=size=64x64:rate=5",
                                             "-f", "null", "-"};
    Args owned = {"-ppid", std::to_string(owner.pid())};
    owned.insert(owned.end(), encode.begin(), encode.end());
    struct Case {
        std::string tool, stock;
        std::vector<std::string> args;
        bool by_owner;  // what ends: the owner named by "-ppid" (its starter lives on), or the host
    };
    const std::vector<Case> cases = {
        {"ffprobe", tt::stock_ffprobe(), {"-hide_banner", "-i", fifo}, false},
        {"ffmpeg", tt::stock_ffmpeg(), encode, false},
        {"ffmpeg", tt::stock_ffmpeg(), owned, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tool + (c.by_owner ? " -ppid" : ""));
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

        kill(c.by_owner ? owner.pid() : host, SIGKILL);
        if (!c.by_owner) waitpid(host, nullptr, 0);
        EXPECT_TRUE(tt::ends_within(tool, 1000));
        EXPECT_TRUE(tt::ends_within(stock, 1000));
        if (c.by_owner) kill(host, SIGKILL), waitpid(host, nullptr, 0);
        for (pid_t p : {stock, tool})  // only what this test started, and only on failure
            if (tt::process_running(p)) kill(p, SIGKILL);
        close(fds[0]);
    }
}

Args ffmpeg(Args args) { return args.insert(args.begin(), tt::bin_dir() + "ffmpeg"), args; }

TEST(FakeStock, ForwardsOutputExitStatusAndStartFailures)
{
    tt::TempDir dir;
    tt::install_fake_tools(dir.path());
    const struct { const char *script, *output; int status; } cases[] = {
        {"raw a\rb\r\nsleep 100\nprint\nraw c\nexit 3\n", "a\nb\nc", 3},  // CR and LF in separate reads
        {"print out\neprint err\nexit 0\n", "out\nerr\n", 0},
        {"spawn_holder 300\nprint before\nexit 4\n", "before\n", 4},  // output held open after the exit
        {"hang\n", "", 128 + SIGTERM},                               // the stock child is killed
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(tt::write_file(dir.file("script"), c.script));
        tt::Spawned shim(ffmpeg({}), {"TARSASDK_FFMPEG_DIR=" + dir.path(), "TARSA_FAKE_SCRIPT=" + dir.file("script")});
        if (c.status == 128 + SIGTERM) {
            const pid_t child = tt::child_running(shim.pid(), dir.file("ffmpeg"));
            ASSERT_TRUE(child > 0 && kill(child, SIGTERM) == 0);
        }
        EXPECT_EQ(shim.read_rest(10000), "PID = " + std::to_string(shim.pid()) + "\n" + c.output) << c.script;
        EXPECT_EQ(shim.wait(5000), c.status) << c.script;
    }
    const std::string bin = tt::bin_dir();
    for (const std::string &stock_dir : {dir.file("none"), bin.substr(0, bin.size() - 1)}) {  // none; the tool itself
        tt::Spawned shim(ffmpeg({"-version"}), {"TARSASDK_FFMPEG_DIR=" + stock_dir});
        EXPECT_EQ(tt::split_lines(shim.read_rest(5000)).size(), 2u);  // the "PID =" line and the reason
        EXPECT_EQ(shim.wait(5000), 127) << stock_dir;
    }
}

}  // namespace
