// tarsa merge: joins sources, in the order given, into one destination.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "job_watch.h"
#include "tarsasdk.h"

namespace {

struct merge_options {
    merge_param_v1 param;
    std::string tmp_dir;
};

// First file: the destination; the others: the sources.
bool parse_merge(const arg_list &args, arg_list *files, merge_options *o)
{
    std::memset(&o->param, 0, sizeof o->param);
    o->param.merge_param.audio_enable = 1;
    o->param.merge_param.quality = 5;
    o->param.usage_mode = HWD_USAGE_AUTO;
    o->param.hwd_type = -1;
    bool type_given = false;
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
        int32_t number = 0;
        if (a == "--no-audio") {
            o->param.merge_param.audio_enable = 0;
        } else if (a == "--type") {
            if (!value(&v) || !parse_int(a, v, 0, 255, &number)) return false;
            o->param.merge_param.dst_file_type = static_cast<uint32_t>(number);
            type_given = true;
        } else if (a == "--size") {
            if (!value(&v) || !parse_size(v, &o->param.merge_param.width, &o->param.merge_param.height)) return false;
        } else if (a == "--quality") {
            if (!value(&v) || !parse_int(a, v, 0, 51, &o->param.merge_param.quality)) return false;
        } else if (a == "--tmp") {
            if (!value(&o->tmp_dir)) return false;
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "tarsa: unknown option %s\n", a.c_str());
            return false;
        } else {
            files->push_back(a);
        }
    }
    if (files->size() < 3) return false;
    if (!type_given) o->param.merge_param.dst_file_type = static_cast<uint32_t>(file_type_for((*files)[0]));
    return true;
}

}  // namespace

int cmd_merge(const arg_list &args)
{
    arg_list files;
    merge_options o;
    if (!parse_merge(args, &files, &o)) return 2;
    for (std::string &f : files) f = absolute_path(f);
    if (!o.tmp_dir.empty()) o.tmp_dir = absolute_path(o.tmp_dir);
    const std::string &dst = files[0];
    // The library-wide directory must be set before sources are added.
    if (!o.tmp_dir.empty() && !tarsa_sdk_merge_set_tmp_path(o.tmp_dir.c_str())) {
        std::fprintf(stderr, "tarsa: cannot use %s for temporary files\n", o.tmp_dir.c_str());
        return 1;
    }
    void *job = tarsa_sdk_merge_create_v1(dst.c_str(), &o.param);
    if (job == TARSA_INVALID_HANDLE) {
        std::fprintf(stderr, "tarsa: cannot merge into %s: the name is not usable\n", dst.c_str());
        return 1;
    }
    for (size_t i = 1; i < files.size(); i++) {
        if (!tarsa_sdk_merge_add_file(job, files[i].c_str())) {
            std::fprintf(stderr, "tarsa: cannot merge %s: it is not a readable media file, or a name is not usable\n",
                         files[i].c_str());
            tarsa_sdk_merge_destroy(job);
            return 1;
        }
    }
    watch_set_source_count(static_cast<int>(files.size() - 1));
    job_kind_ops ops = {"merge", TARSA_EVENT_MERGE_POS, TARSA_EVENT_MERGE_FAIL, TARSA_EVENT_MERGE_SRC_FAIL,
                        tarsa_sdk_merge_start, tarsa_sdk_merge_stop, tarsa_sdk_merge_destroy,
                        tarsa_sdk_merge_get_pos};
    std::printf("merging %zu files -> %s\n", files.size() - 1, dst.c_str());
    int rc = watch_job(job, ops, dst);
    if (rc == 0) std::printf("done: %s\n", dst.c_str());
    return rc;
}
