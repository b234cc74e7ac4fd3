// What the monitor loop's kinds share: watching the destination file, the
// tool's pid from its output, the position and the end report.
#ifndef TARSA_SDK_MONITOR_COMMON_H
#define TARSA_SDK_MONITOR_COMMON_H

#include <cstddef>

#include "job/job_records.h"
#include "platform/platform.h"

// Empty reads between two status checks of the destination while the tool runs.
#define STATUS_CHECK_EVERY 100

// Copies `in` without any backslash (bounded).
void strip_backslashes(const char *in, char *out, size_t size);

// Status of `dst`, retried under its backslash-free name. 0 on success;
// otherwise the last call's result, with `retried_name` (MAX_PATH bytes,
// may be NULL) holding the name of the retry.
int dst_status(const char *dst, os_file_status *st, char *retried_name);

// Percentage of `cur` seconds in `len` seconds: 0 when len is 0, at most 100.
int position_percent(int cur, int len);

// The tool's pid that a "PID =" line carries, or -1; the line stays intact.
int pid_of_line(const char *line);

// An empty read: the stall count, once armed, advances up to `limit`; at
// every hundredth the destination's status is taken (retried without
// backslashes; a failure is logged as "filename:%s ret:%d") and a changed
// modification time restarts the count and is recorded in *props.
void watch_idle_destination(const char *dst, int limit, int *time_count, os_file_status *props);
// The same with one unchecked status try: a failed call leaves a zeroed
// record, which counts as a change once a time had been recorded.
void watch_idle_destination_once(const char *dst, int limit, int *time_count, os_file_status *props);

// The end report: "<who> END filename:%s filename_tmp_size:%lld
// last_time:%d time_count:%d Last file modification time:%s".
void log_monitor_end(const char *who, const char *dst, const os_file_status &props, int last_time, int time_count);

#endif
