// Process control: tools left behind by a host that died are found by the
// host marker in their environment and killed at the next clean-up; tools
// of a living host, tools without a marker and other programs are left
// alone. tarsa_sdk_kill_pid kills by pid and refuses pids below 1.
//
// The clean-up looks at every process of the machine. So that these tests
// signal nothing but their own processes, a test whose clean-up would also
// meet somebody else's orphan is skipped.
#include <gtest/gtest.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cvt/orphan_cleanup.h"
#include "log_capture.h"
#include "processes.h"
#include "support/platform.h"
#include "support/proc_snapshot.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

// The fake tool installed under `name`, so the clean-up sees that name.
std::string tool_named(const tt::TempDir &dir, const std::string &name)
{
    std::string path = dir.file(name);
    if (!tt::write_file(path, tt::read_file(tt::bin_dir() + "fake_tool"))) return std::string();
    chmod(path.c_str(), 0755);
    return path;
}

std::string marker_of(pid_t pid, long long start_time)
{
    return std::string("TARSASDK_HOST=") + std::to_string(pid) + ":" + std::to_string(start_time);
}

// Waits until the process runs the program at `path` (after its exec).
bool runs_program(pid_t pid, const std::string &path)
{
    return tt::wait_until([&] { return tt::process_exe(pid) == path; }, 5000);
}

// Tools that a clean-up now would kill, apart from `ours`.
std::vector<int> foreign_orphans(const std::set<int> &ours)
{
    std::vector<int> out;
    std::vector<os_process_entry> processes;
    if (os_process_snapshot(processes) != 0) return out;
    for (const os_process_entry &p : processes) {
        int host = 0;
        unsigned long long start = 0;
        bool tool = strcasecmp(p.exe_name.c_str(), "ffmpeg") == 0 || strcasecmp(p.exe_name.c_str(), "ffprobe") == 0;
        if (!tool || ours.count(p.pid) || !parse_host_marker(p.host_marker.c_str(), &host, &start)) continue;
        if (!os_process_is(host, start)) out.push_back(p.pid);
    }
    return out;
}

const std::vector<std::string> kHang = {"--run", "hang"};

std::vector<std::string> argv_of(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::string kill_line(const std::string &name, pid_t pid, pid_t host)
{
    return "kill zombie process " + name + "[PID=" + std::to_string(pid) + " PPID=" + std::to_string(host) + "]";
}

class OrphanCleanup : public ::testing::Test {
protected:
    // A host process we own, its start time, then its death (SIGKILL, reaped).
    void start_host()
    {
        host_.reset(new tt::Spawned(argv_of(tt::bin_dir() + "fake_tool", kHang)));
        ASSERT_GT(host_->pid(), 0);
        host_pid_ = host_->pid();
        host_start_ = os_process_start_time(host_pid_);
        ASSERT_GE(host_start_, 0);
    }
    void kill_host()
    {
        ASSERT_EQ(kill(host_pid_, SIGKILL), 0);
        host_->wait(5000);
        ASSERT_LT(os_process_start_time(host_pid_), 0) << "the host's pid is still taken";
    }
    // Runs the clean-up unless it would meet an orphan that is not ours.
    bool clean_up(const std::set<int> &ours)
    {
        std::vector<int> foreign = foreign_orphans(ours);
        if (!foreign.empty()) return false;
        kill_zombie_process();
        return true;
    }

    tt::TempDir dir_;
    std::unique_ptr<tt::Spawned> host_;
    pid_t host_pid_ = -1;
    long long host_start_ = -1;
};

TEST_F(OrphanCleanup, ToolsOfADeadHostAreKilledAndLogged)
{
    start_host();
    // Letter case of the name does not matter; the log keeps it.
    const std::vector<std::string> names = {"ffmpeg", "FFMPEG", "ffprobe"};
    std::vector<std::unique_ptr<tt::Spawned>> tools;
    std::set<int> ours;
    for (const std::string &name : names) {
        std::string path = tool_named(dir_, name);
        ASSERT_FALSE(path.empty());
        tools.emplace_back(new tt::Spawned(argv_of(path, kHang), {marker_of(host_pid_, host_start_)}));
        ASSERT_GT(tools.back()->pid(), 0);
        ASSERT_TRUE(runs_program(tools.back()->pid(), path));
        ours.insert(tools.back()->pid());
    }
    kill_host();

    tt::LogCapture log;
    if (!clean_up(ours)) GTEST_SKIP() << "another orphaned tool runs on this machine";
    for (size_t i = 0; i < names.size(); i++) {
        SCOPED_TRACE(names[i]);
        EXPECT_TRUE(tt::ends_within(tools[i]->pid(), 5000));
        EXPECT_EQ(log.count(kill_line(names[i], tools[i]->pid(), host_pid_)), 1);
        EXPECT_EQ(tools[i]->wait(5000), 128 + SIGKILL);
    }
}

TEST_F(OrphanCleanup, ToolsWithALiveHostOrNoMarkerAndOtherProgramsStay)
{
    start_host();
    const long long self_start = os_process_start_time(getpid());
    ASSERT_GE(self_start, 0);
    struct Case {
        const char *name;
        std::string program;
        std::vector<std::string> env;
    };
    const std::string ffmpeg = tool_named(dir_, "ffmpeg");
    const std::string other = tool_named(dir_, "ffmpeg-helper");
    ASSERT_FALSE(ffmpeg.empty());
    ASSERT_FALSE(other.empty());
    const Case cases[] = {
        {"host alive", ffmpeg, {marker_of(host_pid_, host_start_)}},
        {"host is this test", ffmpeg, {marker_of(getpid(), self_start)}},
        {"no marker", ffmpeg, {}},
        {"not a tool, host gone", other, {marker_of(999999999, 1)}},
    };
    std::vector<std::unique_ptr<tt::Spawned>> procs;
    std::set<int> ours;
    for (const Case &c : cases) {
        procs.emplace_back(new tt::Spawned(argv_of(c.program, kHang), c.env));
        ASSERT_GT(procs.back()->pid(), 0) << c.name;
        ASSERT_TRUE(runs_program(procs.back()->pid(), c.program)) << c.name;
        ours.insert(procs.back()->pid());
    }

    tt::LogCapture log;
    if (!clean_up(ours)) GTEST_SKIP() << "another orphaned tool runs on this machine";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (size_t i = 0; i < procs.size(); i++) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_TRUE(tt::process_running(procs[i]->pid()));
        EXPECT_FALSE(log.contains("[PID=" + std::to_string(procs[i]->pid()) + " "));
    }
}

TEST_F(OrphanCleanup, MarkerOfAReusedPidMeansTheHostIsGone)
{
    // The pid names a live process, but one that started at another time:
    // the host that started the tool is gone and its pid was reused.
    start_host();
    const std::string ffmpeg = tool_named(dir_, "ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    tt::Spawned tool(argv_of(ffmpeg, kHang), {marker_of(host_pid_, host_start_ + 1)});
    ASSERT_GT(tool.pid(), 0);
    ASSERT_TRUE(runs_program(tool.pid(), ffmpeg));

    tt::LogCapture log;
    if (!clean_up({tool.pid()})) GTEST_SKIP() << "another orphaned tool runs on this machine";
    EXPECT_TRUE(tt::ends_within(tool.pid(), 5000));
    EXPECT_EQ(log.count(kill_line("ffmpeg", tool.pid(), host_pid_)), 1);
    EXPECT_TRUE(tt::process_running(host_pid_)) << "the live process of that pid is not touched";
}

TEST(KillPid, KillsByPidAndRefusesPidsBelowOne)
{
    tt::Spawned child(argv_of(tt::bin_dir() + "fake_tool", kHang));
    tt::LogCapture log;
    tarsa_sdk_kill_pid(0);
    tarsa_sdk_kill_pid(-5);
    EXPECT_EQ(log.count("pid <= 0"), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(tt::process_running(child.pid()));
    tarsa_sdk_kill_pid(child.pid());
    EXPECT_EQ(child.wait(5000), 128 + SIGKILL);
    EXPECT_EQ(log.messages().size(), 2u);
}

}  // namespace
