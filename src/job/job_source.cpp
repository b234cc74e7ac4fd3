#include "job/job_source.h"

#include <cstring>

#include "ff/ff_func.h"
#include "job/host_name.h"
#include "job/job.h"
#include "tool/probe.h"

namespace {

struct job_source {
    char src_file[CONVERTED_NAME_SIZE];
    char dst_file[CONVERTED_NAME_SIZE];
    probe_result result;
    uint32_t h2645_mp4toannexb;  // 1: copied H.264/HEVC video needs the Annex B filter
};

// 1 ready; 0 a name was refused (logged); -1 the source cannot be probed.
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

}  // namespace

bool attach_job_options(job *j, const char *no_record_text, const char *no_options_text)
{
    if (!j) {
        LOG_INFO("%s", no_record_text);
        return false;
    }
    j->opt_param = opt_param_create();
    if (!j->opt_param) LOG_INFO("%s", no_options_text);
    return true;
}

job *create_from_source(const char *src_file, const char *dst_file, uint32_t width, uint32_t height,
                        uint32_t usage_mode, int32_t hwd_type, const source_job_kind &kind, job *(*make)())
{
    job_source source;
    std::memset(&source, 0, sizeof source);
    convert_host_name(src_file, source.src_file);
    convert_host_name(dst_file, source.dst_file);
    if (!size_pair_ok(width, height, kind.size_pair_text)) return nullptr;
    const int ready = probe_job_source(&source);
    if (ready == 0) return nullptr;
    if (ready < 0) {
        if (kind.probe_failure_names_src)
            LOG_INFO("!internal_probe(src_file, &result, &h2645_mp4toannexb),src_file:%s", src_file);
        else
            LOG_INFO("!internal_probe(src_file, &result, &h2645_mp4toannexb)");
        return nullptr;
    }
    job *j = make();
    if (!attach_job_options(j, kind.no_record_text, kind.no_options_text)) return nullptr;
    str_copy(j->src_file, sizeof j->src_file, source.src_file);
    str_copy(j->dst_file, sizeof j->dst_file, source.dst_file);
    j->result = source.result;
    j->h2645_mp4toannexb = source.h2645_mp4toannexb;
    j->usage_mode = usage_mode;
    j->hwd_type = hwd_type;
    return j;
}
