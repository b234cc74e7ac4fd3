#include "job/event.h"

#include <atomic>

#include "job/job_records.h"
#include "core/rtkit.h"
#include "tarsasdk.h"

namespace {

std::atomic<tarsa_mess_callback> mess_callback{nullptr};
std::atomic<void *> mess_user{nullptr};

// Before the final success event reaches the host, the destination is
// probed and the verdict logged.
void check_job_end(void *job, uint32_t code, uint32_t p2)
{
    if (p2 != 100) return;
    const uint32_t kind = *static_cast<const uint32_t *>(job);
    if (kind == TARSA_JOB_CONVERT && code == TARSA_EVENT_CVT_POS) {
        const cvt_info *info = static_cast<const cvt_info *>(job);
        if (tarsa_sdk_probe(info->dst_file)) log_msg("\xE3\x80\x90YES\xE3\x80\x91%s ==>> %s", info->src_file, info->dst_file);
        else log_msg("\xE3\x80\x90NO\xE3\x80\x91%s", info->dst_file);
    } else if (kind == TARSA_JOB_CUT && code == TARSA_EVENT_CUT_POS) {
        const cut_info *info = static_cast<const cut_info *>(job);
        if (tarsa_sdk_probe(info->dst_file)) log_msg("\xE3\x80\x90YES\xE3\x80\x91%s ==>> %s", info->src_file, info->dst_file);
        else log_msg("\xE3\x80\x90NO\xE3\x80\x91%s", info->dst_file);
    } else if (kind == TARSA_JOB_MERGE && code == TARSA_EVENT_MERGE_POS) {
        const merge_info *info = static_cast<const merge_info *>(job);
        if (tarsa_sdk_probe(info->dst_file)) log_msg("\xE3\x80\x90YES\xE3\x80\x91%s", info->dst_file);
        else log_msg("\xE3\x80\x90NO\xE3\x80\x91%s", info->dst_file);
    }
}

}  // namespace

int32_t notify(void *job, uint32_t code, intptr_t p1, uint32_t p2)
{
    if (job) check_job_end(job, code, p2);
    tarsa_mess_callback callback = mess_callback.load();
    if (!callback) return 0;
    return callback(job, code, p1, p2, mess_user.load());
}

extern "C" {

TARSA_API int tarsa_sdk_set_mess_callback(tarsa_mess_callback callback, void *user)
{
    mess_user.store(user);
    mess_callback.store(callback);
    return 1;
}

}  // extern "C"
