// Conversion jobs: create, position, start, stop, destroy, the tool's pid.
#include <cstring>
#include <new>

#include "cvt/cmd_buffer.h"
#include "cvt/codec_compat.h"
#include "cvt/cvt_cmd.h"
#include "cvt/fmt_table.h"
#include "cvt/probe.h"
#include "cvt/runner.h"
#include "ff/ff_func.h"
#include "sdk/cvt_monitor.h"
#include "sdk/export_guard.h"
#include "sdk/host_name.h"
#include "sdk/job_records.h"
#include "support/rtkit.h"

namespace {

void *create_job(const char *src_file, const char *dst_file, const cvt_param_v1 *param)
{
    if (!src_file || !dst_file || !param) {
        LOG_INFO("tarsa_sdk_create:!src_file || !dst_file || !param");
        return TARSA_INVALID_HANDLE;
    }
    char src_file_name[CONVERTED_NAME_SIZE];
    char dst_file_name[CONVERTED_NAME_SIZE];
    convert_host_name(src_file, src_file_name);
    convert_host_name(dst_file, dst_file_name);
    if ((param->cvt_param.width == 0 && param->cvt_param.height != 0) ||
        (param->cvt_param.width != 0 && param->cvt_param.height == 0)) {
        LOG_INFO("param->cvt_param.width == 0 && param->cvt_param.height != 0) || (param->cvt_param.width != 0 && "
                 "param->cvt_param.height == 0");
        return TARSA_INVALID_HANDLE;
    }
    if (!check_job_file_name(src_file_name, "src_file_name") || !check_job_file_name(dst_file_name, "dst_file_name"))
        return TARSA_INVALID_HANDLE;
    probe_result result;
    std::memset(&result, 0, sizeof result);
    uint32_t h2645_mp4toannexb = 0;
    if (!internal_probe(src_file_name, &result, &h2645_mp4toannexb)) {
        LOG_INFO("!internal_probe(src_file, &result, &h2645_mp4toannexb),src_file:%s", src_file);
        return TARSA_INVALID_HANDLE;
    }
    h2645_mp4toannexb = is_h2645_mp4toannexb(src_file_name) == 1 ? 1 : 0;
    cvt_info *info = new (std::nothrow) cvt_info();
    if (!info) {
        LOG_INFO("cvt_info == NULL");
        return TARSA_INVALID_HANDLE;
    }
    info->opt_param = opt_param_create();
    if (!info->opt_param) LOG_INFO("cvt_info->opt_param == NULL");
    info->kind = TARSA_JOB_CONVERT;
    str_copy(info->src_file, sizeof info->src_file, src_file_name);
    str_copy(info->dst_file, sizeof info->dst_file, dst_file_name);
    info->cvt_param = param->cvt_param;
    info->result = result;
    info->h2645_mp4toannexb = h2645_mp4toannexb;
    info->usage_mode = param->usage_mode;
    info->hwd_type = param->hwd_type;
    return info;
}

void fill_dst_info(const dst_codec_info &chosen, dst_info *out)
{
    out->video_copy = static_cast<uint32_t>(chosen.v_copy);
    out->audio_copy = static_cast<uint32_t>(chosen.a_copy);
    // At most 29 bytes each; the host passes a zeroed record.
    std::strncpy(out->f_fmt, get_f_fmt_name(chosen.f_fmt_id), sizeof out->f_fmt - 1);
    std::strncpy(out->v_fmt, get_v_fmt_name(chosen.v_codec_id), sizeof out->v_fmt - 1);
    std::strncpy(out->a_fmt, get_a_fmt_name(chosen.a_codec_id), sizeof out->a_fmt - 1);
}

int start_job(cvt_info *info, dst_info *out)
{
    if (is_bad_handle(info)) {
        LOG_INFO("cvt_info == NULL");
        return 0;
    }
    if (info->running.load()) {
        LOG_INFO("cvt_info->running");  // stop the job before starting it again
        return 0;
    }
    if (!get_dst_file_codec_id_by_fmt(info->result.f_fmt, info->result.a_fmt, info->result.v_fmt, TARSA_JOB_CONVERT,
                                      info->cvt_param.dst_file_type, info->cvt_param.width, info->cvt_param.height,
                                      info->opt_param, &info->dst_codec_info)) {
        LOG_INFO("get_dst_file_codec_id_by_fmt");
        return 0;
    }
    if (out) fill_dst_info(info->dst_codec_info, out);
    cmd_buffer cmd = make_cmd_buffer();
    if (get_cvt_cmd(info, cmd.get()) != 1) {
        LOG_INFO("get_cvt_cmd fail");
        return 0;
    }
    pipe_info *fp = pipe_popen(cmd.get(), "r");
    if (!fp) {
        LOG_INFO("fp == NULL");
        return 0;
    }
    info->fp = fp;
    info->pos.store(0);
    info->running.store(1);
    if (!os_thread_create(&info->thr, nullptr, get_cvt_progress, info)) {
        LOG_INFO("!os_thread_create(&cvt_info->thr, 0, get_cvt_progress, cvt_info)");
        info->running.store(0);
        // Nobody reads the tool's output: end it rather than wait for it.
        kill_process(pipe_child_pid(fp));
        pipe_pclose(fp);
        info->fp = nullptr;
        return 0;
    }
    return 1;
}

int stop_job(cvt_info *info)
{
    if (is_bad_handle(info)) {
        LOG_INFO("cvt_info == NULL");
        return 0;
    }
    if (info->running.load()) {
        info->running.store(0);
        os_thread_join(&info->thr);
    }
    if (info->fp) {
        // The monitor kills the tool by the pid the tool printed; a stop that
        // came before that line was read would otherwise wait for the tool's
        // own end. After the tool's end this kill finds an unreaped child and
        // does nothing.
        kill_process(pipe_child_pid(info->fp));
        pipe_pclose(info->fp);
        info->fp = nullptr;
    }
    return 1;
}

int get_ffmpeg_pid(cvt_info *info)
{
    if (is_bad_handle(info)) {
        LOG_INFO("fd == NULL");
        return -1;
    }
    int pid = -1;
    char buf[4096];
    for (int tries = 0;; tries++) {
        if (!info->running.load() || !info->fp) return -1;
        if (tries >= 10) return -1;
        std::memset(buf, 0, sizeof buf);
        if (!pipe_fgets(buf, sizeof buf, info->fp)) {
            os_sleep(100);
            continue;
        }
        if (pid == -1) {
            pid = get_buf_pid(buf);
            os_sleep(500);
            continue;
        }
        info->pid = pid;
        return pid;
    }
}

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_create(const char *src_file, const char *dst_file, const cvt_param *param)
{
    return tarsa_guarded("tarsa_sdk_create", TARSA_INVALID_HANDLE, [&] {
        if (!src_file || !dst_file || !param) {
            LOG_INFO("tarsa_sdk_create:!src_file || !dst_file || !param");
            return TARSA_INVALID_HANDLE;
        }
        cvt_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.cvt_param = *param;
        v1.usage_mode = HWD_USAGE_AUTO;
        v1.hwd_type = -1;
        return create_job(src_file, dst_file, &v1);
    });
}

TARSA_API void *tarsa_sdk_create_v1(const char *src_file, const char *dst_file, const cvt_param_v1 *param)
{
    return tarsa_guarded("tarsa_sdk_create_v1", TARSA_INVALID_HANDLE,
                         [&] { return create_job(src_file, dst_file, param); });
}

TARSA_API int tarsa_sdk_get_pos(void *handle)
{
    if (is_bad_handle(handle)) {
        LOG_INFO("cvt_info == NULL");
        return -1;
    }
    return static_cast<int>(static_cast<cvt_info *>(handle)->pos.load());
}

TARSA_API int tarsa_sdk_start_ex(void *handle, dst_info *info)
{
    return tarsa_guarded("tarsa_sdk_start_ex", 0, [&] { return start_job(static_cast<cvt_info *>(handle), info); });
}

TARSA_API int tarsa_sdk_start(void *handle) { return tarsa_sdk_start_ex(handle, nullptr); }

TARSA_API int tarsa_sdk_stop(void *handle)
{
    return tarsa_guarded("tarsa_sdk_stop", 0, [&] { return stop_job(static_cast<cvt_info *>(handle)); });
}

TARSA_API int tarsa_sdk_destroy(void *handle)
{
    return tarsa_guarded("tarsa_sdk_destroy", 0, [&] {
        cvt_info *info = static_cast<cvt_info *>(handle);
        if (is_bad_handle(info)) {
            LOG_INFO("cvt_info == NULL");
            return 0;
        }
        stop_job(info);
        if (info->opt_param) opt_param_destroy(info->opt_param);
        delete info;
        return 1;
    });
}

TARSA_API int tarsa_sdk_get_ffmpeg_pid(void *handle)
{
    return tarsa_guarded("tarsa_sdk_get_ffmpeg_pid", -1,
                         [&] { return get_ffmpeg_pid(static_cast<cvt_info *>(handle)); });
}

}  // extern "C"
