#include "job/job.h"

#include <string>
#include <vector>

#include "core/rtkit.h"

bool size_pair_ok(uint32_t width, uint32_t height, const char *text)
{
    if ((width == 0) != (height == 0)) {
        LOG_INFO("%s", text);
        return false;
    }
    return true;
}

int choose_job_codecs(const probe_result &source, int kind, int dst_file_type, uint32_t width, uint32_t height,
                      opt_param *options, dst_codec_info *out)
{
    if (!get_dst_file_codec_id_by_fmt(source.f_fmt, source.a_fmt, source.v_fmt, kind, dst_file_type, width, height,
                                      options, out)) {
        LOG_INFO("get_dst_file_codec_id_by_fmt");
        return 0;
    }
    return 1;
}

int launch_job_tool(job *j, const std::vector<std::string> &cmd, const char *thread_failed)
{
    if (!open_job_tool(j, cmd)) return 0;
    j->pos.store(0);
    j->running.store(1);
    if (!os_thread_create(&j->thr, nullptr, run_job_monitor, j)) {
        LOG_INFO("%s", thread_failed);
        j->running.store(0);
        // Nobody reads the tool's output: end it rather than wait for it.
        kill_job_tool(j);
        close_job_tool(j);
        return 0;
    }
    return 1;
}

int run_job_monitor(void *arg)
{
    job *j = static_cast<job *>(arg);
    const follow_kind &kind = *j->hooks->follow;
    const follow_outcome out = follow_tool(j, kind);
    if (kind.on_end) kind.on_end(j, out);
    return 0;
}

int job_start(job *j, dst_info *out)
{
    if (j->running.load()) {
        LOG_INFO("%s", j->hooks->running_text);  // stop the job before starting it again
        return 0;
    }
    return j->hooks->start(j, out);
}

int job_stop(job *j)
{
    // Running is cleared before the kill, so that the monitor takes the
    // tool's death for the stop it is, not for a failure.
    if (j->running.load()) {
        j->running.store(0);
        kill_job_tool(j);
        os_thread_join(&j->thr);
    }
    if (j->fp) {
        kill_job_tool(j);
        close_job_tool(j);
    }
    if (j->hooks->after_stop) j->hooks->after_stop(j);
    return 1;
}

int job_destroy(job *j)
{
    job_stop(j);
    if (j->opt_param) opt_param_destroy(j->opt_param);
    j->opt_param = nullptr;
    j->hooks->release(j);
    return 1;
}

int job_pos(const job *j) { return static_cast<int>(j->pos.load()); }

int job_set_option(job *j, uint32_t id, const void *data, int32_t size)
{
    return opt_param_set(j->opt_param, id, data, size);
}

int job_tool_pid(job *j)
{
    if (!j->running.load()) return -1;
    const int printed = j->tool_pid.load();
    return printed != -1 ? printed : j->child_pid.load();
}
