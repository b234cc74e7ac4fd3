#include "job/merge_concat.h"

#include <cstdint>

#include "job/event.h"
#include "job/job.h"
#include "job/job_describe.h"
#include "job/merge_tmp.h"
#include "platform/platform.h"

namespace {

int stage_percent(int cur_time, int total)
{
    if (total == 0) return 0;
    const int64_t percent = static_cast<int64_t>(cur_time) * 100 / total;
    return percent > 100 || percent < 0 ? 100 : static_cast<int>(percent);
}

// Reported at every progress line, also when the value repeats.
void on_time(job *j, int cur_time)
{
    merge_info *info = static_cast<merge_info *>(j);
    const int pos = merge_concat_pos(info->concat_start_pos, stage_percent(cur_time, info->concat_total));
    if (pos < 100) {
        info->pos.store(static_cast<uint32_t>(pos));
        notify(info, TARSA_EVENT_MERGE_POS, 0, static_cast<uint32_t>(pos));
    }
}

const follow_kind kFollow = {"process_merge_file", 300, nullptr, IDLE_WATCH_CHECKED, false, true,
                             on_time, nullptr, nullptr};

}  // namespace

int merge_concat_pos(int start_pos, int percent)
{
    return static_cast<int>(start_pos + percent * (1 - MERGE_TMP_STAGE_SHARE));
}

int get_merge_duration(adt_dlist *list)
{
    if (!list) {
        LOG_INFO("ls_src_file == NULL");
        return 0;
    }
    int total = 0;
    for (adt_dlist_node *node = adt_dlist_head(list); node; node = adt_dlist_next(node))
        total += (*static_cast<file_info **>(adt_dlist_getdata(node)))->result.duration;
    return total;
}

int process_merge_file(merge_info *info, adt_dlist *list)
{
    if (!info || !list) {
        LOG_INFO("merge_info == NULL || ls_src_file == NULL");
        return -1;
    }
    info->concat_total = get_merge_duration(list);
    const std::vector<std::string> cmd = merge_concat_job_cmd(*info, list);
    if (cmd.empty()) {
        LOG_INFO("!get_merge_cmd(merge_info, ls_src_file, cmd)");
        return -1;
    }
    if (!open_job_tool(info, cmd)) return -1;
    info->concat_start_pos = static_cast<int>(info->pos.load());
    const follow_outcome out = follow_tool(info, kFollow);
    close_job_tool(info);
    if (out.end == FOLLOW_STOPPED) return 0;

    char when[64];
    os_ctime_text(out.props.mtime, when, sizeof when);
    LOG_INFO("process_merge_file END filename:%s last_time:%d time_count:%d Last file modification time:%s "
             "filename_tmp_size:%lld",
             info->dst_file, out.last_time, out.time_count, when, static_cast<long long>(out.props.size));
    if (out.last_time == -1 || out.tool_failed) return -1;
    info->pos.store(100);
    return 0;
}
