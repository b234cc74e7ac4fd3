#include <windows.h>

#include <algorithm>

#include "child.h"
#include "line_breaks.h"
#include "output.h"
#include "platform/platform.h"
#include "tool_win32.h"

namespace ffshim {
namespace {

// How long an idle wait for the child's output or end lasts: anonymous pipes
// cannot be waited on, so the pipe is peeked between waits on the processes.
constexpr DWORD kIdleWaitMs = 10;

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { reset(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE get() const { return h_; }
    void reset(HANDLE h = nullptr)
    {
        if (h_) CloseHandle(h_);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }

private:
    HANDLE h_;
};

std::string system_message(DWORD code)
{
    wchar_t *text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message = n > 0 && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return narrow(message) + " (error " + std::to_string(code) + ")";
}

ULONGLONG created_at(HANDLE h)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(h, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The job object that kills its processes when its last handle closes, i.e.
// when the tool layer ends however it ends. The tool layer puts itself in
// it, so that every child is in it from its first moment on; where that is
// refused (the tool already runs in a job that allows no other), each child
// is put in it while still suspended. Null when no job could be made.
HANDLE tool_job(bool *self_in_job)
{
    static HANDLE job = nullptr;
    static bool self = false;
    if (!job) {
        HANDLE h = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        ZeroMemory(&limits, sizeof limits);
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (h && !SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(h);
            h = nullptr;
        }
        job = h;
        self = job && AssignProcessToJobObject(job, GetCurrentProcess());
    }
    *self_in_job = self;
    return job;
}

// The running stock child and the read end of its standard output and error.
struct Stock {
    HANDLE job = nullptr;
    Handle process, output;
};

bool start(const std::string &program, const std::vector<std::string> &args, Stock &stock)
{
    bool self_in_job = false;
    stock.job = tool_job(&self_in_job);
    if (!stock.job) return false;

    // Only the write end and the input are inherited, and only by this child
    // (the tool layer starts nothing else meanwhile).
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE rd = nullptr, wr = nullptr;
    if (!CreatePipe(&rd, &wr, &inherit, 65536)) return false;
    stock.output.reset(rd);
    Handle write_end(wr);
    if (!SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0)) return false;
    Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr));
    if (!input.get()) return false;

    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::wstring app = widen(program), line = widen(os_cmdline_quote(argv));
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input.get();
    si.hStdOutput = wr;
    si.hStdError = wr;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    // Outside the job, suspended until it is in it: no moment exists in
    // which it could outlive the tool layer.
    const DWORD suspended = self_in_job ? 0 : CREATE_SUSPENDED;
    if (!CreateProcessW(app.c_str(), &line[0], nullptr, nullptr, TRUE, suspended | CREATE_NO_WINDOW, nullptr, nullptr,
                        &si, &pi))
        return false;
    stock.process.reset(pi.hProcess);
    Handle thread(pi.hThread);
    if (self_in_job) return true;
    if (!AssignProcessToJobObject(stock.job, pi.hProcess)) {
        DWORD err = GetLastError();
        TerminateProcess(pi.hProcess, kExitNotStarted);
        SetLastError(err);
        return false;
    }
    return ResumeThread(pi.hThread) != static_cast<DWORD>(-1);
}

// A handle that is signalled when the owner named by -ppid ends; null when
// there is none to watch. *gone is set when it has ended already.
HANDLE open_owner(pid_t owner_pid, bool *gone)
{
    *gone = false;
    if (owner_pid <= 0) return nullptr;
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(owner_pid));
    if (!h) {
        *gone = GetLastError() == ERROR_INVALID_PARAMETER;  // no such process; otherwise not ours to watch
        return nullptr;
    }
    // A process that started after the tool layer has only taken the pid over.
    if (created_at(h) > created_at(GetCurrentProcess())) *gone = true;
    return h;
}

bool signalled(HANDLE h) { return h && WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }

// Passes the child's output to `sink` until the child has ended and its
// output is drained. The exit code, or kExitOwnerGone / kExitOutputLost.
template <typename Sink>
int forward_and_wait(Stock &stock, HANDLE owner, pid_t owner_pid, Sink sink)
{
    char chunk[65536];
    HANDLE waits[2] = {stock.process.get(), owner};
    for (;;) {
        if (signalled(owner)) {
            // Said first: when the tool layer is in the job itself, it ends with it.
            say("ffshim: process " + std::to_string(owner_pid) + " has ended, job stopped");
            TerminateJobObject(stock.job, kExitOwnerGone);
            return kExitOwnerGone;
        }
        // Whatever an ended child wrote is in the pipe before it counts as ended.
        const bool ended = signalled(stock.process.get());
        DWORD waiting = 0;
        const bool open = PeekNamedPipe(stock.output.get(), nullptr, 0, nullptr, &waiting, nullptr) != 0;
        if (open && waiting > 0) {
            DWORD got = 0;
            if (ReadFile(stock.output.get(), chunk, std::min<DWORD>(waiting, sizeof chunk), &got, nullptr) && got > 0 &&
                !sink(chunk, static_cast<size_t>(got))) {
                TerminateJobObject(stock.job, kExitOutputLost);
                return kExitOutputLost;
            }
            continue;
        }
        // The end of output alone is not the end: a helper of the child (a
        // console host) may hold the pipe open after the child's exit.
        if (ended || !open) break;
        WaitForMultipleObjects(owner ? 2 : 1, waits, FALSE, kIdleWaitMs);
    }
    WaitForSingleObject(stock.process.get(), INFINITE);
    DWORD code = kExitNotStarted;
    GetExitCodeProcess(stock.process.get(), &code);
    return static_cast<int>(code);
}

}  // namespace

int run_stock(const std::string &program, const std::vector<std::string> &args, pid_t owner_pid,
              const std::function<void()> &alongside, const OutputObserver &observe)
{
    bool owner_gone = false;
    Handle owner(open_owner(owner_pid, &owner_gone));
    if (owner_gone) {
        say("ffshim: process " + std::to_string(owner_pid) + " has ended, job stopped");
        return kExitOwnerGone;
    }
    Stock stock;
    if (!start(program, args, stock)) {
        say("ffshim: cannot start " + program + ": " + system_message(GetLastError()));
        return kExitNotStarted;
    }
    if (alongside) alongside();
    LineBreakFilter filter;
    return forward_and_wait(stock, owner.get(), owner_pid, [&](const char *data, size_t size) {
        const std::string text = filter.feed(data, size);
        if (!write_out(text)) return false;
        if (observe) observe(text);
        return true;
    });
}

int run_stock_collected(const std::string &program, const std::vector<std::string> &args, std::string *output)
{
    Stock stock;
    if (!start(program, args, stock)) return kExitNotStarted;
    return forward_and_wait(stock, nullptr, 0, [&](const char *data, size_t size) {
        output->append(data, size);
        return true;
    });
}

}  // namespace ffshim
