// The job records. A job handle is the address of one of them; every record
// begins with the 32-bit job kind tag.
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

struct cvt_info {
    uint32_t kind;                     // TARSA_JOB_CONVERT
    int32_t pid;                       // last stored by tarsa_sdk_get_ffmpeg_pid
    pipe_info *fp;                     // the running tool, NULL when stopped
    struct cvt_param cvt_param;
    probe_result result;               // probe of the source at creation
    char src_file[MAX_PATH];
    char dst_file[MAX_PATH];
    struct dst_codec_info dst_codec_info;
    os_thread_t thr;                   // the monitor
    shared_u32 running;
    shared_u32 pos;
    uint32_t h2645_mp4toannexb;
    struct opt_param *opt_param;
    uint32_t usage_mode;
    int32_t hwd_type;
};

struct cut_info {
    uint32_t kind;                     // TARSA_JOB_CUT
    pipe_info *fp;
    struct cut_param cut_param;
    probe_result result;
    char src_file[MAX_PATH];
    char dst_file[MAX_PATH];
    struct dst_codec_info dst_codec_info;
    os_thread_t thr;
    shared_u32 running;
    shared_u32 pos;
    uint32_t h2645_mp4toannexb;
    struct opt_param *opt_param;
    uint32_t usage_mode;
    int32_t hwd_type;
};

struct merge_info {
    uint32_t kind;                     // TARSA_JOB_MERGE
    struct merge_param merge_param;
    adt_dlist *ls_src_file;            // elements: file_info *
    char dst_file[MAX_PATH];
    char dst_path[MAX_PATH];
    struct dst_codec_info dst_codec_info;
    os_thread_t thr;                   // the merge worker
    shared_u32 running;
    shared_u32 pos;
    shared_u32 tmp_slots;
    struct opt_param *opt_param;
    uint32_t usage_mode;
    int32_t hwd_type;
};

#define MERGE_STATUS_TYPE_NONE 0
#define MERGE_STATUS_TYPE_RUNNING 1
#define MERGE_STATUS_TYPE_DONE 2
#define MERGE_STATUS_TYPE_FAILED 3

struct file_info {
    struct merge_info *merge_info;
    pipe_info *fp;
    char src_file[MAX_PATH];
    char dst_file[MAX_PATH];           // the temporary
    probe_result result;
    shared_u32 status;
    os_thread_t thr;
    shared_u32 running;
    shared_u32 pos;
    uint32_t h2645_mp4toannexb;
};

#endif
