// Where the log's lines go on POSIX, and the local time of their stamps.
#include <fcntl.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/platform.h"

int os_log_open(const char *dest)
{
    if (!dest || !*dest) return STDERR_FILENO;
    if (std::strcmp(dest, "off") == 0) return -1;
    int fd = open(dest, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return fd >= 0 ? fd : STDERR_FILENO;
}

void os_log_write(int handle, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t w = write(handle, data, size);
        if (w <= 0) return;
        data += w;
        size -= static_cast<size_t>(w);
    }
}

void os_now_local(os_local_time *out)
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm_now;
    localtime_r(&tv.tv_sec, &tm_now);
    *out = {tm_now.tm_year + 1900, tm_now.tm_mon + 1, tm_now.tm_mday, tm_now.tm_hour,
            tm_now.tm_min, tm_now.tm_sec, static_cast<int>(tv.tv_usec / 1000)};
}
