// The conversion monitor: follows the tool's output, turns "time=" into a
// position, recognises failure, watches the destination, and at its end
// kills the tool and reports.
#include "job/cvt_monitor.h"

#include <cstring>

#include "tool/runner.h"
#include "job/event.h"
#include "job/job_records.h"
#include "job/monitor_common.h"
#include "core/rtkit.h"

namespace {

constexpr int kLineSize = 4096;
constexpr int kStallLimit = 30000;     // idle polls without progress or file change

void notify_failure(cvt_info *info)
{
    notify(info, TARSA_EVENT_CVT_FAIL, reinterpret_cast<intptr_t>(info->dst_file),
           static_cast<uint32_t>(std::strlen(info->dst_file)));
}

}  // namespace

int get_cvt_progress(void *arg)
{
    cvt_info *info = static_cast<cvt_info *>(arg);
    if (!info) {
        LOG_INFO("cvt_info == NULL");
        return 0;
    }
    int pid = -1;
    int last_time = -1;
    int time_count = -1;
    bool eof = false;
    const int duration = info->result.duration;
    os_file_status file_properties = {0, 0};
    char buf[kLineSize];
    bool stopped = false;

    for (;;) {
        if (!info->running.load()) {
            stopped = true;
            break;
        }
        if (time_count == kStallLimit || eof) break;
        if (pipe_feof(info->fp) != 0) {
            LOG_INFO("get_cvt_progress EOF filename:%s", info->dst_file);
            eof = true;
            continue;
        }
        std::memset(buf, 0, sizeof buf);
        if (!pipe_fgets(buf, sizeof buf, info->fp)) {
            watch_idle_destination(info->dst_file, kStallLimit, &time_count, &file_properties);
            os_sleep(10);
            continue;
        }
        if (!std::strstr(buf, "incorrect timestamps in the output") && !std::strstr(buf, "is backward in time"))
            LOG_INFO("Conversion [file_name]:%s buf:%s", info->dst_file, buf);
        if (std::strstr(buf, "Conversion failed")) {
            notify_failure(info);
            LOG_INFO("get_cvt_progress File Conversion failed!");
            stopped = true;  // straight to the finish
            break;
        }
        const int cur_time = take_progress_line(buf, &pid, &last_time, &time_count);
        if (cur_time == -1) {
            os_sleep(1);
            continue;
        }
        int position = position_percent(cur_time, duration);
        if (position > static_cast<int>(info->pos.load()) && position < 100) {
            info->pos.store(static_cast<uint32_t>(position));
            notify(info, TARSA_EVENT_CVT_POS, 0, static_cast<uint32_t>(position));
        }
        os_sleep(1);
    }

    if (!stopped) {
        if (eof) settle_destination("get_cvt_progress", info->dst_file, info->running, &file_properties);
        log_monitor_end("get_cvt_progress", info->dst_file, file_properties, last_time, time_count);
        if (last_time == -1) {
            notify_failure(info);
        } else {
            if (info->result.duration == 0) info->result.duration = last_time;
            info->pos.store(100);
        }
    }

    info->pos.store(100);
    if (pid != -1) kill_process(pid);
    notify(info, TARSA_EVENT_CVT_POS, 0, 100);
    return 0;
}
