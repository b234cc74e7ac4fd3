// tarsa convert: one source into one destination of another type or size.
#include "commands.h"
#include "job_run.h"

namespace {

void *create_conversion(const job_plan &plan, const std::string &work_path)
{
    const cvt_param_v1 p = job_params(plan, &cvt_param_v1::cvt_param);
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
