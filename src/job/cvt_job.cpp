// Conversion jobs: create, position, start, stop, destroy, the tool's pid.
#include <cstring>
#include <new>

#include "tool/runner.h"
#include "job/cvt_monitor.h"
#include "job/dst_info_fill.h"
#include "api/export_guard.h"
#include "job/host_name.h"
#include "job/job_describe.h"
#include "job/job_launch.h"
#include "job/job_records.h"
#include "job/job_source.h"
#include "core/rtkit.h"

namespace {

void *create_job(const char *src_file, const char *dst_file, const cvt_param_v1 *param)
{
    if (!src_file || !dst_file || !param) {
        LOG_INFO("tarsa_sdk_create:!src_file || !dst_file || !param");
        return TARSA_INVALID_HANDLE;
    }
    job_source source;
    convert_job_names(src_file, dst_file, &source);
    if ((param->cvt_param.width == 0 && param->cvt_param.height != 0) ||
        (param->cvt_param.width != 0 && param->cvt_param.height == 0)) {
        LOG_INFO("param->cvt_param.width == 0 && param->cvt_param.height != 0) || (param->cvt_param.width != 0 && "
                 "param->cvt_param.height == 0");
        return TARSA_INVALID_HANDLE;
    }
    const int ready = probe_job_source(&source);
    if (ready == 0) return TARSA_INVALID_HANDLE;
    if (ready < 0) {
        LOG_INFO("!internal_probe(src_file, &result, &h2645_mp4toannexb),src_file:%s", src_file);
        return TARSA_INVALID_HANDLE;
    }
    cvt_info *info = new (std::nothrow) cvt_info();
    if (!info) {
        LOG_INFO("cvt_info == NULL");
        return TARSA_INVALID_HANDLE;
    }
    info->opt_param = opt_param_create();
    if (!info->opt_param) LOG_INFO("cvt_info->opt_param == NULL");
    info->kind = TARSA_JOB_CONVERT;
    str_copy(info->src_file, sizeof info->src_file, source.src_file);
    str_copy(info->dst_file, sizeof info->dst_file, source.dst_file);
    info->cvt_param = param->cvt_param;
    info->result = source.result;
    info->h2645_mp4toannexb = source.h2645_mp4toannexb;
    info->usage_mode = param->usage_mode;
    info->hwd_type = param->hwd_type;
    return info;
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
    if (!choose_job_codecs(info->result, TARSA_JOB_CONVERT, info->cvt_param.dst_file_type, info->cvt_param.width,
                           info->cvt_param.height, info->opt_param, &info->dst_codec_info))
        return 0;
    if (out) fill_dst_info(info->dst_codec_info, out);
    const std::vector<std::string> cmd = cvt_job_cmd(*info);
    if (cmd.empty()) {
        LOG_INFO("get_cvt_cmd fail");
        return 0;
    }
    return launch_job_tool(tool_of(info), cmd, get_cvt_progress, info,
                           "!os_thread_create(&cvt_info->thr, 0, get_cvt_progress, cvt_info)");
}

int stop_job(cvt_info *info)
{
    if (is_bad_handle(info)) {
        LOG_INFO("cvt_info == NULL");
        return 0;
    }
    stop_job_tool(tool_of(info));
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
