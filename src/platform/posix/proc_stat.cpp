// Process start times from /proc, and the host marker built from them.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

long long os_process_start_time(int pid)
{
    if (pid < 1) return -1;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    // The line is short: pid, (comm) of at most 16 bytes, ~50 numbers.
    char text[1024];
    long n = os_fd_read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return -1;
    text[n] = '\0';
    // Field 2 is the command name in parentheses and may itself hold blanks
    // and ')'; the fields after the last ')' are plain numbers.
    const char *p = std::strrchr(text, ')');
    if (!p) return -1;
    p++;
    // Field 3 follows the ')', so field 22 is the 20th after it.
    for (int field = 3; field < 22; field++) {
        while (*p == ' ') p++;
        while (*p && *p != ' ') p++;
    }
    while (*p == ' ') p++;
    if (*p < '0' || *p > '9') return -1;
    return std::strtoll(p, nullptr, 10);
}

int os_host_marker(int pid, char *out, size_t size)
{
    long long start = os_process_start_time(pid);
    if (start < 0 || !out || size == 0) {
        errno = ESRCH;
        return -1;
    }
    int n = std::snprintf(out, size, "%d:%lld", pid, start);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        errno = ERANGE;
        return -1;
    }
    return 0;
}
