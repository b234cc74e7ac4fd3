#include "platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>



int os_stat(const char *path, os_file_status *st)
{
    struct stat sb;
    int rc = stat(path, &sb);
    if (rc != 0) return rc;
    st->size = static_cast<int64_t>(sb.st_size);
    st->mtime = static_cast<int64_t>(sb.st_mtime);
    return 0;
}

void os_ctime_text(int64_t t, char *out, size_t size)
{
    if (!out || size == 0) return;
    time_t when = static_cast<time_t>(t);
    char text[64];
    std::snprintf(out, size, "%s", ctime_r(&when, text) ? text : "\n");
}

int os_remove(const char *path) { return std::remove(path); }
int os_mkdir(const char *path) { return mkdir(path, 0777); }
int os_exists(const char *path) { return access(path, F_OK) == 0 ? 1 : 0; }
