// The tool layer as a host meets it: its tools end with the host that started
// them (whatever they wait on), and the quality asked for reaches x264.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "processes.h"
#include "test_util.h"

namespace {

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
    // A probe that never ends: packets of an endless source.
    const std::vector<std::string> probe = {"-hide_banner", "-f", "lavfi", "-i", "testsrc=size=64x64:rate=5", "-show_packets"};
#else
    const std::string fifo = dir.file("silent.fifo");  // nobody ever writes it
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::string> probe = {"-hide_banner", "-i", fifo};
#endif
    struct Case {
        std::string tool, stock;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"ffprobe", tt::stock_ffprobe(), probe},
        {"ffmpeg", tt::stock_ffmpeg(), {"-hide_banner", "-re", "-f", "lavfi", "-i", "testsrc=size=64x64:rate=5", "-f", "null", "-"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tool);
        std::vector<std::string> argv = {tt::bin_dir() + c.tool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Host host(argv);
        const std::string first = host.first_line();
        const pid_t tool = first.rfind("PID = ", 0) == 0 ? std::stoi(first.substr(6)) : -1;
        const pid_t stock = tt::child_running(tool, c.stock);
        EXPECT_GT(tool, 0) << first;
        EXPECT_GT(stock, 0);
        // Both wait for ever by now: the probe on its source, the encode on its real-time source.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(tt::process_running(tool) && tt::process_running(stock));

        host.kill();
        EXPECT_TRUE(tt::ends_within(tool, 1000));
        EXPECT_TRUE(tt::ends_within(stock, 1000));
        for (pid_t p : {stock, tool})  // only what this test started, and only on failure
            if (tt::process_running(p)) tt::kill_process(p);
    }
}

TEST(ToolLife, QualityChangesTheSizeOfAnX264Encode)
{
    tt::TempDir dir;
    std::vector<std::uintmax_t> sizes;
    for (const char *q : {"1", "51"}) {
        const std::string out = dir.file(std::string("q") + q + ".mp4");
        const tt::Finished f = tt::run({tt::bin_dir() + "ffmpeg", "-hide_banner", "-y", "-f", "lavfi", "-i",
                                        "testsrc=size=160x120:rate=10:duration=2", "-c:v", "libx264", "-q:v", q, out});
        ASSERT_EQ(f.exit_code, 0) << f.output;
        sizes.push_back(std::filesystem::file_size(out));
    }
    // The best quality must cost clearly more than the worst.
    EXPECT_GT(sizes[0], 2 * sizes[1]);
}

}  // namespace
