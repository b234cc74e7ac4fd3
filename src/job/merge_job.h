// Creating merge jobs.
#ifndef TARSA_SDK_MERGE_JOB_H
#define TARSA_SDK_MERGE_JOB_H

#include "job/job_records.h"

// The record for a checked request; NULL when refused (logged). The
// arguments are not NULL.
job *create_merge_job(const char *dst_file, const merge_param_v1 *param);
#endif
