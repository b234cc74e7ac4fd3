// The one option table of the job commands (convert, cut, merge): every
// option is parsed, checked and documented in one place.
#ifndef TARSA_HOST_JOB_OPTIONS_H
#define TARSA_HOST_JOB_OPTIONS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum job_command { JOB_CONVERT = 1, JOB_CUT = 2, JOB_MERGE = 4 };

struct job_options {
    // Shared by every job command.
    int32_t type = -1;  // -1: from the destination's extension
    uint32_t width = 0, height = 0;
    int32_t quality = 5;
    bool audio = true;
    bool overwrite = false;
    bool json = false;
    bool quiet = false;
    bool software_only = false;
    // Conversion.
    int32_t vcodec = -1, acodec = -1, threads = -1;
    std::string preset, watermark;
    int32_t grid_rows = 1, grid_cols = 1;
    // Cut.
    long long start_ms = 0, length_ms = -1;
    bool copy = false;
    bool faststart = true;
    // Merge.
    std::string tmp_dir;
    bool strict = false;

    std::vector<std::string> files;  // in the order given
};

// Parses `args` for `command`. 0 parsed, 2 usage error (message printed),
// -1 help was asked for (printed on standard output).
int parse_job_options(job_command command, const std::vector<std::string> &args, job_options *out);

// The options `command` takes, one per line, as the help shows them.
void print_job_options(job_command command, FILE *to);

#endif
