#include "job/job_source.h"

#include <cstring>

#include "tool/probe.h"
#include "ff/ff_func.h"

void convert_job_names(const char *src_file, const char *dst_file, job_source *out)
{
    std::memset(out, 0, sizeof *out);
    convert_host_name(src_file, out->src_file);
    convert_host_name(dst_file, out->dst_file);
}

int probe_job_source(job_source *source)
{
    if (!check_job_file_name(source->src_file, "src_file_name") ||
        !check_job_file_name(source->dst_file, "dst_file_name") ||
        !check_not_same_file(source->src_file, source->dst_file))
        return 0;
    uint32_t flag = 0;
    if (!internal_probe(source->src_file, &source->result, &flag)) return -1;
    // The stream inspection decides, whatever the probe tool said.
    source->h2645_mp4toannexb = is_h2645_mp4toannexb(source->src_file) == 1 ? 1 : 0;
    return 1;
}
