// The life of a job of any kind, written once: start, stop, destroy, the
// position, the options and the tool's pid. What differs per kind comes
// from the kind's hook table.
#ifndef TARSA_SDK_JOB_H
#define TARSA_SDK_JOB_H

#include <cstdint>

#include <string>
#include <vector>

#include "job/follow_tool.h"
#include "job/job_tool.h"
#include "job/job_records.h"
#include "tarsasdk.h"

struct job_hooks {
    // Texts of the log lines that name the kind's record and thread.
    const char *null_text;             // "cvt_info == NULL"
    const char *running_text;          // "cvt_info->running"
    // The destination choice and the tool or worker started (running set).
    // 1 started, 0 not.
    int (*start)(job *j, dst_info *out);
    // Extra work of a stop after the thread has ended (merge: the sources).
    void (*after_stop)(job *j);
    // Frees the record as its own type.
    void (*release)(job *j);
    // The monitor loop's policy for the kind's tool; NULL for a worker.
    const follow_kind *follow;
};

// The width/height pair of a create: both 0 or both set. Logs `text` when not.
bool size_pair_ok(uint32_t width, uint32_t height, const char *text);

int job_start(job *j, dst_info *out);
// Kills the running tool, ends and joins the thread, closes the runner.
int job_stop(job *j);
int job_destroy(job *j);
int job_pos(const job *j);
int job_set_option(job *j, uint32_t id, const void *data, int32_t size);
// The tool's pid as the job knows it at once; -1 when not running.
int job_tool_pid(job *j);

// The destination choice from the source's probe names. 1, or 0 after
// logging "get_dst_file_codec_id_by_fmt".
int choose_job_codecs(const probe_result &source, int kind, int dst_file_type, uint32_t width, uint32_t height,
                      opt_param *options, dst_codec_info *out);

// Starts `cmd` as the job's tool and its monitor thread running the
// kind's loop; sets pos 0 and running 1. When the thread cannot be created,
// logs thread_failed, ends and closes the child. 1 started, 0 not.
int launch_job_tool(job *j, const std::vector<std::string> &cmd, const char *thread_failed);

// Thread body of a job's monitor: follow_tool, then the kind's on_end.
int run_job_monitor(void *arg);

#endif
