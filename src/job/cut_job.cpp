// Cut jobs: the record made from the host's request, the start of the tool,
// and what the monitor loop does with its progress and its end.
#include <cstring>

#include "job/job_describe.h"
#include "job/cvt_job.h"
#include "job/event.h"
#include "job/job.h"
#include "job/job_source.h"
#include "job/monitor_common.h"
#include "core/rtkit.h"

namespace {

// 32-bit results that wrap instead of overflowing: hosts pass any values.
int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

void on_time(job *j, int cur_time)
{
    const int position = position_percent(cur_time, cut_expected_length(static_cast<cut_info *>(j)));
    if (position > static_cast<int>(j->pos.load()) && position < 100) {
        j->pos.store(static_cast<uint32_t>(position));
        notify(j, TARSA_EVENT_CUT_POS, 0, static_cast<uint32_t>(position));
    }
}

// A stopped cut ends without a report or an event; a failed one with 201.
void on_end(job *j, const follow_outcome &out)
{
    if (out.end != FOLLOW_STOPPED) {
        log_monitor_end("get_cut_progress", j->dst_file, out.props, out.last_time, out.time_count);
        if (out.last_time == -1 || out.tool_failed)
            notify(j, TARSA_EVENT_CUT_FAIL, reinterpret_cast<intptr_t>(j->dst_file),
                   static_cast<uint32_t>(std::strlen(j->dst_file)));
        else
            j->pos.store(100);
    }
    if (j->pos.load() == 100) notify(j, TARSA_EVENT_CUT_POS, 0, 100);
}

const follow_kind kFollow = {"get_cut_progress", 300, nullptr, IDLE_WATCH_UNCHECKED, false, true,
                             on_time, nullptr, on_end};

int start(job *j, dst_info *)
{
    cut_info *info = static_cast<cut_info *>(j);
    const cut_param &param = info->cut_param;
    if (!choose_job_codecs(info->result, TARSA_JOB_CUT, param.dst_file_type, param.width, param.height,
                           info->opt_param, &info->dst_codec_info))
        return 0;
    if (param.force_encode) {
        info->dst_codec_info.v_copy = 0;
        info->dst_codec_info.a_copy = 0;
    }
    const std::vector<std::string> cmd = cut_job_cmd(*info);
    if (cmd.empty()) {
        LOG_INFO("get_cut_cmd fail");
        return 0;
    }
    return launch_job_tool(info, cmd, "!os_thread_create(&cut_info->thr, 0, get_cut_progress, cut_info)");
}

void release(job *j) { delete static_cast<cut_info *>(j); }

const job_hooks kHooks = {"cut_info == NULL", "cut_info->running", start, nullptr, release, &kFollow};

}  // namespace

cut_info::cut_info() : job(TARSA_JOB_CUT, &kHooks) {}

int cut_expected_length(const cut_info *info)
{
    const int32_t start = info->cut_param.start_time;
    const int32_t length = info->cut_param.cut_length;
    const int32_t duration = info->result.duration;
    const int32_t end = wrap32(int64_t{start} + length);
    const bool past_end = duration != 0 && end > duration;
    if (info->dst_codec_info.v_copy != 0) return past_end ? duration : end;
    return past_end ? wrap32(int64_t{duration} - start) : length;
}

job *create_cut_job(const char *src_file, const char *dst_file, const cut_param_v1 *param)
{
    static const source_job_kind kind = {
        "(param->cut_param->width == 0 && param->cut_param->height != 0) || (param->cut_param->width != 0 "
        "&& param->cut_param->height == 0)",
        false, "cut_info == NULL", "cut_info->opt_param == NULL"};
    job *j = create_source_job(src_file, dst_file, param, &cut_param_v1::cut_param, &cut_info::cut_param, kind);
    // A part that begins after the source's end does not exist: the tool
    // would write an empty file and the cut would report success. The probe
    // gives whole seconds (rounded down), so only a start beyond them is sure.
    const cut_info *info = static_cast<const cut_info *>(j);
    if (info && info->result.duration > 0 && info->cut_param.start_time > info->result.duration) {
        LOG_INFO("cut start %d s is past the end of the source (%d s)", info->cut_param.start_time,
                 info->result.duration);
        job_destroy(j);
        return nullptr;
    }
    return j;
}
