// The one sequence every job command follows: parse the shared options,
// check sources, destination and sizes, create the job, start it, follow it
// to its end (or to a stop signal), and report.
#ifndef TARSA_HOST_JOB_RUN_H
#define TARSA_HOST_JOB_RUN_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "job_options.h"
#include "tarsasdk.h"

struct job_plan {
    job_options opts;
    std::vector<std::string> sources;     // absolute, in order
    std::vector<probe_result_ex> probes;  // one per source
    std::string dst;                      // absolute
    int32_t type = 0;                     // destination file type
    uint32_t usage_mode = HWD_USAGE_AUTO;
    double media_seconds = 0;             // media the job works through
};

struct job_kind {
    job_command command;
    const char *what;  // "conversion", "cut", "merge"
    uint32_t pos_event, fail_event, source_fail_event;
    int (*start)(void *job);
    int (*stop)(void *job);
    int (*destroy)(void *job);
    // Checks what only this kind knows and settles its numbers; false with a
    // message. Returns the exit status through `status` (1 or 2).
    bool (*prepare)(job_plan &plan, int *status);
    // Creates the job writing into `work_path`; TARSA_INVALID_HANDLE on failure.
    void *(*create)(const job_plan &plan, const std::string &work_path);
};

int run_job_command(const job_kind &kind, const arg_list &args);

// The create record of a job kind with what every kind takes from the plan
// (type, size, audio, quality, hardware) filled into its parameters at
// `field`; the rest zero.
template <typename V1, typename Param>
V1 job_params(const job_plan &plan, Param V1::*field)
{
    V1 v1;
    std::memset(&v1, 0, sizeof v1);
    Param &p = v1.*field;
    p.dst_file_type = static_cast<decltype(p.dst_file_type)>(plan.type);
    p.width = plan.opts.width;
    p.height = plan.opts.height;
    p.audio_enable = plan.opts.audio ? 1 : 0;
    p.quality = plan.opts.quality;
    v1.usage_mode = plan.usage_mode;
    v1.hwd_type = -1;
    return v1;
}

#endif
