// The part of processes.h the Windows test build uses: programs started
// through the library's own runner calls, and processes looked at through
// process handles and Tool Help snapshots.
#include "processes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/platform.h"
#include "test_util.h"

namespace tt {
namespace {

// "C:\x\FFmpeg.exe" -> "ffmpeg".
std::string program_name(std::string path)
{
    path = path.substr(path.find_last_of("\\/") + 1);
    if (path.size() > 4 && _stricmp(path.c_str() + path.size() - 4, ".exe") == 0) path.resize(path.size() - 4);
    std::transform(path.begin(), path.end(), path.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return path;
}

// Running children of `parent` (whose program is `name`, unless empty).
std::vector<int> children_of(int parent, const std::string &name)
{
    std::vector<int> out;
    std::vector<os_process_entry> all;
    if (os_process_snapshot(all) != 0) return out;
    for (const os_process_entry &p : all)
        if (p.ppid == parent && (name.empty() || program_name(p.exe_name) == program_name(name)) &&
            process_running(p.pid))
            out.push_back(p.pid);
    return out;
}

}  // namespace

// The runner passes the test's own environment on: `env` is set in it for
// the moment of the start (the tests start programs from one thread).
Spawned::Spawned(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &cwd,
                 int /*error_fd: POSIX only*/)
{
    int rd = -1, wr = -1, pid = -1;
    if (argv.empty() || os_pipe_create(&rd, &wr) != 0) return;
    std::vector<std::unique_ptr<ScopedEnv>> set;
    for (const std::string &e : env)
        set.emplace_back(new ScopedEnv(e.substr(0, e.find('=')).c_str(), e.substr(e.find('=') + 1)));
    const int rc = os_process_spawn(argv, cwd.empty() ? nullptr : cwd.c_str(), wr, &pid);
    set.clear();
    os_fd_close(wr);
    if (rc != 0) {
        os_fd_close(rd);
        return;
    }
    pid_ = pid;
    out_ = rd;
}

Spawned::~Spawned()
{
    if (pid_ > 0 && !reaped_) {
        os_process_kill(pid_);
        os_process_reap(pid_);
    }
    if (out_ >= 0) os_fd_close(out_);
}

bool Spawned::fill(int timeout_ms)
{
    if (out_ < 0) return false;
    const int ready = os_fd_poll(out_, timeout_ms);
    if (ready == 0) return false;
    char chunk[4096];
    const long got = ready < 0 ? -1 : os_fd_read(out_, chunk, sizeof chunk);
    if (got <= 0) {
        os_fd_close(out_);
        out_ = -1;
        return false;
    }
    pending_.append(chunk, static_cast<size_t>(got));
    return true;
}

// The runner keeps its own handle until the reap, so the pid stays this process's.
int Spawned::wait(int timeout_ms)
{
    if (pid_ <= 0) return -1;
    if (!reaped_) {
        HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid_));
        DWORD code = 0;
        const bool ended = h && WaitForSingleObject(h, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0 &&
                           GetExitCodeProcess(h, &code);
        if (h) CloseHandle(h);
        if (!ended) return -1;
        os_process_reap(pid_);
        reaped_ = true;
        status_ = static_cast<int>(code);
    }
    return status_;
}

void kill_process(pid_t pid) { os_process_kill(pid); }

bool process_running(pid_t pid)
{
    HANDLE h = pid > 0 ? OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)) : nullptr;
    if (!h) return false;
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

pid_t child_running(pid_t parent, const std::string &program, int timeout_ms)
{
    std::vector<int> found;
    return wait_until([&] { return !(found = children_of(parent, program)).empty(); }, timeout_ms) ? found[0] : -1;
}

std::vector<int> child_pids() { return children_of(static_cast<int>(GetCurrentProcessId()), ""); }

}  // namespace tt
