// Cut jobs: create, position, start, stop, destroy.
#include <cstring>
#include <new>

#include "job/cut_monitor.h"
#include "api/export_guard.h"
#include "job/host_name.h"
#include "job/job_describe.h"
#include "job/job_launch.h"
#include "job/job_records.h"
#include "job/job_source.h"
#include "core/rtkit.h"

namespace {

void *create_job(const char *src_file, const char *dst_file, const cut_param_v1 *param)
{
    if (!src_file || !dst_file || !param) {
        LOG_INFO("tarsa_sdk_cut_create: !src_file|| !dst_file || !param");
        return TARSA_INVALID_HANDLE;
    }
    job_source source;
    convert_job_names(src_file, dst_file, &source);
    if ((param->cut_param.width == 0 && param->cut_param.height != 0) ||
        (param->cut_param.width != 0 && param->cut_param.height == 0)) {
        LOG_INFO("(param->cut_param->width == 0 && param->cut_param->height != 0) || (param->cut_param->width != 0 "
                 "&& param->cut_param->height == 0)");
        return TARSA_INVALID_HANDLE;
    }
    const int ready = probe_job_source(&source);
    if (ready == 0) return TARSA_INVALID_HANDLE;
    if (ready < 0) {
        LOG_INFO("!internal_probe(src_file, &result, &h2645_mp4toannexb)");
        return TARSA_INVALID_HANDLE;
    }
    cut_info *info = new (std::nothrow) cut_info();
    if (!info) {
        LOG_INFO("cut_info == NULL");
        return TARSA_INVALID_HANDLE;
    }
    info->opt_param = opt_param_create();
    if (!info->opt_param) LOG_INFO("cut_info->opt_param == NULL");
    info->kind = TARSA_JOB_CUT;
    str_copy(info->src_file, sizeof info->src_file, source.src_file);
    str_copy(info->dst_file, sizeof info->dst_file, source.dst_file);
    info->cut_param = param->cut_param;
    info->result = source.result;
    info->h2645_mp4toannexb = source.h2645_mp4toannexb;
    info->usage_mode = param->usage_mode;
    info->hwd_type = param->hwd_type;
    return info;
}

int start_job(cut_info *info)
{
    if (is_bad_handle(info)) {
        LOG_INFO("cut_info == NULL");
        return 0;
    }
    if (info->running.load()) {
        LOG_INFO("cut_info->running");  // stop the cut before starting it again
        return 0;
    }
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
    return launch_job_tool(tool_of(info), cmd, get_cut_progress, info,
                           "!os_thread_create(&cut_info->thr, 0, get_cut_progress, cut_info)");
}

int stop_job(cut_info *info)
{
    if (is_bad_handle(info)) {
        LOG_INFO("cut_info == NULL");
        return 0;
    }
    stop_job_tool(tool_of(info));
    return 1;
}

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_cut_create(const char *src_file, const char *dst_file, const cut_param *param)
{
    return tarsa_guarded("tarsa_sdk_cut_create", TARSA_INVALID_HANDLE, [&] {
        if (!src_file || !dst_file || !param) {
            LOG_INFO("tarsa_sdk_cut_create: !src_file|| !dst_file || !param");
            return TARSA_INVALID_HANDLE;
        }
        cut_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.cut_param = *param;
        v1.usage_mode = HWD_USAGE_AUTO;
        v1.hwd_type = -1;
        return create_job(src_file, dst_file, &v1);
    });
}

TARSA_API void *tarsa_sdk_cut_create_v1(const char *src_file, const char *dst_file, const cut_param_v1 *param)
{
    return tarsa_guarded("tarsa_sdk_cut_create_v1", TARSA_INVALID_HANDLE,
                         [&] { return create_job(src_file, dst_file, param); });
}

TARSA_API int tarsa_sdk_cut_get_pos(void *handle)
{
    if (is_bad_handle(handle)) {
        LOG_INFO("cut_info == NULL");
        return -1;
    }
    return static_cast<int>(static_cast<cut_info *>(handle)->pos.load());
}

TARSA_API int tarsa_sdk_cut_start(void *handle)
{
    return tarsa_guarded("tarsa_sdk_cut_start", 0, [&] { return start_job(static_cast<cut_info *>(handle)); });
}

TARSA_API int tarsa_sdk_cut_stop(void *handle)
{
    return tarsa_guarded("tarsa_sdk_cut_stop", 0, [&] { return stop_job(static_cast<cut_info *>(handle)); });
}

TARSA_API int tarsa_sdk_cut_destroy(void *handle)
{
    return tarsa_guarded("tarsa_sdk_cut_destroy", 0, [&] {
        cut_info *info = static_cast<cut_info *>(handle);
        if (is_bad_handle(info)) {
            LOG_INFO("cut_info == NULL");
            return 0;
        }
        stop_job(info);
        if (info->opt_param) opt_param_destroy(info->opt_param);
        delete info;
        return 1;
    });
}

}  // extern "C"
