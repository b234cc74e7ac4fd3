// File-name code conversion: hosts pass UTF-8; a legacy host's GB18030 name
// (code page 54936) is converted to UTF-8. The set names are informational.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

int os_code_convert(const char * /*to_set*/, const char * /*from_set*/, char *out, size_t out_size,
                    const char *in, size_t in_len)
{
    if (!out || out_size == 0 || !in) return 0;
    std::memset(out, 0, out_size);
    if (in_len == 0 || in_len > 0x7fffffff) return 0;
    const int n = static_cast<int>(in_len);
    // Strict UTF-8 (no overlong forms, no surrogates) passes unchanged.
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, n, nullptr, 0) > 0) {
        if (in_len >= out_size) return 0;
        std::memcpy(out, in, in_len);
        return n;
    }
    // GB18030 is code page 54936; where the system lacks it (Wine), its
    // two-byte part, GBK (936), still converts the common names.
    UINT cp = 54936;
    int wlen = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, in, n, nullptr, 0);
    if (wlen <= 0 && GetLastError() == ERROR_INVALID_PARAMETER) {
        cp = 936;
        wlen = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, in, n, nullptr, 0);
    }
    if (wlen <= 0) return 0;
    std::wstring wide(static_cast<size_t>(wlen), L'\0');
    if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, in, n, &wide[0], wlen) != wlen) return 0;
    int len = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wlen, out, static_cast<int>(out_size - 1), nullptr, nullptr);
    if (len <= 0) {
        std::memset(out, 0, out_size);
        return 0;
    }
    return len;
}
