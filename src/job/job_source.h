// The first steps of creating a conversion or cut job, before its record
// exists: the host's file names converted and checked, the source probed.
#ifndef TARSA_SDK_JOB_SOURCE_H
#define TARSA_SDK_JOB_SOURCE_H

#include <cstdint>

#include "job/host_name.h"
#include "tarsasdk.h"

struct job_source {
    char src_file[CONVERTED_NAME_SIZE];
    char dst_file[CONVERTED_NAME_SIZE];
    probe_result result;
    uint32_t h2645_mp4toannexb;  // 1: copied H.264/HEVC video needs the Annex B filter
};

// Converts both host names into `out` (see convert_host_name) and clears
// the rest of it.
void convert_job_names(const char *src_file, const char *dst_file, job_source *out);

// Refuses names that the record or the command line cannot carry, then
// probes the source. 1 ready; 0 a name was refused (logged); -1 the source
// cannot be probed (not logged: each job kind words that itself).
int probe_job_source(job_source *source);

#endif
