// Process creation times, and the host marker built from them. A time is
// the FILETIME count (100 ns since 1601) and stands for the start time that
// guards against pid reuse.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

long long os_process_start_time(int pid)
{
    if (pid < 1) return -1;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h) return -1;
    long long started = -1;
    FILETIME created, exited, kernel, user;
    // A process that has ended but whose handle someone still holds no
    // longer exists for our purposes.
    if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT && GetProcessTimes(h, &created, &exited, &kernel, &user))
        started = static_cast<long long>((static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    CloseHandle(h);
    return started;
}

int os_host_marker(int pid, char *out, size_t size)
{
    long long start = os_process_start_time(pid);
    if (start < 0 || !out || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    int n = std::snprintf(out, size, "%d:%lld", pid, start);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return -1;
    }
    return 0;
}

bool os_process_is(int pid, unsigned long long start_time)
{
    long long started = os_process_start_time(pid);
    return started >= 0 && static_cast<unsigned long long>(started) == start_time;
}
