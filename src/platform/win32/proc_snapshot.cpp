// The process table from a Tool Help snapshot. Windows does not re-parent
// an orphan and reuses pids, so the parent link is judged here: a process
// counts as a tool only when its image is the library directory's
// ffmpeg.exe or ffprobe.exe (never a foreign program of that name), and
// its host marker names its parent with the parent's start time only when
// that parent still runs and is older than the tool; otherwise the marker
// carries start time 0, which no running process has.
#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace {

long long created_at(HANDLE h)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(h, &created, &exited, &kernel, &user)) return -1;
    return static_cast<long long>((static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
}

// The library directory's copy of `exe` (the tool names only), or empty.
std::wstring library_tool_path(const wchar_t *exe)
{
    if (_wcsicmp(exe, L"ffmpeg.exe") != 0 && _wcsicmp(exe, L"ffprobe.exe") != 0) return std::wstring();
    char dir[1024];
    std::wstring wdir;
    if (os_module_dir(dir, sizeof dir) != 0 || !utf8_to_wide(dir, &wdir)) return std::wstring();
    return wdir + exe;
}

std::string marker_for_tool(const PROCESSENTRY32W &pe)
{
    std::wstring expected = library_tool_path(pe.szExeFile);
    if (expected.empty()) return std::string();
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pe.th32ProcessID);
    if (!h) return std::string();
    wchar_t image[MAX_PATH * 2];
    DWORD len = sizeof image / sizeof image[0];
    bool ours = QueryFullProcessImageNameW(h, 0, image, &len) && _wcsicmp(image, expected.c_str()) == 0;
    long long tool_start = created_at(h);
    CloseHandle(h);
    if (!ours || tool_start < 0) return std::string();

    long long parent_start = os_process_start_time(static_cast<int>(pe.th32ParentProcessID));
    if (parent_start < 0 || parent_start > tool_start) parent_start = 0;  // gone, or a later process
    return std::to_string(pe.th32ParentProcessID) + ":" + std::to_string(parent_start);
}

// "ffmpeg.exe" -> "ffmpeg": the callers compare one name on every system.
std::string without_exe(std::string name)
{
    if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".exe") == 0) name.resize(name.size() - 4);
    return name;
}

}  // namespace

int os_process_snapshot(std::vector<os_process_entry> &out)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
        os_process_entry e;
        e.pid = static_cast<int>(pe.th32ProcessID);
        e.ppid = static_cast<int>(pe.th32ParentProcessID);
        e.exe_name = without_exe(wide_to_utf8(pe.szExeFile));
        e.host_marker = marker_for_tool(pe);
        out.push_back(std::move(e));
    }
    CloseHandle(snap);
    return 0;
}
