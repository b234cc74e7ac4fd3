// tarsa cut: write a time range of a media file into a new file.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "job_watch.h"
#include "tarsasdk.h"

namespace {

struct cut_options {
    cut_param_v1 param;
    bool faststart = true;
};

bool parse_cut(const arg_list &args, std::string *src, std::string *dst, cut_options *o)
{
    std::memset(&o->param, 0, sizeof o->param);
    o->param.cut_param.audio_enable = 1;
    o->param.cut_param.quality = 5;
    o->param.usage_mode = HWD_USAGE_AUTO;
    o->param.hwd_type = -1;
    bool type_given = false;
    bool length_given = false;
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
        cut_param &p = o->param.cut_param;
        if (a == "--start") {
            if (!value(&v) || !parse_int(a, v, 0, 24L * 3600 * 365, &p.start_time)) return false;
        } else if (a == "--length") {
            if (!value(&v) || !parse_int(a, v, 1, 24L * 3600 * 365, &p.cut_length)) return false;
            length_given = true;
        } else if (a == "--type") {
            if (!value(&v) || !parse_int(a, v, 0, 255, &p.dst_file_type)) return false;
            type_given = true;
        } else if (a == "--size") {
            if (!value(&v) || !parse_size(v, &p.width, &p.height)) return false;
        } else if (a == "--quality") {
            if (!value(&v) || !parse_int(a, v, 0, 51, &p.quality)) return false;
        } else if (a == "--no-audio") {
            p.audio_enable = 0;
        } else if (a == "--encode") {
            p.force_encode = 1;
        } else if (a == "--no-faststart") {
            o->faststart = false;
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "tarsa: unknown option %s\n", a.c_str());
            return false;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return false;
    if (!length_given) {
        std::fprintf(stderr, "tarsa: cut needs --length SECONDS\n");
        return false;
    }
    *src = absolute_path(files[0]);
    *dst = absolute_path(files[1]);
    if (!type_given) o->param.cut_param.dst_file_type = file_type_for(*dst);
    return true;
}

}  // namespace

int cmd_cut(const arg_list &args)
{
    std::string src, dst;
    cut_options o;
    if (!parse_cut(args, &src, &dst, &o)) return 2;
    void *job = tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &o.param);
    if (job == TARSA_INVALID_HANDLE) {
        std::fprintf(stderr, "tarsa: cannot cut %s: it is not a readable media file, or a name is not usable\n",
                     src.c_str());
        return 1;
    }
    if (!o.faststart) {
        int32_t off = 0;
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &off, sizeof off);
    }
    job_kind_ops ops = {"cut", TARSA_EVENT_CUT_POS, TARSA_EVENT_CUT_FAIL, 0,
                        tarsa_sdk_cut_start, tarsa_sdk_cut_stop, tarsa_sdk_cut_destroy, tarsa_sdk_cut_get_pos};
    std::printf("cutting %s from %d s for %d s -> %s\n", src.c_str(), o.param.cut_param.start_time,
                o.param.cut_param.cut_length, dst.c_str());
    int rc = watch_job(job, ops, dst);
    if (rc == 0) std::printf("done: %s\n", dst.c_str());
    return rc;
}
