// The merge worker thread: a private copy of the source list, the
// temporary stage, the joining stage, and the clean-up on every way out.
#include "job/merge_worker.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "job/event.h"
#include "job/job.h"
#include "job/job_records.h"
#include "job/merge_concat.h"
#include "job/merge_tmp.h"
#include "job/monitor_common.h"
#include "platform/platform.h"

namespace {

file_info *entry_of(adt_dlist_node *node) { return *static_cast<file_info **>(adt_dlist_getdata(node)); }

// The worker works on copies, so the host may change its list meanwhile.
adt_dlist *copy_sources(merge_info *info)
{
    adt_dlist *list = adt_dlist_create(sizeof(file_info *));
    if (!list) LOG_FATAL("ls_src_file == NULL");
    adt_dlist_lock(info->ls_src_file);
    for (adt_dlist_node *node = adt_dlist_head(info->ls_src_file); node; node = adt_dlist_next(node)) {
        const file_info *from = entry_of(node);
        file_info *tmp_info = new (std::nothrow) file_info();
        if (!tmp_info) LOG_FATAL("tmp_info == NULL");
        tmp_info->merge_info = from->merge_info;
        std::memcpy(tmp_info->src_file, from->src_file, sizeof tmp_info->src_file);
        std::memcpy(tmp_info->dst_file, from->dst_file, sizeof tmp_info->dst_file);
        tmp_info->result = from->result;
        tmp_info->status.store(from->status.load());
        tmp_info->pos.store(from->pos.load());
        tmp_info->h2645_mp4toannexb = from->h2645_mp4toannexb;
        if (!adt_dlist_add(list, 0, &tmp_info)) LOG_FATAL("tmp_info == NULL");
    }
    adt_dlist_unlock(info->ls_src_file);
    return list;
}

// True when every temporary is complete; false when the job was stopped
// or the host aborted the merge.
bool make_temporaries(merge_info *info, adt_dlist *list)
{
    while (info->running.load()) {
        const int average = process_create_tmp_file(list);
        if (average == -1) {
            LOG_INFO("process_create_tmp_file fail!");
            return false;
        }
        const int pos = merge_tmp_stage_pos(average);
        if (pos != static_cast<int>(info->pos.load())) {
            info->pos.store(static_cast<uint32_t>(pos));
            notify(info, TARSA_EVENT_MERGE_POS, 0, static_cast<uint32_t>(pos));
        }
        if (average >= 100) return true;
        os_sleep(10);
    }
    return false;
}

void remove_temporary(const char *name)
{
    if (os_remove(name) == 0) return;
    int err = errno;
    LOG_INFO("first remove failed errno:%d", err);
    char stripped[MAX_PATH];
    strip_backslashes(name, stripped, sizeof stripped);
    if (os_remove(stripped) != 0) {
        err = errno;
        LOG_INFO("second remove failed errno:%d", err);
    }
}

// Ends every temporary's monitor and child, gives the slots back and
// removes the temporaries still in the list.
void clean_up(adt_dlist *list)
{
    adt_dlist_node *node = adt_dlist_head(list);
    while (node) {
        file_info *source = entry_of(node);
        job_stop(source);
        const uint32_t status = source->status.load();
        if (status == MERGE_STATUS_TYPE_RUNNING || status == MERGE_STATUS_TYPE_FAILED)
            source->merge_info->tmp_slots.fetch_add(1);
        remove_temporary(source->dst_file);
        node = adt_dlist_delete_ex(list, node);
        delete source;
    }
    adt_dlist_destroy(list);
}

}  // namespace

int run_merge(void *arg)
{
    merge_info *info = static_cast<merge_info *>(arg);
    if (!info) {
        LOG_INFO("merge_info == NULL");
        return 0;
    }
    adt_dlist *list = copy_sources(info);
    // A stop in the temporary stage, or the host's abort, ends without a
    // final event; a stop while joining ends as a success.
    if (make_temporaries(info, list)) {
        if (process_merge_file(info, list) == -1) {
            notify(info, TARSA_EVENT_MERGE_FAIL, reinterpret_cast<intptr_t>(info->dst_file),
                   static_cast<uint32_t>(std::strlen(info->dst_file)));
        } else {
            info->pos.store(100);
            notify(info, TARSA_EVENT_MERGE_POS, 0, 100);
        }
    }
    clean_up(list);
    return 0;
}
