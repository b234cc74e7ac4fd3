// Merge jobs: the record made from the host's request, the start of the
// worker, and the sources given back at a stop.
#include "job/merge_job.h"

#include <new>

#include "media/codec_compat.h"
#include "job/dst_info_fill.h"
#include "job/host_name.h"
#include "job/job_source.h"
#include "job/job.h"
#include "job/merge_fmt.h"
#include "job/merge_sources.h"
#include "job/merge_worker.h"
#include "core/rtkit.h"

namespace {

constexpr uint32_t kTmpSlots = 2;  // temporaries made at one time

int start(job *j, dst_info *out)
{
    merge_info *info = static_cast<merge_info *>(j);
    adt_dlist_lock(info->ls_src_file);
    const int size = adt_dlist_size(info->ls_src_file);
    adt_dlist_unlock(info->ls_src_file);
    if (size < 2) {
        LOG_INFO("size < 2");
        return 0;
    }
    const int f_fmt = get_merge_f_fmt_id(info->ls_src_file);
    const int a_fmt = get_merge_a_fmt_id(info->ls_src_file);
    const int v_fmt = get_merge_v_fmt_id(info->ls_src_file);
    const merge_param &mp = info->merge_param;
    if (!get_dst_file_codec_id(f_fmt, a_fmt, v_fmt, TARSA_JOB_MERGE, static_cast<int>(mp.dst_file_type), mp.width,
                               mp.height, info->opt_param, &info->dst_codec_info)) {
        LOG_INFO("get_dst_file_codec_id");
        return 0;
    }
    // Kept sizes that differ would change the picture size midway: every
    // temporary is re-encoded into the first source's size instead.
    info->fit_width = info->fit_height = 0;
    if (mp.width == 0 && get_merge_fit_size(info->ls_src_file, &info->fit_width, &info->fit_height))
        info->dst_codec_info.v_copy = 0;
    if (out) fill_dst_info(info->dst_codec_info, out);
    info->pos.store(0);
    info->running.store(1);
    if (!os_thread_create(&info->thr, nullptr, run_merge, info)) {
        LOG_INFO("!os_thread_create(&merge_info->thr, 0, deal_with_merge, merge_info)");
        info->running.store(0);
        return 0;
    }
    return 1;
}

// The worker has ended its temporaries and removed their files; the
// host's sources are dropped with the run, as a new start wants new ones.
void after_stop(job *j)
{
    adt_dlist *list = static_cast<merge_info *>(j)->ls_src_file;
    adt_dlist_lock(list);
    for (adt_dlist_node *node = adt_dlist_head(list); node;) {
        delete *static_cast<file_info **>(adt_dlist_getdata(node));
        node = adt_dlist_delete_ex(list, node);
    }
    adt_dlist_unlock(list);
}

void release(job *j)
{
    merge_info *info = static_cast<merge_info *>(j);
    adt_dlist_destroy(info->ls_src_file);
    delete info;
}

const job_hooks kHooks = {"merge_info == NULL", "merge_info->running", start, after_stop, release, nullptr};

}  // namespace

merge_info::merge_info() : job(TARSA_JOB_MERGE, &kHooks) {}

job *create_merge_job(const char *dst_file, const merge_param_v1 *param)
{
    const merge_param &mp = param->merge_param;
    if (!size_pair_ok(mp.width, mp.height,
                      "(param->merge_param.width == 0 && param->merge_param.height != 0) || (param->merge_param.width "
                      "!= 0 && param->merge_param.height == 0)"))
        return nullptr;
    if (!check_job_file_name(dst_file, "dst_file")) return nullptr;
    char dst_path[MAX_PATH] = {0};
    if (!get_file_path(dst_file, dst_path)) {
        LOG_INFO("!get_file_path(dst_file, dst_path)");
        return nullptr;
    }
    merge_info *info = new (std::nothrow) merge_info();
    if (!info) {
        LOG_INFO("merge_info == NULL");
        return nullptr;
    }
    info->ls_src_file = adt_dlist_create(sizeof(file_info *));
    if (!info->ls_src_file) LOG_FATAL("merge_info->ls_src_file == NULL");
    attach_job_options(info, "merge_info == NULL", "merge_info->opt_param == NULL");
    str_copy(info->dst_file, sizeof info->dst_file, dst_file);
    str_copy(info->dst_path, sizeof info->dst_path, dst_path);
    info->merge_param = mp;
    info->usage_mode = param->usage_mode;
    info->hwd_type = param->hwd_type;
    info->tmp_slots.store(kTmpSlots);
    return info;
}
