#include "job_run.h"

#include <string.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "cli_args.h"
#include "file_checks.h"
#include "host_os.h"
#include "progress.h"
#include "run_log.h"

namespace {

// What the job's events said; written on the library's threads.
struct event_state {
    const job_kind *kind = nullptr;
    bool strict = false;
    int source_count = 0;
    std::atomic<int> pos{0};
    std::atomic<bool> failed{false}, finished{false};
    std::mutex mutex;
    std::vector<std::string> dropped;  // sources reported by event 301, not yet printed
    int dropped_total = 0;
};

event_state g_events;

int32_t on_event(void * /*job*/, uint32_t code, intptr_t p1, uint32_t p2, void *user)
{
    auto *s = static_cast<event_state *>(user);
    if (code == s->kind->pos_event) {
        s->pos.store(static_cast<int>(p2));
        if (p2 >= 100) s->finished.store(true);
    } else if (code == s->kind->fail_event) {
        s->failed.store(true);
        // A conversion still reports its end (100) after its failure event.
        if (code != TARSA_EVENT_CVT_FAIL) s->finished.store(true);
    } else if (s->kind->source_fail_event != 0 && code == s->kind->source_fail_event) {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->dropped.emplace_back(p1 ? std::string(reinterpret_cast<const char *>(p1), p2) : std::string("?"));
        // Strict, or nothing left to join: abort the merge.
        if (s->strict || ++s->dropped_total >= s->source_count) {
            s->failed.store(true);
            s->finished.store(true);
            return -1;
        }
    }
    return 0;
}

int video_codec_id(const char *probe_name)
{
    static const char *const names[] = {"mpeg2video", "h264", "h264 (Baseline)", "h264 (High)",
                                        "h264 (Main)", "mpeg4", "hevc"};
    for (int i = 0; i < 7; i++)
        if (strcmp(probe_name, names[i]) == 0) return i;
    return -1;
}

void report_dropped(const job_options &o)
{
    std::lock_guard<std::mutex> lock(g_events.mutex);
    for (const std::string &name : g_events.dropped) {
        if (o.json) std::printf("{\"event\":\"dropped\",\"source\":%s}\n", json_string(name).c_str());
        std::fprintf(stderr, "tarsa: dropped %s: it could not be transcoded%s\n", name.c_str(),
                     o.strict ? " (--strict: stopping)" : "");
    }
    g_events.dropped.clear();
}

// Which source a job writes from, for messages.
std::string sources_text(const job_plan &plan)
{
    if (plan.sources.size() == 1) return plan.sources[0];
    return std::to_string(plan.sources.size()) + " files";
}

void set_job_options(void *job, const job_plan &plan)
{
    const job_options &o = plan.opts;
    int32_t one = 1;
    // The tool ends with this program even if it is killed outright.
    tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_IAUTO, &one, sizeof one);
    int32_t vcodec = o.vcodec;
    // A container picked by the name: copy what the type's rows allow,
    // encode to H.264 otherwise (not to the type's default).
    if (vcodec < 0 && plan.type == TYPE_BY_NAME && !plan.probes.empty()) {
        int source_codec = video_codec_id(plan.probes[0].result.v_fmt);
        if (source_codec < 0 || !tarsa_sdk_get_vcodec_id_compatible(plan.type, source_codec)) vcodec = V_FMT_H264;
    }
    if (vcodec >= 0) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_V_CODEC_ID, &vcodec, sizeof vcodec);
    if (o.acodec >= 0) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_A_CODEC_ID, &o.acodec, sizeof o.acodec);
    if (o.threads >= 0) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_THREAD_NUM, &o.threads, sizeof o.threads);
    if (!o.preset.empty())
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_PRESET, o.preset.c_str(),
                                   static_cast<int32_t>(o.preset.size() + 1));
    if (!o.faststart) {
        int32_t off = 0;
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &off, sizeof off);
    }
    if (!o.watermark.empty()) {
        ot_ex mark;
        memset(&mark, 0, sizeof mark);
        mark.row_num = o.grid_rows;
        mark.col_num = o.grid_cols;
        mark.font_size = 24;
        mark.transparency = 30;
        snprintf(mark.font_color, sizeof mark.font_color, "%s", "white");
        snprintf(mark.text, sizeof mark.text, "%s", o.watermark.c_str());
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_OT, &mark, sizeof mark);
    }
}

// Runs the started job until it ends or a stop signal comes. 0 done, 1
// failed, 128 + signal stopped.
int follow(void *job, const job_kind &kind, const job_plan &plan)
{
    progress_view view(progress_view::pick(plan.opts.json, plan.opts.quiet), plan.media_seconds);
    const auto started = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    while (!stop_signal() && !g_events.finished.load()) {
        view.update(g_events.pos.load(), elapsed());
        if (kind.source_fail_event) {
            view.end_line();
            report_dropped(plan.opts);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!stop_signal() && !g_events.failed.load()) view.update(100, elapsed());
    view.end_line();
    // The library's stop kills the tool and joins the job's threads.
    kind.stop(job);
    report_dropped(plan.opts);
    if (stop_signal()) return 128 + stop_signal();
    return g_events.failed.load() ? 1 : 0;
}

void print_failure(const job_kind &kind, const job_plan &plan, const std::string &work_path, const std::string &why)
{
    std::fprintf(stderr, "tarsa: the %s of %s failed%s\n", kind.what, sources_text(plan).c_str(), why.c_str());
    for (std::string line : tool_error_lines(4)) {
        // The tool speaks of the work file; the user knows the destination.
        for (size_t at; !work_path.empty() && (at = line.find(work_path)) != std::string::npos;)
            line.replace(at, work_path.size(), plan.dst);
        std::fprintf(stderr, "  tool: %s\n", line.c_str());
    }
    if (plan.opts.json) std::printf("{\"event\":\"failed\",\"destination\":%s}\n", json_string(plan.dst).c_str());
}

}  // namespace

int run_job_command(const job_kind &kind, const arg_list &args)
{
    job_plan plan;
    int rc = parse_job_options(kind.command, args, &plan.opts);
    if (rc != 0) return rc;
    std::vector<std::string> files = plan.opts.files;
    for (std::string &f : files) f = absolute_path(f);
    if (kind.command == JOB_MERGE) {
        if (files.size() < 3) return 2;
        plan.dst = files[0];
        plan.sources.assign(files.begin() + 1, files.end());
    } else {
        if (files.size() != 2) return 2;
        plan.sources = {files[0]};
        plan.dst = files[1];
    }
    const int32_t by_name = type_for_destination(plan.dst);
    if (by_name < 0) {
        std::fprintf(stderr, "tarsa: cannot make %s: supported destinations are %s\n", plan.dst.c_str(),
                     supported_extensions());
        return 1;
    }
    plan.type = plan.opts.type >= 0 ? plan.opts.type : by_name;
    plan.usage_mode = plan.opts.software_only ? HWD_USAGE_NONE : HWD_USAGE_AUTO;
    for (const std::string &src : plan.sources) {
        plan.probes.emplace_back();
        if (!check_source(src, &plan.probes.back())) return 1;
        plan.media_seconds += plan.probes.back().result.duration;
    }
    int status = 1;
    if (kind.prepare && !kind.prepare(plan, &status)) return status;
    destination dst;
    dst.path = plan.dst;
    dst.overwrite = plan.opts.overwrite;
    if (!dst.claim(plan.sources)) return 1;
    if (stop_signal()) {
        std::fprintf(stderr, "tarsa: stopped by %s before the %s began\n", host_stop_name(stop_signal()), kind.what);
        return 128 + stop_signal();
    }
    run_log_worth_showing();
    void *job = kind.create(plan, dst.work_path);
    if (job == TARSA_INVALID_HANDLE) {
        std::fprintf(stderr, "tarsa: the library refused the %s of %s (see the log)\n", kind.what,
                     sources_text(plan).c_str());
        return 1;
    }
    set_job_options(job, plan);
    // One process may run several jobs (the demo does): start from a clean slate.
    g_events.kind = &kind;
    g_events.pos.store(0);
    g_events.failed.store(false);
    g_events.finished.store(false);
    g_events.dropped.clear();
    g_events.dropped_total = 0;
    g_events.strict = plan.opts.strict;
    g_events.source_count = static_cast<int>(plan.sources.size());
    tarsa_sdk_set_mess_callback(on_event, &g_events);
    const bool chatty = !plan.opts.quiet && !plan.opts.json;
    if (chatty) std::printf("%s: %s -> %s\n", kind.what, sources_text(plan).c_str(), plan.dst.c_str());
    std::fflush(stdout);
    const auto started = std::chrono::steady_clock::now();
    if (!kind.start(job)) {
        print_failure(kind, plan, dst.work_path, ": it could not be started");
        rc = 1;
    } else {
        rc = follow(job, kind, plan);
    }
    kind.destroy(job);
    tarsa_sdk_set_mess_callback(nullptr, nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (rc > 128) {
        std::fprintf(stderr, "tarsa: %s stopped by %s; %s was not written\n", kind.what, host_stop_name(rc - 128),
                     plan.dst.c_str());
        if (plan.opts.json) std::printf("{\"event\":\"stopped\",\"signal\":\"%s\"}\n", host_stop_name(rc - 128));
        return rc;
    }
    if (rc == 0 && !tarsa_sdk_probe(dst.work_path.c_str())) {
        print_failure(kind, plan, dst.work_path, ": the tool's output is not a readable media file");
        return 1;
    }
    if (rc != 0) {
        print_failure(kind, plan, dst.work_path, "");
        return 1;
    }
    if (!dst.commit()) return 1;
    if (plan.opts.json)
        std::printf("{\"event\":\"done\",\"destination\":%s,\"type\":%d,\"seconds\":%.1f}\n",
                    json_string(plan.dst).c_str(), plan.type, seconds);
    else if (!plan.opts.quiet)
        std::printf("done: %s (%s)\n", plan.dst.c_str(), clock_text(seconds).c_str());
    return 0;
}
