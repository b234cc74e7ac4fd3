// Creating a job that works on one source (conversion, cut): the host's
// names converted and checked, the source probed, the record made.
#ifndef TARSA_SDK_JOB_SOURCE_H
#define TARSA_SDK_JOB_SOURCE_H

#include <cstdint>
#include <new>

#include "job/job_records.h"

// What differs between the kinds created from a source.
struct source_job_kind {
    const char *size_pair_text;   // logged when width and height do not pair
    bool probe_failure_names_src; // the probe's failure line also names the source
    const char *no_record_text;   // logged when the record cannot be allocated
    const char *no_options_text;  // logged when its option list cannot be made
};

// Checks the size pair, converts both host names (see convert_host_name),
// refuses names that the record or the command line cannot carry, probes
// the source, then makes the record with `make` (NULL when it cannot) and
// gives it the names, the probe, an option list and the hardware choice.
// NULL when refused (logged). The arguments are not NULL.
job *create_from_source(const char *src_file, const char *dst_file, uint32_t width, uint32_t height,
                        uint32_t usage_mode, int32_t hwd_type, const source_job_kind &kind, job *(*make)());

// The same for a kind whose record Info keeps the host's parameters, at
// `to`, as the create's record holds them at `from`.
template <typename Info, typename V1, typename Param>
job *create_source_job(const char *src_file, const char *dst_file, const V1 *param, Param V1::*from, Param Info::*to,
                       const source_job_kind &kind)
{
    const Param &p = param->*from;
    job *j = create_from_source(src_file, dst_file, p.width, p.height, param->usage_mode, param->hwd_type, kind,
                                [] { return static_cast<job *>(new (std::nothrow) Info()); });
    if (j) static_cast<Info *>(j)->*to = p;
    return j;
}

// Gives a new record its option list: logs `no_record_text` and gives
// false for no record; logs `no_options_text` when the list cannot be made
// (the job then has no options).
bool attach_job_options(job *j, const char *no_record_text, const char *no_options_text);

#endif
