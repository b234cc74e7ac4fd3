#include "tool/orphan_cleanup.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "tool/runner.h"
#include "platform/platform.h"
#include "core/rtkit.h"

namespace {

bool is_tool_name(const std::string &name)
{
    return strcasecmp(name.c_str(), "ffmpeg") == 0 || strcasecmp(name.c_str(), "ffprobe") == 0;
}

}  // namespace

bool parse_host_marker(const char *marker, int *pid, unsigned long long *start_time)
{
    if (!marker || !*marker) return false;
    char *end = nullptr;
    errno = 0;
    long host = std::strtol(marker, &end, 10);
    if (errno != 0 || end == marker || *end != ':' || host < 1) return false;
    const char *start_text = end + 1;
    unsigned long long start = std::strtoull(start_text, &end, 10);
    if (errno != 0 || end == start_text || *end != '\0') return false;
    *pid = static_cast<int>(host);
    *start_time = start;
    return true;
}

void kill_zombie_process(void)
{
    std::vector<os_process_entry> processes;
    if (os_process_snapshot(processes) != 0) {
        LOG_INFO("handle == INVALID_HANDLE_VALUE");
        return;
    }
    for (const os_process_entry &p : processes) {
        if (!is_tool_name(p.exe_name)) continue;
        int host_pid = 0;
        unsigned long long host_start = 0;
        if (!parse_host_marker(p.host_marker.c_str(), &host_pid, &host_start)) continue;
        if (os_process_is(host_pid, host_start)) continue;  // its host still runs
        log_msg("kill zombie process %s[PID=%d PPID=%d]", p.exe_name.c_str(), p.pid, host_pid);
        kill_process(p.pid);
    }
}
