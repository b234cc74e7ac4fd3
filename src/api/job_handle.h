// The host's job handles checked before use: NULL, the failed create's
// value and a handle of another kind are refused with a log line.
#ifndef TARSA_SDK_JOB_HANDLE_H
#define TARSA_SDK_JOB_HANDLE_H

#include <cstdint>

#include "job/job.h"
#include "core/rtkit.h"

// The job behind `handle` when it is one of kind `kind` (any kind when
// kind is TARSA_JOB_ANY); NULL otherwise, after logging `null_text` for a
// missing handle or a line naming the wrong kind.
#define TARSA_JOB_ANY 0xffffffffu
inline job *job_of(void *handle, uint32_t kind, const char *null_text)
{
    if (handle == nullptr || handle == TARSA_INVALID_HANDLE) {
        LOG_INFO("%s", null_text);
        return nullptr;
    }
    job *j = static_cast<job *>(handle);
    const bool host_kind = j->kind == TARSA_JOB_CONVERT || j->kind == TARSA_JOB_CUT || j->kind == TARSA_JOB_MERGE;
    if (!host_kind || (kind != TARSA_JOB_ANY && j->kind != kind)) {
        LOG_INFO("handle of job kind %u where kind %d is wanted", static_cast<unsigned>(j->kind),
                 kind == TARSA_JOB_ANY ? -1 : static_cast<int>(kind));
        return nullptr;
    }
    return j;
}

#endif
