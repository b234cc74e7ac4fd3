// Starting, closing and dropping the temporaries of a merge; the worker
// alone calls these, so the working list and the slots need no lock.
#include "job/merge_tmp.h"

#include <cstring>

#include "job/event.h"
#include "job/job.h"
#include "job/job_describe.h"
#include "job/job_records.h"
#include "job/monitor_common.h"

namespace {

void on_time(job *j, int cur_time)
{
    // 100 only at the end: a running temporary stays below it.
    const int percent = position_percent(cur_time, j->result.duration);
    if (percent > static_cast<int>(j->pos.load()) && percent < 100) j->pos.store(static_cast<uint32_t>(percent));
}

void on_marker(job *j, const char *line)
{
    static_cast<file_info *>(j)->status.store(MERGE_STATUS_TYPE_FAILED);
    LOG_INFO("merge_tmp_file File Conversion failed! buf:%s", line);
}

// The child is closed by whoever closes the entry, after this thread.
void on_end(job *j, const follow_outcome &out)
{
    if (out.end != FOLLOW_EOF && out.end != FOLLOW_STALL) return;
    if (out.last_time == -1 || out.tool_failed) {
        static_cast<file_info *>(j)->status.store(MERGE_STATUS_TYPE_FAILED);
        LOG_INFO("merge_tmp_file END [file_name]:%s last_time == -1", j->src_file);
        return;
    }
    if (j->result.duration == 0) j->result.duration = out.last_time;
    j->pos.store(100);
}

const follow_kind kFollow = {nullptr, 300, "Conversion failed", IDLE_COUNT_ONLY, false, false,
                             on_time, on_marker, on_end};

void release(job *j) { delete static_cast<file_info *>(j); }

const job_hooks kHooks = {"file_info == NULL", "file_info->running", nullptr, nullptr, release, &kFollow};

file_info *entry_of(adt_dlist_node *node) { return *static_cast<file_info **>(adt_dlist_getdata(node)); }

// Tells the host that a source is dropped. The name is valid only during
// the call: the entry is freed right after.
int32_t report_dropped(file_info *source)
{
    return notify(source->merge_info, TARSA_EVENT_MERGE_SRC_FAIL, reinterpret_cast<intptr_t>(source->src_file),
                  static_cast<uint32_t>(std::strlen(source->src_file)));
}

}  // namespace

file_info::file_info() : job(TARSA_JOB_MERGE_TMP, &kHooks) {}

int merge_tmp_stage_pos(int average) { return static_cast<int>(average * MERGE_TMP_STAGE_SHARE); }

int create_merge_tmp_file(file_info *source)
{
    if (!source) {
        LOG_INFO("file_info == NULL");
        return 0;
    }
    if (source->status.load() != MERGE_STATUS_TYPE_NONE) {
        LOG_INFO("file_info->status != MERGE_STATUS_TYPE_NONE");
        return 0;
    }
    merge_info *info = source->merge_info;
    if (!info) {
        LOG_INFO("merge_info == NULL");
        return 0;
    }
    // The joined result is a picture stream: a source without one would
    // vanish from it while the merge reports success.
    if (source->result.v_fmt[0] == '\0') {
        LOG_INFO("merge source without a video stream: %s", source->src_file);
        return 0;
    }
    const std::vector<std::string> cmd = merge_tmp_job_cmd(*info, *source);
    if (cmd.empty()) {
        LOG_INFO("!get_merge_tmp_cmd(merge_info, file_info, cmd)");
        return 0;
    }
    if (!launch_job_tool(source, cmd,
                         "!os_thread_create(&file_info->thr, 0, get_merge_tmp_file_progress, file_info)"))
        return 0;
    source->status.store(MERGE_STATUS_TYPE_RUNNING);
    info->tmp_slots.fetch_sub(1);
    return 1;
}

int close_merge_tmp_file(file_info *source)
{
    if (!source) {
        LOG_INFO("file_info == NULL");
        return 0;
    }
    if (source->status.load() == MERGE_STATUS_TYPE_NONE) {
        LOG_INFO("file_info->status == MERGE_STATUS_TYPE_NONE");
        return 0;
    }
    if (!source->merge_info) {
        LOG_INFO("merge_info == NULL");
        return 0;
    }
    job_stop(source);
    source->status.store(MERGE_STATUS_TYPE_DONE);
    source->merge_info->tmp_slots.fetch_add(1);
    return 1;
}

int process_create_tmp_file(adt_dlist *list)
{
    if (!list) {
        LOG_INFO("ls_src_file == NULL");
        return -1;
    }
    int sum = 0;
    adt_dlist_node *node = adt_dlist_head(list);
    while (node) {
        file_info *source = entry_of(node);
        switch (source->status.load()) {
        case MERGE_STATUS_TYPE_NONE:
            if (source->merge_info && source->merge_info->tmp_slots.load() == 0) break;  // a later pass
            if (create_merge_tmp_file(source)) break;  // adds nothing in this pass
            if (report_dropped(source) == -1) return -1;
            node = adt_dlist_delete_ex(list, node);
            delete source;
            continue;
        case MERGE_STATUS_TYPE_RUNNING: {
            const uint32_t pos = source->pos.load();
            if (pos >= 100) {
                close_merge_tmp_file(source);
                LOG_INFO("add %s to transcode list ok!", source->src_file);
            }
            sum += static_cast<int>(pos);
            break;
        }
        case MERGE_STATUS_TYPE_DONE:
            sum += static_cast<int>(source->pos.load());
            break;
        case MERGE_STATUS_TYPE_FAILED:
            if (report_dropped(source) == -1) return -1;
            node = adt_dlist_delete_ex(list, node);
            close_merge_tmp_file(source);
            delete source;
            continue;
        default:
            break;
        }
        node = adt_dlist_next(node);
    }
    const int left = adt_dlist_size(list);
    return left > 0 ? sum / left : sum;
}
