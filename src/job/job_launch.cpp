#include "job/job_launch.h"

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

int launch_job_tool(job_tool tool, const std::vector<std::string> &cmd, os_thread_fn monitor, void *job, const char *thread_failed)
{
    pipe_info *fp = pipe_popen(cmd, "r");
    if (!fp) {
        LOG_INFO("fp == NULL");
        return 0;
    }
    tool.fp = fp;
    tool.pos.store(0);
    tool.running.store(1);
    if (!os_thread_create(&tool.thr, nullptr, monitor, job)) {
        LOG_INFO("%s", thread_failed);
        tool.running.store(0);
        // Nobody reads the tool's output: end it rather than wait for it.
        kill_process(pipe_child_pid(fp));
        pipe_pclose(fp);
        tool.fp = nullptr;
        return 0;
    }
    return 1;
}

void stop_job_tool(job_tool tool)
{
    if (tool.running.load()) {
        tool.running.store(0);
        os_thread_join(&tool.thr);
    }
    if (tool.fp) {
        // The monitor kills the tool by the pid the tool printed; a stop that
        // came before that line was read would otherwise wait for the tool's
        // own end. After the tool's end this kill finds an unreaped child and
        // does nothing.
        kill_process(pipe_child_pid(tool.fp));
        pipe_pclose(tool.fp);
        tool.fp = nullptr;
    }
}
