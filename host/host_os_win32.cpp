// The host program's system layer on Windows: UTF-8 names converted to
// UTF-16 at every call, console control events as stop requests.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "host_os.h"

namespace {

std::wstring wide(const std::string &text)
{
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string utf8(const wchar_t *text, size_t len)
{
    if (len == 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(len), &out[0], n, nullptr, nullptr);
    return out;
}
std::string utf8(const std::wstring &text) { return utf8(text.data(), text.size()); }

std::string error_text(DWORD code)
{
    wchar_t *text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string out = n ? utf8(text, n) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

std::atomic<int> g_stop_request{0};
UINT g_saved_output_cp = 0;

void restore_console()
{
    if (g_saved_output_cp) SetConsoleOutputCP(g_saved_output_cp);
}

BOOL WINAPI on_console_event(DWORD event)
{
    const bool hangup = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    int none = 0;
    g_stop_request.compare_exchange_strong(none, hangup ? HOST_STOP_HANGUP : HOST_STOP_INTERRUPT);
    // The process ends as soon as this returns for these events: give the
    // job loop the time the system allows to stop the job (the program's
    // end cuts this wait short).
    if (hangup) Sleep(4500);
    return TRUE;
}

std::wstring temp_folder()
{
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH) return L".\\";
    return std::wstring(buf, n);
}

// Name of the program's own folder, with its trailing separator.
std::wstring program_folder()
{
    std::wstring buf(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
    if (n == 0 || n >= buf.size()) return L".\\";
    buf.resize(n);
    return buf.substr(0, buf.find_last_of(L"\\/") + 1);
}

// A new file or folder named stem + number in the temporary folder.
std::string make_temp(const std::string &stem, bool folder)
{
    const std::wstring base = temp_folder() + wide(stem);
    const unsigned seed = static_cast<unsigned>(GetCurrentProcessId()) * 7919u + GetTickCount();
    for (unsigned i = 0; i < 100; i++) {
        wchar_t suffix[16];
        std::swprintf(suffix, 16, L"%06x", (seed + i * 2654435761u) & 0xffffffu);
        const std::wstring name = base + suffix;
        if (folder ? CreateDirectoryW(name.c_str(), nullptr) != 0 : [&] {
                HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                       nullptr);
                if (h == INVALID_HANDLE_VALUE) return false;
                CloseHandle(h);
                return true;
            }())
            return utf8(name);
        const DWORD err = GetLastError();
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) break;
    }
    return "";
}

std::wstring full_name(const std::wstring &path)
{
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, &out[0], nullptr);
    out.resize(n);
    return out;
}

// Volume and file index of an existing file or folder.
bool file_identity(const std::wstring &path, BY_HANDLE_FILE_INFORMATION *info)
{
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

std::vector<std::string> host_arguments(int argc, char **argv)
{
    // Console output in UTF-8, as the names are; put back at the end.
    if (GetConsoleOutputCP() != CP_UTF8) {
        UINT saved = GetConsoleOutputCP();
        if (saved && SetConsoleOutputCP(CP_UTF8)) {
            g_saved_output_cp = saved;
            std::atexit(restore_console);
        }
    }
    int count = 0;
    wchar_t **wargv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wargv) return {argv + (argc > 0 ? 1 : 0), argv + argc};
    std::vector<std::string> args;
    for (int i = 1; i < count; i++) args.push_back(utf8(wargv[i], std::wcslen(wargv[i])));
    LocalFree(wargv);
    return args;
}

void host_watch_stop_requests() { SetConsoleCtrlHandler(on_console_event, TRUE); }

int host_stop_request() { return g_stop_request.load(); }

const char *host_stop_name(int request)
{
    return request == HOST_STOP_INTERRUPT ? "Ctrl-C" : request == HOST_STOP_HANGUP ? "console close" : "stop request";
}

bool host_stderr_is_terminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int host_terminal_columns()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return columns;
    }
    return 80;
}

bool host_is_separator(char c) { return c == '\\' || c == '/'; }

std::string host_absolute_path(const std::string &path)
{
    if (path.empty()) return path;
    return utf8(full_name(wide(path)));
}

host_file_kind host_file_type(const std::string &path)
{
    const DWORD attrs = GetFileAttributesW(wide(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return HOST_NOTHING;
    return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? HOST_FOLDER : HOST_FILE;
}

bool host_can_read(const std::string &path)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Folder permissions are access lists; making the work file tells.
bool host_can_write_folder(const std::string &path) { return host_file_type(path) == HOST_FOLDER; }

int64_t host_file_size(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool host_same_file(const std::string &a, const std::string &b)
{
    const std::wstring wa = full_name(wide(a)), wb = full_name(wide(b));
    // File names compare without regard to case.
    if (CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()), TRUE) ==
        CSTR_EQUAL)
        return true;
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return file_identity(wa, &ia) && file_identity(wb, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool host_create_new_file(const std::string &path, std::string *why)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *why = error_text(GetLastError());
        return false;
    }
    CloseHandle(h);
    return true;
}

bool host_rename(const std::string &from, const std::string &to, bool replace, std::string *why)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name.
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
    *why = error_text(GetLastError());
    return false;
}

void host_remove_file(const std::string &path) { DeleteFileW(wide(path).c_str()); }

int host_pid() { return static_cast<int>(GetCurrentProcessId()); }

std::string host_make_temp_file(const std::string &stem) { return make_temp(stem, false); }
std::string host_make_temp_folder(const std::string &stem) { return make_temp(stem, true); }

void host_remove_folder(const std::string &path) { RemoveDirectoryW(wide(path).c_str()); }

// Through the C runtime, which keeps its copy (what getenv reads) and the
// process's environment block (what children get) in step.
void host_setenv(const char *name, const char *value) { _wputenv_s(wide(name).c_str(), wide(value).c_str()); }

// The tool layer beside the program runs the stock ffmpeg.
std::string host_sample_maker() { return utf8(program_folder()) + "ffmpeg.exe"; }

int host_run_quiet(const std::vector<std::string> &argv)
{
    // The command line as the C runtime splits it: quotes around arguments
    // with blanks or quotes, backslashes before a quote doubled.
    std::wstring line;
    for (const std::string &arg : argv) {
        const std::wstring a = wide(arg);
        if (!line.empty()) line += L' ';
        if (!a.empty() && a.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            line += a;
            continue;
        }
        line += L'"';
        size_t slashes = 0;
        for (wchar_t c : a) {
            if (c == L'\\') {
                slashes++;
                continue;
            }
            line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
            slashes = 0;
            line += c;
        }
        line.append(slashes * 2, L'\\');
        line += L'"';
    }
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    if (nul == INVALID_HANDLE_VALUE) return -1;
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    const std::wstring program = wide(argv[0]);
    const BOOL started = CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &si, &pi);
    CloseHandle(nul);
    if (!started) return -1;
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    const bool exited = GetExitCodeProcess(pi.hProcess, &code) != 0;
    CloseHandle(pi.hProcess);
    return exited ? static_cast<int>(code) : -1;
}
