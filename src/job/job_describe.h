// The tool commands of jobs: plain descriptions read out of the job records
// and option lists (with the hardware chosen for them), the argument lists
// built from those, and the log lines that show each command.
#ifndef TARSA_JOB_JOB_DESCRIBE_H
#define TARSA_JOB_JOB_DESCRIBE_H

#include <string>
#include <vector>

#include "media/job_desc.h"
#include "job/job_records.h"

// Fill *out from the job; false when the hardware choice failed (logged
// "!get_cvt_hwd_type"). A chosen hardware decoder that cannot decode the
// source (trial decode) is left out. Nothing of the job is written.
bool describe_cvt_job(const cvt_info &info, job_desc *out);
bool describe_cut_job(const cut_info &info, job_desc *out);
bool describe_merge_tmp(const merge_info &info, const file_info &source, job_desc *out);
void describe_merge_concat(const merge_info &info, job_desc *out);

// The command of a job's tool, program first, written to the log; empty
// when it cannot be built (logged). The caller logs its own failure line.
std::vector<std::string> cvt_job_cmd(const cvt_info &info);
std::vector<std::string> cut_job_cmd(const cut_info &info);
std::vector<std::string> merge_tmp_job_cmd(const merge_info &info, const file_info &source);
// The join of the temporaries of `list` (elements: file_info *), in list order.
std::vector<std::string> merge_concat_job_cmd(const merge_info &info, adt_dlist *list);

#endif
