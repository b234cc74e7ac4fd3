#include "job/monitor_common.h"

#include <cerrno>
#include <cstring>

#include "media/parsers.h"
#include "tool/runner.h"
#include "core/rtkit.h"

void strip_backslashes(const char *in, char *out, size_t size)
{
    if (!out || size == 0) return;
    size_t n = 0;
    for (const char *p = in; p && *p && n + 1 < size; p++)
        if (*p != '\\') out[n++] = *p;
    out[n] = '\0';
}

int dst_status(const char *dst, os_file_status *st, char *retried_name)
{
    os_file_status fresh = {0, 0};
    int ret = os_stat(dst, &fresh);
    if (ret != 0) {
        char name[MAX_PATH];
        strip_backslashes(dst, name, sizeof name);
        ret = os_stat(name, &fresh);
        if (retried_name) str_copy(retried_name, MAX_PATH, name);
    }
    if (ret == 0) *st = fresh;
    return ret;
}

int position_percent(int cur, int len)
{
    if (len == 0) return 0;
    int pos = cur * 100 / len;
    return pos > 100 ? 100 : pos;
}

int pid_of_line(const char *line)
{
    char copy[4096];  // get_buf_pid cuts the line it parses
    str_copy(copy, sizeof copy, line);
    return get_buf_pid(copy);
}

void log_monitor_end(const char *who, const char *dst, const os_file_status &props, int last_time, int time_count)
{
    char when[64];
    os_ctime_text(props.mtime, when, sizeof when);
    LOG_INFO("%s END filename:%s filename_tmp_size:%lld last_time:%d time_count:%d Last file modification time:%s",
             who, dst, static_cast<long long>(props.size), last_time, time_count, when);
}

void watch_idle_destination(const char *dst, int limit, int *time_count, os_file_status *props)
{
    if (*time_count >= 0 && *time_count < limit) ++*time_count;
    if (*time_count <= 0 || *time_count % STATUS_CHECK_EVERY != 0) return;
    os_file_status st = {0, 0};
    char retried[MAX_PATH] = {0};
    const int ret = dst_status(dst, &st, retried);
    if (ret != 0) {
        LOG_INFO("filename:%s ret:%d", retried, ret);
    } else if (st.mtime != props->mtime) {
        *time_count = 0;
        *props = st;
    }
}

void watch_idle_destination_once(const char *dst, int limit, int *time_count, os_file_status *props)
{
    if (*time_count >= 0 && *time_count < limit) ++*time_count;
    if (*time_count < 0 || *time_count % STATUS_CHECK_EVERY != 0) return;
    os_file_status st = {0, 0};
    os_stat(dst, &st);
    if (st.mtime != props->mtime) {
        *time_count = 0;
        *props = st;
    }
}
