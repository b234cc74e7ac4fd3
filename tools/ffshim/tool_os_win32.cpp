#include <windows.h>

#include <cwctype>

#include "tool_os.h"
#include "tool_win32.h"

// The C runtime splits the command line into wide arguments by the rules the
// library quotes it with; the tool layer works on their UTF-8 form.
int wmain(int argc, wchar_t **argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; i++) args.push_back(ffshim::narrow(argv[i]));
    return ffshim::tool_main(args);
}

namespace ffshim {

std::wstring widen(const std::string &utf8)
{
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string narrow(const std::wstring &utf16)
{
    if (utf16.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring self_path()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

std::wstring dir_of(const std::wstring &path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

void prepare_process()
{
    // No error boxes for the tool or the stock program (the child inherits
    // the mode): nobody is there to close them, and the job would hang.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

int own_pid() { return static_cast<int>(GetCurrentProcessId()); }

// "C:\x\FFmpeg.exe" -> "ffmpeg": file names are not case-sensitive here.
std::string tool_name(const std::string &argv0)
{
    std::wstring name = widen(argv0.substr(argv0.find_last_of("\\/") + 1));
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0) name.resize(name.size() - 4);
    for (wchar_t &c : name) c = static_cast<wchar_t>(std::towlower(c));
    return narrow(name);
}

// The stock programs lie in "stock" beside the tool layer, unless
// TARSASDK_FFMPEG_DIR names another directory.
std::string stock_program(const std::string &tool)
{
    wchar_t value[32768];
    DWORD n = GetEnvironmentVariableW(L"TARSASDK_FFMPEG_DIR", value, sizeof value / sizeof value[0]);
    std::wstring dir = n > 0 && n < sizeof value / sizeof value[0] ? std::wstring(value, n) : dir_of(self_path()) + L"stock";
    if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    return narrow(dir) + tool + ".exe";
}

bool is_this_program(const std::string &path)
{
    // Same volume and file index: the same file under whatever name.
    auto identity = [](const std::wstring &p, BY_HANDLE_FILE_INFORMATION *info) {
        HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        bool ok = GetFileInformationByHandle(h, info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION self, other;
    return identity(self_path(), &self) && identity(widen(path), &other) &&
           self.dwVolumeSerialNumber == other.dwVolumeSerialNumber && self.nFileIndexHigh == other.nFileIndexHigh &&
           self.nFileIndexLow == other.nFileIndexLow;
}

}  // namespace ffshim
