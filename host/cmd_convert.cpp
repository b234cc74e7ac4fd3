// tarsa convert: one source into one destination of another type or size.
#include <cstring>

#include "commands.h"
#include "job_run.h"

namespace {

void *create_conversion(const job_plan &plan, const std::string &work_path)
{
    cvt_param_v1 p;
    std::memset(&p, 0, sizeof p);
    p.cvt_param.dst_file_type = plan.type;
    p.cvt_param.width = plan.opts.width;
    p.cvt_param.height = plan.opts.height;
    p.cvt_param.audio_enable = plan.opts.audio ? 1 : 0;
    p.cvt_param.quality = plan.opts.quality;
    p.usage_mode = plan.usage_mode;
    p.hwd_type = -1;
    return tarsa_sdk_create_v1(plan.sources[0].c_str(), work_path.c_str(), &p);
}

}  // namespace

int cmd_convert(const arg_list &args)
{
    static const job_kind kind = {JOB_CONVERT,      "conversion",     TARSA_EVENT_CVT_POS, TARSA_EVENT_CVT_FAIL, 0,
                                  tarsa_sdk_start, tarsa_sdk_stop, tarsa_sdk_destroy,   nullptr,
                                  create_conversion};
    return run_job_command(kind, args);
}
