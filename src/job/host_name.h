// File names as hosts pass them, turned into the names the tools receive.
#ifndef TARSA_SDK_HOST_NAME_H
#define TARSA_SDK_HOST_NAME_H

#include <cstddef>

#define CONVERTED_NAME_SIZE 1024

// Converts a host's file name into `out` (CONVERTED_NAME_SIZE bytes,
// zero-filled). When the conversion fails, logs "!os_code_convert" and
// copies the name unchanged (bounded).
void convert_host_name(const char *name, char *out);

#endif

#ifndef TARSA_SDK_HOST_NAME_CHECK
#define TARSA_SDK_HOST_NAME_CHECK
// A job's file name must fit its 260-byte field. Logs the failed condition
// with `label` as the name's name; 1 acceptable, 0 refused.
int check_job_file_name(const char *name, const char *label);
// 1, or 0 (logged) when the destination is the same file as the source.
int check_not_same_file(const char *src_file, const char *dst_file);

#endif
