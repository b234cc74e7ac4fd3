#include "job/follow_tool.h"

#include <cerrno>
#include <cstring>

#include "job/job_tool.h"
#include "job/monitor_common.h"
#include "media/parsers.h"
#include "tool/runner.h"
#include "core/rtkit.h"

namespace {

constexpr int kLineSize = 4096;
constexpr int kIdlePollMs = 10;

bool is_timestamp_noise(const char *line)
{
    return std::strstr(line, "incorrect timestamps in the output") || std::strstr(line, "is backward in time");
}

void watch_idle(const job *j, const follow_kind &kind, int *time_count, os_file_status *props)
{
    switch (kind.idle) {
    case IDLE_COUNT_ONLY:
        if (*time_count >= 0 && *time_count < kind.stall_limit) ++*time_count;
        break;
    case IDLE_WATCH_CHECKED:
        watch_idle_destination(j->dst_file, kind.stall_limit, time_count, props);
        break;
    case IDLE_WATCH_UNCHECKED:
        watch_idle_destination_once(j->dst_file, kind.stall_limit, time_count, props);
        break;
    }
}

}  // namespace

follow_outcome follow_tool(job *j, const follow_kind &kind)
{
    follow_outcome out;
    out.end = FOLLOW_STOPPED;
    out.tool_failed = false;
    out.last_time = -1;
    out.time_count = -1;
    out.props = os_file_status{0, 0};
    bool first_line = true;
    char buf[kLineSize];

    for (;;) {
        if (!j->running.load()) {
            out.end = FOLLOW_STOPPED;
            break;
        }
        if (out.time_count == kind.stall_limit) {
            out.end = FOLLOW_STALL;
            break;
        }
        if (pipe_feof(j->fp) != 0) {
            if (kind.who) LOG_INFO("%s EOF filename:%s", kind.who, j->dst_file);
            out.end = FOLLOW_EOF;
            break;
        }
        std::memset(buf, 0, sizeof buf);
        if (!pipe_fgets(buf, sizeof buf, j->fp)) {
            if (pipe_feof(j->fp) != 0) continue;
            watch_idle(j, kind, &out.time_count, &out.props);
            os_sleep(kIdlePollMs);
            continue;
        }
        if (kind.log_lines && !is_timestamp_noise(buf)) LOG_INFO("Conversion [file_name]:%s buf:%s", j->dst_file, buf);
        if (kind.failure_marker && std::strstr(buf, kind.failure_marker)) {
            if (kind.on_marker) kind.on_marker(j, buf);
            out.end = FOLLOW_MARKER;
            break;
        }
        // The tool says its pid first; later lines are the media's own.
        if (first_line) {
            first_line = false;
            j->tool_pid.store(pid_of_line(buf));
        }
        const int cur_time = get_buf_cur_time(buf);
        if (cur_time == -1) continue;
        out.last_time = cur_time;
        out.time_count = 0;
        if (kind.on_time) kind.on_time(j, cur_time);
    }

    // Read before the kill below: at the end of output the tool has ended,
    // and a host's stop (running cleared first) is no failure.
    if (out.end == FOLLOW_EOF && j->running.load()) out.tool_failed = pipe_exit_status(j->fp) == 1;
    kill_job_tool(j);
    // The tool has ended and closed its files: one look at the destination.
    if (out.end == FOLLOW_EOF && kind.check_destination && j->running.load()) {
        os_file_status st = {0, 0};
        if (dst_status(j->dst_file, &st, nullptr) != 0)
            LOG_INFO("%s END filename:%s stat error errno = %d", kind.who, j->dst_file, errno);
        else
            out.props = st;
    }
    return out;
}
