// The job record. A job handle is the address of a `job`; the record begins
// with the 32-bit job kind tag, so that a handle's kind can be read before
// anything else. Each kind adds its own part (cvt_info, cut_info,
// merge_info, file_info for one temporary of a merge) and its hooks.
#ifndef TARSA_SDK_JOB_RECORDS_H
#define TARSA_SDK_JOB_RECORDS_H

#include <atomic>
#include <cstdint>

#include "media/codec_compat.h"
#include "tool/runner.h"
#include "media/opt_param.h"
#include "core/globals.h"
#include "core/rtkit.h"
#include "tarsasdk.h"

// `running` (written by the host's start and stop) and `pos` (written by the
// job's thread) are shared without a lock; atomics keep them whole and
// ordered without changing their size.
typedef std::atomic<uint32_t> shared_u32;
static_assert(sizeof(shared_u32) == 4, "shared flags must stay 32-bit");

// Kind tag of a merge's temporary (never a host's handle).
#define TARSA_JOB_MERGE_TMP 0x7f000001u

struct job_hooks;

struct job {
    uint32_t kind;                     // TARSA_JOB_*; first: handles are the record's address
    const job_hooks *hooks;
    shared_u32 running;
    shared_u32 pos;
    pipe_info *fp = nullptr;           // the running tool, NULL when none
    std::atomic<int32_t> child_pid{-1};  // the runner's child while fp is open
    std::atomic<int32_t> tool_pid{-1};   // from the tool's "PID =" line, -1 until read
    os_thread_t thr = 0;               // the monitor or worker
    char src_file[MAX_PATH] = {0};
    char dst_file[MAX_PATH] = {0};
    probe_result result;               // probe of the source at creation
    struct dst_codec_info dst_codec_info;
    uint32_t h2645_mp4toannexb = 0;
    struct opt_param *opt_param = nullptr;
    uint32_t usage_mode = 0;
    int32_t hwd_type = -1;

    job(uint32_t k, const job_hooks *h) : kind(k), hooks(h), running(0), pos(0), result(), dst_codec_info() {}
    job(const job &) = delete;
    job &operator=(const job &) = delete;
};

struct cvt_info : job {
    cvt_info();
    struct cvt_param cvt_param {};
};

struct cut_info : job {
    cut_info();
    struct cut_param cut_param {};
};

struct merge_info : job {
    merge_info();
    struct merge_param merge_param {};
    adt_dlist *ls_src_file = nullptr;  // elements: file_info *
    char dst_path[MAX_PATH] = {0};
    shared_u32 tmp_slots{0};
    // Set at each start: the first source's size when the host keeps the
    // sizes and the sources differ in it, so that every temporary is fitted
    // into it; 0 and 0 otherwise.
    uint32_t fit_width = 0;
    uint32_t fit_height = 0;
    // The joining stage's frame: where its part of the position starts and
    // the sum of the sources' durations.
    int concat_start_pos = 0;
    int concat_total = 0;
};

#define MERGE_STATUS_TYPE_NONE 0
#define MERGE_STATUS_TYPE_RUNNING 1
#define MERGE_STATUS_TYPE_DONE 2
#define MERGE_STATUS_TYPE_FAILED 3

// One source of a merge and the job that makes its temporary (dst_file).
struct file_info : job {
    file_info();
    struct merge_info *merge_info = nullptr;
    shared_u32 status{MERGE_STATUS_TYPE_NONE};
};

#endif
