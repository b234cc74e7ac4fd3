// Child processes on Windows: start without a shell (hidden, no console),
// exit query, waiting for the end, killing. The process handle of every
// child stays open until os_process_reap, so its pid cannot be reused while
// the runner may still aim a kill at it.
#include <windows.h>

#include <cwchar>
#include <map>
#include <mutex>
#include <new>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace {

std::mutex s_children_lock;
std::map<int, HANDLE> s_children;
// Serialises the moment in which the inheritable copies of a child's
// standard handles exist, so no other start passes them to its own child
// (which would hold our pipe open and hide its end).
std::mutex s_spawn_lock;

HANDLE child_handle(int pid)
{
    std::lock_guard<std::mutex> hold(s_children_lock);
    auto it = s_children.find(pid);
    return it == s_children.end() ? nullptr : it->second;
}

// The parent's environment without an inherited marker, plus our own.
std::wstring child_environment()
{
    std::wstring block;
    const std::wstring prefix = L"" OS_HOST_MARKER_NAME L"=";
    if (wchar_t *env = GetEnvironmentStringsW()) {
        for (const wchar_t *e = env; *e; e += std::wcslen(e) + 1) {
            if (_wcsnicmp(e, prefix.c_str(), prefix.size()) != 0) {
                block += e;
                block += L'\0';
            }
        }
        FreeEnvironmentStringsW(env);
    }
    char marker[64];
    if (os_host_marker(os_getpid(), marker, sizeof marker) == 0) {
        std::wstring value;
        utf8_to_wide(marker, &value);
        block += prefix + value;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

bool is_absolute(const std::wstring &p)
{
    return (p.size() >= 3 && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/')) ||
           (p.size() >= 2 && (p[0] == L'\\' || p[0] == L'/') && (p[1] == L'\\' || p[1] == L'/'));
}

HANDLE inheritable_copy(HANDLE h)
{
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

struct handle_closer {
    HANDLE h = nullptr;
    ~handle_closer()
    {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

int spawn(const std::vector<std::string> &argv, const char *cwd, int out_fd, int *pid)
{
    std::wstring program, line, dir;
    if (!utf8_to_wide(argv[0], &program) || !utf8_to_wide(os_cmdline_quote(argv), &line) ||
        !utf8_to_wide(cwd ? cwd : "", &dir)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return -1;
    }
    // A relative program counts from the child's working directory, as
    // on POSIX; CreateProcessW itself would take the parent's.
    if (!dir.empty() && !is_absolute(program)) {
        if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
        program = dir + program;
    }
    // A program named without an extension is its ".exe", as when Windows
    // finds a program from a command line: the library names its tools so.
    const size_t name_at = program.find_last_of(L"\\/");
    if (program.find(L'.', name_at == std::wstring::npos ? 0 : name_at) == std::wstring::npos) program += L".exe";
    std::wstring env = child_environment();

    std::lock_guard<std::mutex> hold(s_spawn_lock);
    handle_closer out, in;
    out.h = inheritable_copy(handle_get(out_fd));
    if (!out.h) return -1;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    in.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    if (in.h == INVALID_HANDLE_VALUE) return -1;

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = in.h;
    si.hStdOutput = out.h;
    si.hStdError = out.h;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                        &env[0], dir.empty() ? nullptr : dir.c_str(), &si, &pi))
        return -1;
    CloseHandle(pi.hThread);
    std::lock_guard<std::mutex> children(s_children_lock);
    s_children[static_cast<int>(pi.dwProcessId)] = pi.hProcess;
    *pid = static_cast<int>(pi.dwProcessId);
    return 0;
}

}  // namespace

int os_process_spawn(const std::vector<std::string> &argv, const char *cwd, int out_fd, int *pid)
{
    if (argv.empty() || argv[0].empty() || !pid || out_fd < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    try {
        return spawn(argv, cwd, out_fd, pid);
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

int os_process_exit_peek(int pid)
{
    HANDLE h = child_handle(pid);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);  // not a child we started
        return -1;
    }
    DWORD w = WaitForSingleObject(h, 0);
    if (w == WAIT_TIMEOUT) return OS_PROC_RUNNING;
    if (w != WAIT_OBJECT_0) return -1;
    // The process has ended, so 259 here is its real exit code, not STILL_ACTIVE.
    DWORD code = 0;
    if (!GetExitCodeProcess(h, &code)) return -1;
    return code == 0 ? OS_PROC_EXIT_ZERO : OS_PROC_EXIT_NONZERO;
}

int os_process_reap(int pid)
{
    HANDLE h = nullptr;
    {
        std::lock_guard<std::mutex> hold(s_children_lock);
        auto it = s_children.find(pid);
        if (it == s_children.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return -1;
        }
        h = it->second;
        s_children.erase(it);
    }
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    return 0;
}

void os_process_kill(int pid)
{
    if (pid < 1) return;
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (!h) return;
    TerminateProcess(h, 1);
    CloseHandle(h);
}
