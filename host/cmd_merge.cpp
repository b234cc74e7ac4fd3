// tarsa merge: joins sources, in the order given, into one destination.
#include <cstdio>

#include "cli_args.h"
#include "commands.h"
#include "job_run.h"

namespace {

bool prepare_merge(job_plan &plan, int *status)
{
    *status = 1;
    if (plan.opts.tmp_dir.empty()) return true;
    // Library-wide, and read when sources are added: set before the job exists.
    const std::string dir = absolute_path(plan.opts.tmp_dir);
    if (!tarsa_sdk_merge_set_tmp_path(dir.c_str())) {
        std::fprintf(stderr, "tarsa: cannot use %s for temporary files\n", dir.c_str());
        return false;
    }
    return true;
}

void *create_merge(const job_plan &plan, const std::string &work_path)
{
    const merge_param_v1 p = job_params(plan, &merge_param_v1::merge_param);
    void *job = tarsa_sdk_merge_create_v1(work_path.c_str(), &p);
    if (job == TARSA_INVALID_HANDLE) return job;
    for (const std::string &src : plan.sources)
        if (!tarsa_sdk_merge_add_file(job, src.c_str())) {
            std::fprintf(stderr, "tarsa: the library refused the source %s\n", src.c_str());
            tarsa_sdk_merge_destroy(job);
            return TARSA_INVALID_HANDLE;
        }
    return job;
}

}  // namespace

int cmd_merge(const arg_list &args)
{
    static const job_kind kind = {JOB_MERGE,
                                  "merge",
                                  TARSA_EVENT_MERGE_POS,
                                  TARSA_EVENT_MERGE_FAIL,
                                  TARSA_EVENT_MERGE_SRC_FAIL,
                                  tarsa_sdk_merge_start,
                                  tarsa_sdk_merge_stop,
                                  tarsa_sdk_merge_destroy,
                                  prepare_merge,
                                  create_merge};
    return run_job_command(kind, args);
}
