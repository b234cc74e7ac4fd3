#include <windows.h>
#include <tlhelp32.h>

#include <thread>

#include "child.h"
#include "host_watch.h"

namespace ffshim {
namespace {

DWORD parent_pid()
{
    DWORD parent = 0, self = GetCurrentProcessId();
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe))
        if (pe.th32ProcessID == self) parent = pe.th32ParentProcessID;
    CloseHandle(snap);
    return parent;
}

ULONGLONG created_at(HANDLE h)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(h, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

void watch_host()
{
    // Windows keeps the starter's pid as the parent's even after the starter
    // has ended and the pid went to another process: a "parent" that started
    // after this process is not the starter, which is gone then.
    const DWORD parent = parent_pid();
    if (parent == 0) return;  // nothing to go by
    HANDLE starter = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
    if (!starter) {
        // Gone already, or not ours to look at (then it is left alone).
        if (GetLastError() == ERROR_INVALID_PARAMETER) TerminateProcess(GetCurrentProcess(), kExitOwnerGone);
        return;
    }
    const ULONGLONG started = created_at(starter);
    if (started != 0 && started > created_at(GetCurrentProcess())) TerminateProcess(GetCurrentProcess(), kExitOwnerGone);
    std::thread([starter] {
        // At once and without clean-up: the other thread may be inside the
        // FFmpeg libraries. Closing this process closes its job handle,
        // which ends the stock child.
        if (WaitForSingleObject(starter, INFINITE) == WAIT_OBJECT_0)
            TerminateProcess(GetCurrentProcess(), kExitOwnerGone);
    }).detach();
}

}  // namespace ffshim
