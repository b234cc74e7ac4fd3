// A child for the Windows platform tests, run as `win_child MODE ARGS...`:
//   args            prints the working directory, then each argument after "args" on its own line, as the
//                   C runtime split them
//   exit N          prints "bye" (no line break) and exits with N
//   sleep MS        sleeps, then exits 0
//   spawn PROG ...  starts PROG with the rest as its arguments and exits 0 at once
//   host PROG ...   starts PROG likewise, with this program's standard handles, and waits to be killed
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) return 100;
    const std::wstring mode = argv[1];
    if (mode == L"args") {
        wchar_t dir[1024];
        GetCurrentDirectoryW(1024, dir);
        std::printf("%ls\n", dir);
        for (int i = 2; i < argc; i++) {
            char buf[4096];
            int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, buf, sizeof buf, nullptr, nullptr);
            std::printf("%s\n", n > 0 ? buf : "?");
        }
    } else if (mode == L"exit" && argc > 2) {
        std::printf("bye");
        std::fflush(stdout);
        return _wtoi(argv[2]);
    } else if (mode == L"sleep" && argc > 2) {
        Sleep(static_cast<DWORD>(_wtoi(argv[2])));
    } else if ((mode == L"spawn" || mode == L"host") && argc > 2) {
        const bool host = mode == L"host";
        std::wstring line;
        for (int i = 2; i < argc; i++) line += (i > 2 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;  // no standard handles: the orphan must not hold the test's pipe
        if (host) {
            si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
            si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        }
        PROCESS_INFORMATION pi;
        if (!CreateProcessW(argv[2], &line[0], nullptr, nullptr, host, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
            return 101;
        if (host) Sleep(INFINITE);
        std::printf("%lu\n", pi.dwProcessId);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    } else {
        return 100;
    }
    return 0;
}
