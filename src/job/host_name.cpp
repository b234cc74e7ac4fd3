#include "job/host_name.h"

#include <cstring>

#include "core/name_check.h"
#include "core/rtkit.h"
#include "tarsasdk.h"

void convert_host_name(const char *name, char *out)
{
    std::memset(out, 0, CONVERTED_NAME_SIZE);
    if (!name) return;
    if (os_code_convert("utf-8", "GB18030", out, CONVERTED_NAME_SIZE, name, std::strlen(name)) < 1) {
        LOG_INFO("!os_code_convert");
        str_copy(out, CONVERTED_NAME_SIZE, name);
    }
}

int check_job_file_name(const char *name, const char *label)
{
    if (std::strlen(name) >= 260) {
        LOG_INFO("strlen(%s) >= MAX_PATH", label);
        return 0;
    }
    // The tools print names raw in their reports: a line break in one could
    // forge a report line.
    if (name_has_control_chars(name)) {
        LOG_INFO("name_has_control_chars(%s)", label);
        return 0;
    }
    return 1;
}


int check_not_same_file(const char *src_file, const char *dst_file)
{
    // The tool would write over its own input: the source would be lost.
    if (os_same_file(src_file, dst_file)) {
        LOG_INFO("same file as source and destination:%s", dst_file);
        return 0;
    }
    return 1;
}
