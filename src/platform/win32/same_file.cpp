// Whether two names lead to one file, on Windows.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace {

bool file_id(const std::wstring &name, BY_HANDLE_FILE_INFORMATION *info)
{
    HANDLE h = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, info) != 0;
    CloseHandle(h);
    return ok;
}

std::wstring full_name(const std::wstring &name)
{
    wchar_t buf[32768];
    const DWORD n = GetFullPathNameW(name.c_str(), 32768, buf, nullptr);
    return n > 0 && n < 32768 ? std::wstring(buf, n) : name;
}

}  // namespace

bool os_same_file(const char *a, const char *b)
{
    std::wstring wa, wb;
    if (!a || !b || !utf8_to_wide(a, &wa) || !utf8_to_wide(b, &wb)) return false;
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (file_id(wa, &ia) && file_id(wb, &ib))
        return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
               ia.nFileIndexLow == ib.nFileIndexLow;
    const std::wstring fa = full_name(wa), fb = full_name(wb);
    return CompareStringOrdinal(fa.c_str(), static_cast<int>(fa.size()), fb.c_str(), static_cast<int>(fb.size()),
                                TRUE) == CSTR_EQUAL;
}
