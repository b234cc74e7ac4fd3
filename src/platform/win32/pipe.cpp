// Anonymous pipes on Windows: creation, peeking, waiting and reading.
#include <windows.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/win32/handles.h"

int os_pipe_create(int *read_fd, int *write_fd)
{
    // Not inheritable: the spawn hands the child an inheritable copy of the
    // write end only while it starts that child.
    HANDLE rd = nullptr, wr = nullptr;
    if (!CreatePipe(&rd, &wr, nullptr, 0)) return -1;
    int r = handle_add(rd);
    int w = r < 0 ? -1 : handle_add(wr);
    if (w < 0) {
        DWORD saved = GetLastError();
        if (r >= 0) handle_take(r);
        CloseHandle(rd);
        CloseHandle(wr);
        SetLastError(saved);
        return -1;
    }
    *read_fd = r;
    *write_fd = w;
    return 0;
}

int os_fd_bytes_waiting(int fd)
{
    DWORD avail = 0;
    if (PeekNamedPipe(handle_get(fd), nullptr, 0, nullptr, &avail, nullptr)) return static_cast<int>(avail);
    // A pipe whose writers are all gone holds nothing more.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

int os_fd_poll(int fd, int timeout_ms)
{
    HANDLE h = handle_get(fd);
    if (h == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    // Anonymous pipes cannot be waited on: peek, then sleep a little longer
    // each round (1 ms up to 10 ms), so a busy pipe is answered at once and
    // a silent one costs a few wake-ups per 100 ms.
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms < 0 ? 0 : timeout_ms);
    DWORD pause = 1;
    for (;;) {
        DWORD avail = 0;
        if (!PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) return OS_POLL_HUP;
            return -1;
        }
        if (avail > 0) return OS_POLL_IN;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return 0;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, deadline - now)));
        pause = std::min<DWORD>(pause * 2, 10);
    }
}

long os_fd_read(int fd, void *buf, size_t size)
{
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (ReadFile(handle_get(fd), buf, want, &got, nullptr)) return static_cast<long>(got);
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

void os_fd_close(int fd)
{
    HANDLE h = handle_take(fd);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

int os_last_error(void) { return static_cast<int>(GetLastError()); }
