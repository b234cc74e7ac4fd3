// File services the jobs use on destinations and temporaries.
#ifndef TARSA_SUPPORT_FILE_STATUS_H
#define TARSA_SUPPORT_FILE_STATUS_H

#include <cstddef>
#include <cstdint>

struct os_file_status {
    int64_t size;   // bytes (64-bit: files of 2 GiB and more work)
    int64_t mtime;  // modification time, seconds
};

// 0 and the status, or the status call's non-zero result (errno set).
int os_stat(const char *path, os_file_status *st);
// The time as "Www Mmm dd hh:mm:ss yyyy\n", like ctime.
void os_ctime_text(int64_t t, char *out, size_t size);
int os_remove(const char *path);            // 0 or -1 (errno set)
int os_mkdir(const char *path);             // 0 or -1
int os_exists(const char *path);            // 1 or 0

#endif
