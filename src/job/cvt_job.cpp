// Conversion jobs: the record made from the host's request, the start of
// the tool, and what the monitor loop does with its progress and its end.
#include "job/cvt_job.h"

#include <cstring>

#include "job/job_describe.h"
#include "job/dst_info_fill.h"
#include "job/event.h"
#include "job/job.h"
#include "job/job_source.h"
#include "job/monitor_common.h"
#include "core/rtkit.h"

namespace {

void notify_failure(job *j)
{
    notify(j, TARSA_EVENT_CVT_FAIL, reinterpret_cast<intptr_t>(j->dst_file),
           static_cast<uint32_t>(std::strlen(j->dst_file)));
}

void on_time(job *j, int cur_time)
{
    const int position = position_percent(cur_time, j->result.duration);
    if (position > static_cast<int>(j->pos.load()) && position < 100) {
        j->pos.store(static_cast<uint32_t>(position));
        notify(j, TARSA_EVENT_CVT_POS, 0, static_cast<uint32_t>(position));
    }
}

void on_marker(job *j, const char *)
{
    notify_failure(j);
    LOG_INFO("get_cvt_progress File Conversion failed!");
}

// Every conversion ends with 100/100, after a failure or a stop too.
void on_end(job *j, const follow_outcome &out)
{
    if (out.end == FOLLOW_EOF || out.end == FOLLOW_STALL) {
        log_monitor_end("get_cvt_progress", j->dst_file, out.props, out.last_time, out.time_count);
        if (out.last_time == -1 || out.tool_failed) {
            notify_failure(j);
        } else if (j->result.duration == 0) {
            j->result.duration = out.last_time;
        }
    }
    j->pos.store(100);
    notify(j, TARSA_EVENT_CVT_POS, 0, 100);
}

const follow_kind kFollow = {"get_cvt_progress", 30000, "Conversion failed", IDLE_WATCH_CHECKED, true, true,
                             on_time, on_marker, on_end};

int start(job *j, dst_info *out)
{
    cvt_info *info = static_cast<cvt_info *>(j);
    if (!choose_job_codecs(info->result, TARSA_JOB_CONVERT, info->cvt_param.dst_file_type, info->cvt_param.width,
                           info->cvt_param.height, info->opt_param, &info->dst_codec_info))
        return 0;
    if (out) fill_dst_info(info->dst_codec_info, out);
    const std::vector<std::string> cmd = cvt_job_cmd(*info);
    if (cmd.empty()) {
        LOG_INFO("get_cvt_cmd fail");
        return 0;
    }
    return launch_job_tool(info, cmd, "!os_thread_create(&cvt_info->thr, 0, get_cvt_progress, cvt_info)");
}

void release(job *j) { delete static_cast<cvt_info *>(j); }

const job_hooks kHooks = {"cvt_info == NULL", "cvt_info->running", start, nullptr, release, &kFollow};

}  // namespace

cvt_info::cvt_info() : job(TARSA_JOB_CONVERT, &kHooks) {}

job *create_cvt_job(const char *src_file, const char *dst_file, const cvt_param_v1 *param)
{
    static const source_job_kind kind = {
        "param->cvt_param.width == 0 && param->cvt_param.height != 0) || (param->cvt_param.width != 0 "
        "&& param->cvt_param.height == 0",
        true, "cvt_info == NULL", "cvt_info->opt_param == NULL"};
    return create_source_job(src_file, dst_file, param, &cvt_param_v1::cvt_param, &cvt_info::cvt_param, kind);
}
