// The joining stage of a merge: one tool child reads the temporaries
// through the concat input; its "time=" values fill the last part of the
// overall position, and the destination decides when the output is complete.
#include <cstdint>
#include <cstring>

#include "tool/runner.h"
#include "job/event.h"
#include "job/job_describe.h"
#include "job/job_records.h"
#include "job/merge_worker.h"
#include "job/monitor_common.h"
#include "platform/platform.h"

namespace {

constexpr int kLineSize = 4096;
constexpr int kOutputOver = 300;        // empty reads without progress or file change

int stage_percent(int cur_time, int total)
{
    if (total == 0) return 0;
    const int64_t percent = static_cast<int64_t>(cur_time) * 100 / total;
    return percent > 100 || percent < 0 ? 100 : static_cast<int>(percent);
}

}  // namespace

int process_merge_file(merge_info *info, adt_dlist *list)
{
    if (!info || !list) {
        LOG_INFO("merge_info == NULL || ls_src_file == NULL");
        return -1;
    }
    int pid = -1;
    const int total = get_merge_duration(list);
    pipe_info *fp = pipe_popen(merge_concat_job_cmd(*info, list), "r");
    if (!fp) {
        LOG_INFO("fp == NULL");
        return -1;
    }

    int result = 0;
    const int start_pos = static_cast<int>(info->pos.load());
    int last_time = -1;
    int time_count = -1;
    bool eof = false;
    bool stopped = false;
    os_file_status file_properties = {0, 0};
    char buf[kLineSize];

    for (;;) {
        if (!info->running.load()) {
            stopped = true;
            break;
        }
        if (time_count == kOutputOver || eof) break;
        if (pipe_feof(fp) != 0) {
            LOG_INFO("process_merge_file EOF filename:%s", info->dst_file);
            eof = true;
            continue;
        }
        std::memset(buf, 0, sizeof buf);
        if (!pipe_fgets(buf, sizeof buf, fp)) {
            watch_idle_destination(info->dst_file, kOutputOver, &time_count, &file_properties);
            os_sleep(10);
            continue;
        }
        const int cur_time = take_progress_line(buf, &pid, &last_time, &time_count);
        if (cur_time == -1) {
            os_sleep(1);
            continue;
        }
        // Reported at every progress line, also when the value repeats.
        const int pos = merge_concat_pos(start_pos, stage_percent(cur_time, total));
        if (pos < 100) {
            info->pos.store(static_cast<uint32_t>(pos));
            notify(info, TARSA_EVENT_MERGE_POS, 0, static_cast<uint32_t>(pos));
        }
        os_sleep(1);
    }

    if (!stopped) {
        if (eof) settle_destination("process_merge_file", info->dst_file, info->running, &file_properties);
        char when[64];
        os_ctime_text(file_properties.mtime, when, sizeof when);
        LOG_INFO("process_merge_file END filename:%s last_time:%d time_count:%d Last file modification time:%s "
                 "filename_tmp_size:%lld",
                 info->dst_file, last_time, time_count, when, static_cast<long long>(file_properties.size));
        if (last_time == -1) result = -1;
        else info->pos.store(100);
    }
    if (pid != -1) kill_process(pid);
    pipe_pclose(fp);
    return result;
}
