// The command-line form of os_process_spawn, for callers that still build
// one string: split by the C runtime rules, then started as a list.
#include <windows.h>

#include <new>

#include "platform/platform.h"

int os_process_spawn(const char *cmdline, const char *cwd, int out_fd, int *pid)
{
    try {
        std::vector<std::string> args;
        if (!cmdline || !os_cmdline_split(cmdline, &args)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        return os_process_spawn(args, cwd, out_fd, pid);
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}
