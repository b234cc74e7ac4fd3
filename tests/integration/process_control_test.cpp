// Tools of a dead host found by their host marker and killed at clean-up; tarsa_sdk_kill_pid.
#include <gtest/gtest.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tool/orphan_cleanup.h"
#include "processes.h"
#include "platform/platform.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

// The fake tool installed under `name` (in a directory of its own), so the
// clean-up sees that name.
std::string tool_named(const std::string &dir, const std::string &name)
{
    std::filesystem::create_directory(dir);
    const std::string path = dir + "/" + name;
    if (!tt::write_file(path, tt::read_file(tt::bin_dir() + "fake_tool"))) return std::string();
    chmod(path.c_str(), 0755);
    return path;
}

std::string marker_of(pid_t pid, long long start_time)
{
    return std::string("TARSASDK_HOST=") + std::to_string(pid) + ":" + std::to_string(start_time);
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

std::vector<std::string> hang(const std::string &program) { return {program, "--run", "hang"}; }

// Tools whose marker names a dead host, or a pid now used by a process that
// started at another time, are killed (letter case of the name does not matter). Tools of a living host, tools without
// a marker and other programs are left alone.
TEST(OrphanCleanup, KillsTheToolsOfDeadHostsOnly)
{
    tt::TempDir dir;
    tt::Spawned dead_host(hang(tt::bin_dir() + "fake_tool")), live_host(hang(tt::bin_dir() + "fake_tool"));
    const long long dead_start = os_process_start_time(dead_host.pid());
    const long long live_start = os_process_start_time(live_host.pid());
    const long long self_start = os_process_start_time(getpid());
    ASSERT_GE(dead_start, 0);
    ASSERT_GE(live_start, 0);
    const struct {
        const char *name;    // the program's name
        std::string marker;  // "" for none
        bool killed;
    } cases[] = {
        {"ffmpeg", marker_of(dead_host.pid(), dead_start), true},
        {"FFMPEG", marker_of(dead_host.pid(), dead_start), true},
        {"ffprobe", marker_of(dead_host.pid(), dead_start), true},
        {"ffmpeg", marker_of(live_host.pid(), live_start + 1), true},  // pid reused
        {"ffmpeg", marker_of(live_host.pid(), live_start), false},
        {"ffmpeg", marker_of(getpid(), self_start), false},  // the host is this test
        {"ffmpeg", "", false},
        {"ffmpeg-helper", marker_of(999999999, 1), false},  // not a tool
    };
    std::vector<std::unique_ptr<tt::Spawned>> procs;
    std::set<int> ours;
    for (const auto &c : cases) {
        const std::string path = tool_named(dir.file(std::to_string(procs.size())), c.name);
        ASSERT_FALSE(path.empty());
        procs.emplace_back(new tt::Spawned(hang(path), c.marker.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.marker}));
        // after its exec
        ASSERT_TRUE(tt::wait_until([&] { return tt::process_exe(procs.back()->pid()) == path; }, 5000)) << c.name;
        ours.insert(procs.back()->pid());
    }
    // The host dies through tarsa_sdk_kill_pid, which refuses pids below one (0 would be this test's group).
    tarsa_sdk_kill_pid(0);
    tarsa_sdk_kill_pid(-5);
    tarsa_sdk_kill_pid(dead_host.pid());
    ASSERT_EQ(dead_host.wait(5000), 128 + SIGKILL);
    ASSERT_LT(os_process_start_time(dead_host.pid()), 0) << "the host's pid is still taken";

    // The clean-up looks at every process of the machine: so that it signals
    // nothing but ours, it is skipped when it would meet somebody else's orphan.
    if (!foreign_orphans(ours).empty()) GTEST_SKIP() << "another orphaned tool runs on this machine";
    kill_zombie_process();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (size_t i = 0; i < procs.size(); i++) {
        SCOPED_TRACE(std::string(cases[i].name) + " " + cases[i].marker);
        if (cases[i].killed) { EXPECT_EQ(procs[i]->wait(5000), 128 + SIGKILL); }
        else { EXPECT_TRUE(tt::process_running(procs[i]->pid())); }
    }
    EXPECT_TRUE(tt::process_running(live_host.pid())) << "the live process of a reused pid is not touched";
}

}  // namespace
