// The directory of the file that holds the library's code (the DLL, or the
// program it is linked into), with its trailing backslash, in UTF-8.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

int os_module_dir(char *out, size_t size)
{
    if (!out || size == 0) return -1;
    out[0] = '\0';
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&os_module_dir), &self))
        return -1;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(self, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return -1;
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return -1;
        path.resize(path.size() * 2);
    }
    std::string utf8 = wide_to_utf8(path);
    size_t sep = utf8.find_last_of("\\/");
    if (sep == std::string::npos) return -1;
    size_t len = sep + 1;
    if (len >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return -1;
    }
    std::memcpy(out, utf8.data(), len);
    out[len] = '\0';
    return 0;
}
