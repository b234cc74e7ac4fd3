// The tool layer as a host meets it: its tools end with the host that started
// them (whatever they wait on), or with the owner "-ppid" names; with the fake
// tool as its stock program, the exact output after "PID =", broken status
// lines, exit status and start failures.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

#include <chrono>
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
Args hosted(const std::string &tool, const Args &args)
{
#ifdef _WIN32
    Args argv = {tt::bin_dir() + "win_child.exe", "host", tt::bin_dir() + tool + ".exe"};
#else
    Args argv = {"/usr/bin/timeout", "600", tt::bin_dir() + tool};  // starts the tool and waits for it
#endif
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

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
        tt::Spawned host(hosted(c.tool, c.args));
        std::string first;
        host.read_line(first, 60000);
        const pid_t tool = first.rfind("PID = ", 0) == 0 ? std::stoi(first.substr(6)) : -1;
        const pid_t stock = tt::child_running(tool, c.stock);
        EXPECT_GT(tool, 0) << first;
        EXPECT_GT(stock, 0);
        // Both wait for ever by now: the probe on its input, the encode on its real-time source.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(tt::process_running(tool) && tt::process_running(stock));

        tt::Spawned &killed = c.by_owner ? owner : host;
        tt::kill_process(killed.pid());
        killed.wait(5000);
        EXPECT_TRUE(tt::ends_within(tool, 1000));
        EXPECT_TRUE(tt::ends_within(stock, 1000));
        for (pid_t p : {stock, tool})  // only what this test started, and only on failure
            if (tt::process_running(p)) tt::kill_process(p);
    }
}

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
        tt::Spawned shim({tt::bin_dir() + "ffmpeg"},
                         {"TARSASDK_FFMPEG_DIR=" + dir.path(), "TARSA_FAKE_SCRIPT=" + dir.file("script")});
        if (c.status == 128 + SIGTERM) {
            const pid_t child = tt::child_running(shim.pid(), dir.file("ffmpeg"));
            ASSERT_TRUE(child > 0 && kill(child, SIGTERM) == 0);
        }
        EXPECT_EQ(shim.read_rest(10000), "PID = " + std::to_string(shim.pid()) + "\n" + c.output) << c.script;
        EXPECT_EQ(shim.wait(5000), c.status) << c.script;
    }
    const std::string bin = tt::bin_dir();
    for (const std::string &stock_dir : {dir.file("none"), bin.substr(0, bin.size() - 1)}) {  // none; the tool itself
        tt::Spawned shim({bin + "ffmpeg", "-version"}, {"TARSASDK_FFMPEG_DIR=" + stock_dir});
        EXPECT_EQ(tt::split_lines(shim.read_rest(5000)).size(), 2u);  // the "PID =" line and the reason
        EXPECT_EQ(shim.wait(5000), 127) << stock_dir;
    }
#endif
}

}  // namespace
