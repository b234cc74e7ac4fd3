// The tool layer as a host meets it: its tools end with the host that started
// them (whatever they wait on), or with the owner "-ppid" names; with the fake
// tool as its stock program, the exact output after "PID =", broken status
// lines, exit status and start failures.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_tools.h"
#include "processes.h"
#include "test_util.h"

namespace {

using Args = std::vector<std::string>;

// A host that starts the tool with its own output going to the test, then
// waits to be killed.
#ifdef _WIN32
class Host {
public:
    explicit Host(std::vector<std::string> argv)
    {
        argv[0] += ".exe";
        argv.insert(argv.begin(), {tt::bin_dir() + "win_child.exe", "host"});
        host_.reset(new tt::Spawned(argv));
    }
    std::string first_line()
    {
        std::string line;
        host_->read_line(line, 60000);
        return line;
    }
    void kill()
    {
        tt::kill_process(host_->pid());
        host_->wait(5000);
    }

private:
    std::unique_ptr<tt::Spawned> host_;
};
#else
// A forked host; everything the fork child uses is made before.
class Host {
public:
    explicit Host(const std::vector<std::string> &args)
    {
        std::vector<char *> argv;
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        int fds[2];
        if (pipe(fds) != 0) return;
        host_ = fork();
        if (host_ == 0) {
            if (fork() == 0) {
                dup2(fds[1], 1);
                dup2(fds[1], 2);
                execv(argv[0], argv.data());
                _exit(127);
            }
            for (;;) pause();
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~Host() { close(out_); }
    std::string first_line()
    {
        std::string first;
        char ch;
        while (read(out_, &ch, 1) == 1 && ch != '\n') first += ch;
        return first;
    }
    void kill()
    {
        ::kill(host_, SIGKILL);
        waitpid(host_, nullptr, 0);
    }

private:
    pid_t host_ = -1;
    int out_ = -1;
};
#endif

TEST(ToolLife, ToolAndStockChildEndWithinOneSecondOfTheirHost)
{
    tt::TempDir dir;
#ifdef _WIN32
    // A probe that never ends: the packets of an endless source.
    const Args probe = {"-hide_banner", "-f", "lavfi", "-i", "testsrc=size=64x64:rate=5", "-show_packets"};
    tt::Spawned owner({tt::bin_dir() + "win_child.exe", "sleep", "30000"});
#else
    const std::string fifo = dir.file("silent.fifo");  // nobody ever writes it
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const Args probe = {"-hide_banner", "-i", fifo};
    tt::Spawned owner({"/bin/sleep", "30"});
#endif
    const Args encode = {"-hide_banner", "-re", "-f", "lavfi", "-i", "testsrc=size=64x64:rate=5", "-f", "null", "-"};
    Args owned = {"-ppid", std::to_string(owner.pid())};
    owned.insert(owned.end(), encode.begin(), encode.end());
    struct Case {
        std::string tool, stock;
        Args args;
        bool by_owner;  // what ends: the owner named by "-ppid" (its starter lives on), or the host
    };
    const std::vector<Case> cases = {
        {"ffprobe", tt::stock_ffprobe(), probe, false},
        {"ffmpeg", tt::stock_ffmpeg(), encode, false},
        {"ffmpeg", tt::stock_ffmpeg(), owned, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tool + (c.by_owner ? " -ppid" : ""));
        Args argv = {tt::bin_dir() + c.tool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Host host(argv);
        const std::string first = host.first_line();
        const pid_t tool = first.rfind("PID = ", 0) == 0 ? std::stoi(first.substr(6)) : -1;
        const pid_t stock = tt::child_running(tool, c.stock);
        EXPECT_GT(tool, 0) << first;
        EXPECT_GT(stock, 0);
        // Both wait for ever by now: the probe on its input, the encode on its real-time source.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(tt::process_running(tool) && tt::process_running(stock));

        if (c.by_owner) tt::kill_process(owner.pid());
        else host.kill();
        EXPECT_TRUE(tt::ends_within(tool, 1000));
        EXPECT_TRUE(tt::ends_within(stock, 1000));
        if (c.by_owner) host.kill();
        for (pid_t p : {stock, tool})  // only what this test started, and only on failure
            if (tt::process_running(p)) tt::kill_process(p);
    }
}

[[maybe_unused]] Args ffmpeg(Args args) { return args.insert(args.begin(), tt::bin_dir() + "ffmpeg"), args; }

TEST(FakeStock, ForwardsOutputExitStatusAndStartFailures)
{
#ifdef _WIN32
    GTEST_SKIP() << "the fake tool's script runs POSIX processes";
#else
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
#endif
}

}  // namespace
