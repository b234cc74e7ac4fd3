// The tool layer with the real stock program (child lifetime, "-ppid") and the fake tool as it
// (exact output after "PID =", broken status lines, exit status, start failures).
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <thread>
#include <vector>

#include "fake_tools.h"
#include "processes.h"
#include "test_util.h"

namespace {

using Args = std::vector<std::string>;

Args operator+(Args a, const Args &b) { return a.insert(a.end(), b.begin(), b.end()), a; }
Args ffmpeg(Args args) { return Args{tt::bin_dir() + "ffmpeg"} + args; }

// An encode that runs until killed (30 s of input read in real time).
const Args kLong = {"-re", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=30", "-f", "null", "-"};

// The stock child ends with the tool, and the tool with the owner named by
// -ppid (killed, not yet reaped).
TEST(ToolLayer, StockChildEndsWithTheToolAndTheToolWithItsOwner)
{
    tt::Spawned killed(ffmpeg(kLong));
    pid_t child = tt::child_running(killed.pid(), tt::stock_ffmpeg());
    ASSERT_GT(child, 0);
    tt::kill_process(killed.pid());
    EXPECT_EQ(killed.wait(5000), tt::kKilledStatus);
    EXPECT_TRUE(tt::ends_within(child, 1000));

    tt::Spawned owner(Args{tt::stock_ffmpeg()} + kLong);  // any process that waits
    Args args = kLong;
    args.insert(args.begin(), {"-ppid", std::to_string(owner.pid())});
    tt::Spawned shim(ffmpeg(args));
    ASSERT_GT(child = tt::child_running(shim.pid(), tt::stock_ffmpeg()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(tt::process_running(shim.pid()));  // the job goes on while the owner lives
    tt::kill_process(owner.pid());
    const int status = shim.wait(1000);
    EXPECT_TRUE(status != -1 && status != 0) << status;
    EXPECT_TRUE(tt::ends_within(child, 200));
}

TEST(FakeStock, ForwardsOutputAndExitStatus)
{
#ifdef _WIN32
    GTEST_SKIP() << "the fake tool is a POSIX program";
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
#endif
}

TEST(ToolLayer, StockProgramMissingOrTheToolItself)
{
    tt::TempDir dir;
    const std::string bin = tt::bin_dir();
    for (const std::string &stock_dir : {dir.file("none"), bin.substr(0, bin.size() - 1)}) {  // none; the tool itself
        tt::Spawned shim(ffmpeg({"-version"}), {"TARSASDK_FFMPEG_DIR=" + stock_dir});
        EXPECT_EQ(tt::split_lines(shim.read_rest(5000)).size(), 2u);  // the "PID =" line and the reason
        EXPECT_EQ(shim.wait(5000), 127) << stock_dir;
    }
}

}  // namespace
