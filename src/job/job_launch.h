// Starting and stopping the tool of a job that runs one child with one
// monitor thread (conversion, cut): the codec choice, the child and its
// monitor, and the stop that joins and closes them in that order.
#ifndef TARSA_SDK_JOB_LAUNCH_H
#define TARSA_SDK_JOB_LAUNCH_H

#include <cstdint>
#include <string>
#include <vector>

#include "media/codec_compat.h"
#include "tool/runner.h"
#include "job/job_records.h"
#include "core/rtkit.h"

// The destination choice from the source's probe names. 1, or 0 after
// logging "get_dst_file_codec_id_by_fmt".
int choose_job_codecs(const probe_result &source, int kind, int dst_file_type, uint32_t width, uint32_t height,
                      opt_param *options, dst_codec_info *out);

// The parts of a job record that its tool and monitor live in.
struct job_tool {
    pipe_info *&fp;
    shared_u32 &pos;
    shared_u32 &running;
    os_thread_t &thr;
};

template <typename Job>
job_tool tool_of(Job *job)
{
    return job_tool{job->fp, job->pos, job->running, job->thr};
}

// Starts cmd, sets pos 0 and running 1, and runs monitor(job) on a new
// thread. When the thread cannot be created, logs thread_failed, ends and
// closes the child, and leaves the job without one. 1 started, 0 not.
int launch_job_tool(job_tool tool, const std::vector<std::string> &cmd, os_thread_fn monitor, void *job, const char *thread_failed);

// Clears running and joins the monitor if the job runs, then closes the
// child if there is one. The monitor never reads a closed child.
void stop_job_tool(job_tool tool);

#endif
