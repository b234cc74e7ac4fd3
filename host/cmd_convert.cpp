#include <cstdio>
#include <cstring>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "job_watch.h"
#include "tarsasdk.h"

namespace {

struct convert_options {
    cvt_param_v1 param;
    bool has_vcodec = false, has_acodec = false, has_threads = false, has_watermark = false;
    int32_t vcodec = 0, acodec = 0, threads = 0;
    std::string preset;
    ot_ex mark;
};

bool parse_convert(const arg_list &args, std::string *src, std::string *dst, convert_options *o)
{
    std::memset(&o->param, 0, sizeof o->param);
    std::memset(&o->mark, 0, sizeof o->mark);
    o->param.cvt_param.audio_enable = 1;
    o->param.cvt_param.quality = 5;
    o->param.usage_mode = HWD_USAGE_AUTO;
    o->param.hwd_type = -1;
    o->mark.row_num = o->mark.col_num = 1;
    o->mark.font_size = 24;
    o->mark.transparency = 30;
    std::strcpy(o->mark.font_color, "white");
    bool type_given = false;
    arg_list files;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        auto value = [&](std::string *out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "tarsa: %s needs a value\n", a.c_str());
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--no-audio") {
            o->param.cvt_param.audio_enable = 0;
        } else if (a == "--type") {
            if (!value(&v) || !parse_int(a, v, 0, 255, &o->param.cvt_param.dst_file_type)) return false;
            type_given = true;
        } else if (a == "--size") {
            if (!value(&v) || !parse_size(v, &o->param.cvt_param.width, &o->param.cvt_param.height)) return false;
        } else if (a == "--quality") {
            if (!value(&v) || !parse_int(a, v, 0, 51, &o->param.cvt_param.quality)) return false;
        } else if (a == "--vcodec") {
            if (!value(&v) || !parse_int(a, v, 0, 255, &o->vcodec)) return false;
            o->has_vcodec = true;
        } else if (a == "--acodec") {
            if (!value(&v) || !parse_int(a, v, 0, 255, &o->acodec)) return false;
            o->has_acodec = true;
        } else if (a == "--threads") {
            if (!value(&v) || !parse_int(a, v, 0, 256, &o->threads)) return false;
            o->has_threads = true;
        } else if (a == "--preset") {
            if (!value(&o->preset)) return false;
            if (o->preset.size() >= 100) {
                std::fprintf(stderr, "tarsa: --preset is too long\n");
                return false;
            }
        } else if (a == "--watermark") {
            if (!value(&v)) return false;
            if (v.size() >= sizeof o->mark.text) {
                std::fprintf(stderr, "tarsa: --watermark text is too long\n");
                return false;
            }
            std::strncpy(o->mark.text, v.c_str(), sizeof o->mark.text - 1);
            o->has_watermark = true;
        } else if (a == "--grid") {
            unsigned rows = 0, cols = 0;
            if (!value(&v) || std::sscanf(v.c_str(), "%ux%u", &rows, &cols) != 2 || rows == 0 || cols == 0 ||
                rows > 16 || cols > 16) {
                std::fprintf(stderr, "tarsa: --grid takes ROWSxCOLUMNS, e.g. 2x3\n");
                return false;
            }
            o->mark.row_num = static_cast<int32_t>(rows);
            o->mark.col_num = static_cast<int32_t>(cols);
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "tarsa: unknown option %s\n", a.c_str());
            return false;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return false;
    *src = absolute_path(files[0]);
    *dst = absolute_path(files[1]);
    if (!type_given) o->param.cvt_param.dst_file_type = file_type_for(*dst);
    return true;
}

}  // namespace

int cmd_convert(const arg_list &args)
{
    std::string src, dst;
    convert_options o;
    if (!parse_convert(args, &src, &dst, &o)) return 2;
    void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &o.param);
    if (job == TARSA_INVALID_HANDLE) {
        std::fprintf(stderr, "tarsa: cannot convert %s: it is not a readable media file, or a name is not usable\n",
                     src.c_str());
        return 1;
    }
    if (o.has_vcodec) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_V_CODEC_ID, &o.vcodec, sizeof o.vcodec);
    if (o.has_acodec) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_A_CODEC_ID, &o.acodec, sizeof o.acodec);
    if (o.has_threads) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_THREAD_NUM, &o.threads, sizeof o.threads);
    if (!o.preset.empty())
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_PRESET, o.preset.c_str(), static_cast<int32_t>(o.preset.size() + 1));
    if (o.has_watermark) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_OT, &o.mark, sizeof o.mark);

    job_kind_ops ops = {"conversion", TARSA_EVENT_CVT_POS, TARSA_EVENT_CVT_FAIL, 0,
                        tarsa_sdk_start, tarsa_sdk_stop, tarsa_sdk_destroy, tarsa_sdk_get_pos};
    std::printf("converting %s -> %s\n", src.c_str(), dst.c_str());
    int rc = watch_job(job, ops, dst);
    if (rc == 0) std::printf("done: %s\n", dst.c_str());
    return rc;
}
