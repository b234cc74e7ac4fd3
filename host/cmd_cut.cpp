// tarsa cut: a time range of one source into a new file; exact (re-encoded)
// by default, at key frames with --copy.
#include <cstdio>

#include "commands.h"
#include "job_run.h"

namespace {

// The library takes whole seconds.
struct cut_seconds {
    int32_t start = 0, length = 0;
};
cut_seconds g_cut;

std::string seconds_text(long long ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", ms / 1000, ms % 1000);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s + " s";
}

bool prepare_cut(job_plan &plan, int *status)
{
    const job_options &o = plan.opts;
    *status = 2;
    if (o.length_ms < 0) {
        std::fprintf(stderr, "tarsa: cut needs --length TIME\n");
        return false;
    }
    *status = 1;
    g_cut.start = static_cast<int32_t>((o.start_ms + 500) / 1000);
    long long length = (o.length_ms + 500) / 1000;
    g_cut.length = static_cast<int32_t>(length < 1 ? 1 : length);
    const bool say = !o.quiet && !o.json;
    if (say && o.start_ms != g_cut.start * 1000LL)
        std::fprintf(stderr, "tarsa: --start %s rounded to %d s (the library takes whole seconds)\n",
                     seconds_text(o.start_ms).c_str(), g_cut.start);
    if (say && o.length_ms != g_cut.length * 1000LL)
        std::fprintf(stderr, "tarsa: --length %s rounded to %d s (the library takes whole seconds)\n",
                     seconds_text(o.length_ms).c_str(), g_cut.length);
    const int32_t duration = plan.probes[0].result.duration;
    if (duration > 0 && g_cut.start >= duration) {
        std::fprintf(stderr, "tarsa: --start %d s is past the end of %s (%d s long)\n", g_cut.start,
                     plan.sources[0].c_str(), duration);
        return false;
    }
    int32_t available = duration > 0 ? duration - g_cut.start : g_cut.length;
    plan.media_seconds = available < g_cut.length ? available : g_cut.length;
    if (say && o.copy)
        std::fprintf(stderr,
                     "tarsa: --copy cuts at key frames: the part begins at the key frame at or before %d s\n"
                     "       (the library does not report where that is)\n",
                     g_cut.start);
    return true;
}

void *create_cut(const job_plan &plan, const std::string &work_path)
{
    cut_param_v1 p = job_params(plan, &cut_param_v1::cut_param);
    p.cut_param.start_time = g_cut.start;
    p.cut_param.cut_length = g_cut.length;
    p.cut_param.force_encode = plan.opts.copy ? 0 : 1;
    return tarsa_sdk_cut_create_v1(plan.sources[0].c_str(), work_path.c_str(), &p);
}

}  // namespace

int cmd_cut(const arg_list &args)
{
    static const job_kind kind = {JOB_CUT,           "cut",          TARSA_EVENT_CUT_POS,   TARSA_EVENT_CUT_FAIL, 0,
                                  tarsa_sdk_cut_start, tarsa_sdk_cut_stop, tarsa_sdk_cut_destroy, prepare_cut,
                                  create_cut};
    return run_job_command(kind, args);
}
