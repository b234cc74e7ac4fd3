// Files by UTF-8 name, through the C runtime's wide-character calls, with
// 64-bit sizes and times.
#include <windows.h>
#include <io.h>
#include <direct.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace {
bool wide_name(const char *path, std::wstring *out)
{
    if (path && utf8_to_wide(path, out)) return true;
    errno = path ? EILSEQ : EINVAL;
    return false;
}
}  // namespace

int os_stat(const char *path, os_file_status *st)
{
    std::wstring name;
    if (!wide_name(path, &name)) return -1;
    struct _stat64 sb;
    int rc = _wstat64(name.c_str(), &sb);
    if (rc != 0) return rc;
    st->size = static_cast<int64_t>(sb.st_size);
    st->mtime = static_cast<int64_t>(sb.st_mtime);
    return 0;
}

void os_ctime_text(int64_t t, char *out, size_t size)
{
    if (!out || size == 0) return;
    __time64_t when = static_cast<__time64_t>(t);
    char text[64];
    std::snprintf(out, size, "%s", _ctime64_s(text, sizeof text, &when) == 0 ? text : "\n");
}

int os_remove(const char *path)
{
    std::wstring name;
    return wide_name(path, &name) ? _wremove(name.c_str()) : -1;
}

int os_mkdir(const char *path)
{
    std::wstring name;
    return wide_name(path, &name) ? _wmkdir(name.c_str()) : -1;
}

int os_exists(const char *path)
{
    std::wstring name;
    return wide_name(path, &name) && _waccess(name.c_str(), 0) == 0 ? 1 : 0;
}
