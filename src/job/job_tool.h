// The tool child of a job: opened, killed and closed with the child's pid
// kept where a stop and the pid query can read it at any time.
#ifndef TARSA_SDK_JOB_TOOL_H
#define TARSA_SDK_JOB_TOOL_H

#include <string>
#include <vector>

#include "job/job_records.h"

// Opens the runner for `cmd` into j->fp. NULL on failure (logged).
pipe_info *open_job_tool(job *j, const std::vector<std::string> &cmd);
// Closes j->fp (waits for the child's end) and forgets it.
void close_job_tool(job *j);
// Kills the job's tool by the runner's child and the pid the tool printed.
void kill_job_tool(job *j);

#endif
