// Where the log's lines go on Windows, and the local time of their stamps.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

int os_log_open(const char *dest)
{
    const int k_stderr = 2;
    if (!dest || !*dest) return k_stderr;
    if (std::strcmp(dest, "off") == 0) return -1;
    std::wstring name;
    if (!utf8_to_wide(dest, &name)) return k_stderr;
    // FILE_APPEND_DATA alone makes every write land at the end, like O_APPEND.
    HANDLE h = CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return k_stderr;
    int fd = handle_add(h);
    if (fd < 0) {
        CloseHandle(h);
        return k_stderr;
    }
    return fd;
}

void os_log_write(int handle, const char *data, size_t size)
{
    HANDLE h = handle_get(handle);
    if (h == INVALID_HANDLE_VALUE || !h) return;
    while (size > 0) {
        DWORD w = 0;
        DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!WriteFile(h, data, chunk, &w, nullptr) || w == 0) return;
        data += w;
        size -= w;
    }
}

void os_now_local(os_local_time *out)
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    *out = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}
