#include "job/event.h"

#include <atomic>

#include "job/job_records.h"
#include "core/rtkit.h"

namespace {

std::atomic<tarsa_mess_callback> mess_callback{nullptr};
std::atomic<void *> mess_user{nullptr};

// Before the final success event reaches the host, the destination is
// probed and the verdict logged.
void check_job_end(const job *j, uint32_t code, uint32_t p2)
{
    if (p2 != 100) return;
    const bool final_pos = (j->kind == TARSA_JOB_CONVERT && code == TARSA_EVENT_CVT_POS) ||
                           (j->kind == TARSA_JOB_CUT && code == TARSA_EVENT_CUT_POS) ||
                           (j->kind == TARSA_JOB_MERGE && code == TARSA_EVENT_MERGE_POS);
    if (!final_pos) return;
    const bool ok = tarsa_sdk_probe(j->dst_file) != 0;
    if (ok && j->kind == TARSA_JOB_MERGE) log_msg("\xE3\x80\x90YES\xE3\x80\x91%s", j->dst_file);
    else if (ok) log_msg("\xE3\x80\x90YES\xE3\x80\x91%s ==>> %s", j->src_file, j->dst_file);
    else log_msg("\xE3\x80\x90NO\xE3\x80\x91%s", j->dst_file);
}

}  // namespace

int32_t notify(job *j, uint32_t code, intptr_t p1, uint32_t p2)
{
    if (j) check_job_end(j, code, p2);
    tarsa_mess_callback callback = mess_callback.load();
    if (!callback) return 0;
    return callback(static_cast<void *>(j), code, p1, p2, mess_user.load());
}

void set_event_callback(tarsa_mess_callback callback, void *user)
{
    mess_user.store(user);
    mess_callback.store(callback);
}
