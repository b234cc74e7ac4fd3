// Creating conversion and cut jobs from the host's request.
#ifndef TARSA_SDK_CVT_JOB_H
#define TARSA_SDK_CVT_JOB_H

#include "job/job_records.h"

// The record for a checked request, its source probed; NULL when refused
// (logged). The arguments are not NULL.
job *create_cvt_job(const char *src_file, const char *dst_file, const cvt_param_v1 *param);
job *create_cut_job(const char *src_file, const char *dst_file, const cut_param_v1 *param);
// The media time in seconds at which the tool's "time=" means the cut is
// done. A stream copy counts from the source's start (the tool seeks before
// its input), a re-encode from the cut's start; both end at the source's
// end when its duration is known.
int cut_expected_length(const cut_info *info);

#endif
