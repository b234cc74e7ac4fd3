// What the job monitors share: watching the destination file and waiting
// for it to settle once the tool's output has ended.
#ifndef TARSA_SDK_MONITOR_COMMON_H
#define TARSA_SDK_MONITOR_COMMON_H

#include <cstddef>

#include "sdk/job_records.h"
#include "support/file_status.h"

// Pause between two size checks of the settle wait. The tool has exited
// and closed the file by then, so the wait only confirms it.
#define SETTLE_CHECK_MS 50
// The wait ends at the fourth equal size in a row.
#define SETTLE_EQUAL_CHECKS 3

// Copies `in` without any backslash (bounded).
void strip_backslashes(const char *in, char *out, size_t size);

// Status of `dst`, retried under its backslash-free name. 0 on success;
// otherwise the last call's result, with `retried_name` (MAX_PATH bytes,
// may be NULL) holding the name of the retry.
int dst_status(const char *dst, os_file_status *st, char *retried_name);

// Waits until the destination's size has stayed the same at four checks
// in a row, the status cannot be taken (logged as "<who> END filename:%s
// stat error errno = %d"), or `running` is cleared. `props` holds the last
// accepted status.
void settle_destination(const char *who, const char *dst, const shared_u32 &running, os_file_status *props);

// Percentage of `cur` seconds in `len` seconds: 0 when len is 0, at most 100.
int position_percent(int cur, int len);

#endif
