// tarsasdk next to the stock FFmpeg programs, in one run, on media it
// generates itself (lavfi) in a temporary directory. Prints one table:
// median, min and max of each side, the ratio or difference, the goal and
// whether it is met. Exits non-zero only when it cannot run (no tools, no
// media); a missed goal is a figure, not a failure.
//
//   compare [--runs N] [--heavy-runs N]   (defaults 11 and 3)
//
// Rows:
//   probe TYPE        tarsa_sdk_probe_ex against "ffprobe -i FILE" (read to its end)
//   convert / cut     start to final event, minus the stock ffmpeg alone with the
//                     same arguments (the library's line after the tool layer's mapping)
//   16 concurrent     16 conversions started at once against 16 stock runs at once
//   merge 3 sources   start to final event against the same temporaries made by
//                     stock runs two at a time, then the same concatenation
//   silent job CPU    CPU of the thread that follows a silent tool, % of a core
//   exit to EOF       a tool's last act to the end of its output as the reader sees it
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/rtkit.h"
#include "ffshim_args.h"
#include "job/job.h"
#include "job/job_describe.h"
#include "job/job_records.h"
#include "job/merge_fmt.h"
#include "media/codec_compat.h"
#include "tarsasdk.h"
#include "tool/runner.h"

extern char **environ;

namespace {

using Args = std::vector<std::string>;

double now_s()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double thread_cpu_s()
{
    struct rusage ru;
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::string stock(const char *program)
{
    const char *dir = std::getenv("TARSASDK_FFMPEG_DIR");
    return std::string(dir && *dir ? dir : "/usr/bin") + "/" + program;
}

std::string own_dir()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return exe.substr(0, exe.rfind('/') + 1);
}

// Starts argv without a shell, its output into a pipe (read_output) or
// /dev/null. Child pid, or -1.
pid_t spawn(const Args &argv, int *out_fd)
{
    int fds[2] = {-1, -1};
    if (out_fd && pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out_fd) {
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out_fd) {
        close(fds[1]);
        if (rc != 0) close(fds[0]);
        else *out_fd = fds[0];
    }
    return rc == 0 ? pid : -1;
}

int wait_for(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs argv to its end, reading its output as a reader of it would. Exit status, or -1.
int run(const Args &argv, bool read_output)
{
    int fd = -1;
    pid_t pid = spawn(argv, read_output ? &fd : nullptr);
    if (pid < 0) return -1;
    if (read_output) {
        char chunk[4096];
        for (;;) {
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
        }
        close(fd);
    }
    return wait_for(pid);
}

// Several programs at once, `width` at a time, in order. True when all exit 0.
bool run_batch(const std::vector<Args> &lines, size_t width)
{
    bool ok = true;
    for (size_t first = 0; first < lines.size(); first += width) {
        std::vector<pid_t> pids;
        for (size_t i = first; i < std::min(lines.size(), first + width); i++) pids.push_back(spawn(lines[i], nullptr));
        for (pid_t pid : pids) ok = (pid > 0 && wait_for(pid) == 0) && ok;
    }
    return ok;
}

bool make_media(const std::string &path, int seconds, const Args &codec_args, bool video)
{
    const std::string len = std::to_string(seconds);
    Args argv = {stock("ffmpeg"), "-hide_banner", "-loglevel", "error", "-y"};
    if (video) argv.insert(argv.end(), {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=" + len});
    argv.insert(argv.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=" + len});
    argv.insert(argv.end(), codec_args.begin(), codec_args.end());
    argv.push_back(path);
    return run(argv, false) == 0;
}

// The stock ffmpeg's line for a tool line of the library: the tool layer's mapping applied.
Args stock_line(const Args &tool_line)
{
    if (tool_line.empty()) return {};
    ffshim::StockFeatures features;
    features.has_libfdk_aac = avcodec_find_encoder_by_name("libfdk_aac") != nullptr;
    ffshim::ArgPlan plan = ffshim::plan_args(Args(tool_line.begin() + 1, tool_line.end()), features);
    Args argv = {stock("ffmpeg")};
    argv.insert(argv.end(), plan.args.begin(), plan.args.end());
    return argv;
}

// ---- the end of jobs, as their final events tell it ----

struct Ends {
    std::mutex lock;
    std::condition_variable changed;
    std::map<void *, double> at;  // job -> time of its final event
    std::map<void *, bool> failed;
} g_ends;

int32_t on_event(void *job, uint32_t code, intptr_t, uint32_t p2, void *)
{
    const double t = now_s();
    const bool fail = code == TARSA_EVENT_CVT_FAIL || code == TARSA_EVENT_CUT_FAIL || code == TARSA_EVENT_MERGE_FAIL;
    const bool final = fail || ((code == TARSA_EVENT_CVT_POS || code == TARSA_EVENT_CUT_POS ||
                                 code == TARSA_EVENT_MERGE_POS) && p2 == 100);
    if (!final) return 0;
    std::lock_guard<std::mutex> guard(g_ends.lock);
    if (fail) g_ends.failed[job] = true;
    g_ends.at[job] = t;
    g_ends.changed.notify_all();
    return 0;
}

void expect_end(void *job)
{
    std::lock_guard<std::mutex> guard(g_ends.lock);
    g_ends.at.erase(job);
    g_ends.failed.erase(job);
}

// Waits for the final events of all jobs; the time of the last one, or -1
// when one failed.
double wait_ends(const std::vector<void *> &jobs)
{
    std::unique_lock<std::mutex> guard(g_ends.lock);
    double last = 0;
    bool any_failed = false;
    for (void *job : jobs) {
        g_ends.changed.wait(guard, [&] { return g_ends.at.count(job) != 0; });
        last = std::max(last, g_ends.at[job]);
        any_failed = any_failed || g_ends.failed.count(job) != 0;
    }
    return any_failed ? -1 : last;
}

// ---- figures and the table ----

struct Stats {
    double median = 0, min = 0, max = 0;
    size_t n = 0;
};

Stats stats(std::vector<double> v)
{
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.n = v.size();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.min = v.front();
    s.max = v.back();
    return s;
}

enum class Judge { ratio, difference, value, none };

struct Row {
    std::string name, unit;
    Stats lib, stock;
    Judge judge;
    double goal;
    bool strict;  // the goal is "<" rather than "<="
    std::string note;
};

std::vector<Row> g_rows;

void add_row(const std::string &name, const std::string &unit, const std::vector<double> &lib,
             const std::vector<double> &plain, Judge judge, double goal, bool strict = false)
{
    g_rows.push_back({name, unit, stats(lib), stats(plain), judge, goal, strict, ""});
    const Row &r = g_rows.back();
    std::fprintf(stderr, "  %-26s done (%zu runs)\n", name.c_str(), r.lib.n);
}

void add_failure(const std::string &name, const std::string &why)
{
    Row r{name, "", {}, {}, Judge::value, 0, false, why};
    g_rows.push_back(r);
    std::fprintf(stderr, "  %-26s %s\n", name.c_str(), why.c_str());
}

void print_table()
{
    std::printf("%-26s %-5s | %9s %9s %9s | %9s %9s %9s | %9s %-10s %s\n", "row", "unit", "tarsasdk", "min", "max",
                "stock", "min", "max", "result", "goal", "met");
    std::printf("%s\n", std::string(133, '-').c_str());
    for (const Row &r : g_rows) {
        if (!r.note.empty()) {
            std::printf("%-26s %s\n", r.name.c_str(), r.note.c_str());
            continue;
        }
        char stock_cols[64] = "        -         -         -";
        if (r.stock.n) std::snprintf(stock_cols, sizeof stock_cols, "%9.3f %9.3f %9.3f", r.stock.median, r.stock.min,
                                     r.stock.max);
        double result = r.lib.median;
        char goal[32];
        const char *op = r.strict ? "<" : "<=";
        if (r.judge == Judge::ratio) {
            result = r.stock.median > 0 ? r.lib.median / r.stock.median : 0;
            std::snprintf(goal, sizeof goal, "%s %.2fx", op, r.goal);
        } else if (r.judge == Judge::difference) {
            result = r.lib.median - r.stock.median;
            std::snprintf(goal, sizeof goal, "%s +%.2f", op, r.goal);
        } else {
            std::snprintf(goal, sizeof goal, "%s %g", op, r.goal);
        }
        if (r.judge == Judge::none) {
            result = r.stock.median > 0 ? r.lib.median / r.stock.median : r.lib.median;
            std::snprintf(goal, sizeof goal, "(part)");
        }
        const bool met = r.strict ? result < r.goal : result <= r.goal;
        std::printf("%-26s %-5s | %9.3f %9.3f %9.3f | %s | %9.3f %-10s %s\n", r.name.c_str(), r.unit.c_str(),
                    r.lib.median, r.lib.min, r.lib.max, stock_cols, result, goal,
                    r.judge == Judge::none ? "" : met ? "yes" : "NO");
    }
}

// ---- rows ----

struct Sample {
    const char *name;
    std::string path;
};

void probe_rows(const std::vector<Sample> &samples, int runs)
{
    for (const Sample &s : samples) {
        std::vector<double> lib, plain;
        bool ok = true;
        for (int i = 0; i <= runs && ok; i++) {  // run 0 warms the caches and is not counted
            probe_result r;
            std::memset(&r, 0, sizeof r);
            double t0 = now_s();
            ok = tarsa_sdk_probe_ex(s.path.c_str(), &r) == 1;
            double t1 = now_s();
            ok = run({stock("ffprobe"), "-i", s.path}, true) == 0 && ok;
            double t2 = now_s();
            if (i == 0) continue;
            lib.push_back((t1 - t0) * 1e3);
            plain.push_back((t2 - t1) * 1e3);
        }
        if (ok) add_row(std::string("probe ") + s.name, "ms", lib, plain, Judge::ratio, 1.10);
        else add_failure(std::string("probe ") + s.name, "a probe failed");
    }
}

void *create_convert(const std::string &src, const std::string &dst, cvt_param param)
{
    cvt_param_v1 v1;
    std::memset(&v1, 0, sizeof v1);
    v1.cvt_param = param;
    v1.usage_mode = HWD_USAGE_NONE;
    v1.hwd_type = -1;
    void *h = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &v1);
    return h == TARSA_INVALID_HANDLE ? nullptr : h;
}

Args convert_stock_line(void *handle)
{
    cvt_info *job = static_cast<cvt_info *>(handle);
    if (!choose_job_codecs(job->result, TARSA_JOB_CONVERT, job->cvt_param.dst_file_type, job->cvt_param.width,
                           job->cvt_param.height, job->opt_param, &job->dst_codec_info))
        return {};
    return stock_line(cvt_job_cmd(*job));
}

// One conversion or cut at a time: the stock line alone, then the job from
// its start to its final event. Seconds of each.
// The destination probe that every job's end includes, timed on its own
// afterwards, next to the stock ffprobe on the same file (milliseconds).
std::vector<double> g_end_probe, g_end_probe_stock;

bool single_job(bool cut, const std::string &src, const std::string &dst, double *lib_s, double *stock_s)
{
    void *h = nullptr;
    Args argv;
    if (cut) {
        cut_param_v1 p;
        std::memset(&p, 0, sizeof p);
        p.cut_param = {3, 0, 0, 2, 4, 0, 1, 23};  // MP4, 4 s from 2 s, copied where possible
        p.usage_mode = HWD_USAGE_NONE;
        p.hwd_type = -1;
        h = tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &p);
        if (h == TARSA_INVALID_HANDLE) return false;
        cut_info *job = static_cast<cut_info *>(h);
        if (choose_job_codecs(job->result, TARSA_JOB_CUT, job->cut_param.dst_file_type, job->cut_param.width,
                              job->cut_param.height, job->opt_param, &job->dst_codec_info))
            argv = stock_line(cut_job_cmd(*job));
    } else {
        h = create_convert(src, dst, {7, 0, 0, 1, 23});  // MPEG-TS (from the name) from MP4: the video copied
        if (!h) return false;
        argv = convert_stock_line(h);
    }
    auto destroy = [&] { cut ? tarsa_sdk_cut_destroy(h) : tarsa_sdk_destroy(h); };
    std::filesystem::remove(dst);
    double t0 = now_s();
    bool ok = !argv.empty() && run(argv, false) == 0;
    *stock_s = now_s() - t0;
    std::filesystem::remove(dst);
    expect_end(h);
    t0 = now_s();
    ok = ok && (cut ? tarsa_sdk_cut_start(h) : tarsa_sdk_start(h)) == 1;
    double end = ok ? wait_ends({h}) : -1;
    *lib_s = end - t0;
    cut ? tarsa_sdk_cut_stop(h) : tarsa_sdk_stop(h);
    destroy();
    if (!cut && ok) {
        t0 = now_s();
        ok = tarsa_sdk_probe(dst.c_str()) == 1;
        const double t1 = now_s();
        ok = run({stock("ffprobe"), "-i", dst}, true) == 0 && ok;
        g_end_probe.push_back((t1 - t0) * 1e3);
        g_end_probe_stock.push_back((now_s() - t1) * 1e3);
    }
    std::filesystem::remove(dst);
    return ok && end > 0;
}

void single_rows(const std::string &src, const std::string &dir, int runs)
{
    for (bool cut : {false, true}) {
        const std::string name = cut ? "cut overhead (copy)" : "convert overhead (copy)";
        std::vector<double> lib, plain;
        bool ok = true;
        for (int i = 0; i <= runs && ok; i++) {
            double l = 0, s = 0;
            ok = single_job(cut, src, dir + (cut ? "/cut.mp4" : "/copy.ts"), &l, &s);
            if (i == 0) continue;
            lib.push_back(l);
            plain.push_back(s);
        }
        if (ok) add_row(name, "s", lib, plain, Judge::difference, 0.12);
        else add_failure(name, "a job or its stock run failed");
        if (ok && !cut) {  // less the warm-up run
            add_row("  of it: end-of-job probe", "ms", std::vector<double>(g_end_probe.begin() + 1, g_end_probe.end()),
                    std::vector<double>(g_end_probe_stock.begin() + 1, g_end_probe_stock.end()), Judge::none, 0);
        }
    }
}

void concurrent_row(const std::string &src, const std::string &dir, int runs, int count)
{
    const std::string name = std::to_string(count) + " concurrent converts";
    std::vector<double> lib, plain;
    bool ok = true;
    for (int r = 0; r < runs && ok; r++) {
        std::vector<void *> jobs;
        std::vector<Args> lines;
        for (int i = 0; i < count && ok; i++) {
            // MP4 at 160x120: both streams encoded.
            void *h = create_convert(src, dir + "/many-" + std::to_string(i) + ".mp4", {3, 160, 120, 1, 23});
            ok = h != nullptr;
            if (!ok) break;
            jobs.push_back(h);
            lines.push_back(convert_stock_line(h));
            ok = !lines.back().empty();
        }
        double t0 = now_s();
        ok = ok && run_batch(lines, lines.size());
        plain.push_back(now_s() - t0);
        for (void *h : jobs) expect_end(h);
        t0 = now_s();
        for (void *h : jobs) ok = ok && tarsa_sdk_start(h) == 1;
        double end = ok ? wait_ends(jobs) : -1;
        lib.push_back(end - t0);
        ok = ok && end > 0;
        for (void *h : jobs) {
            tarsa_sdk_stop(h);
            tarsa_sdk_destroy(h);
        }
    }
    for (int i = 0; i < count; i++) std::filesystem::remove(dir + "/many-" + std::to_string(i) + ".mp4");
    if (ok) add_row(name, "s", lib, plain, Judge::ratio, 1.4);
    else add_failure(name, "a job or a stock run failed");
}

void merge_row(const std::vector<std::string> &sources, const std::string &dir, int runs)
{
    const std::string name = std::to_string(sources.size()) + "-source merge";
    const std::string dst = dir + "/merged.mp4";
    std::vector<double> lib, plain;
    bool ok = true;
    for (int r = 0; r < runs && ok; r++) {
        merge_param_v1 p;
        std::memset(&p, 0, sizeof p);
        p.merge_param = {3, 0, 0, 1, 23};
        p.usage_mode = HWD_USAGE_NONE;
        p.hwd_type = -1;
        void *h = tarsa_sdk_merge_create_v1(dst.c_str(), &p);
        ok = h != TARSA_INVALID_HANDLE;
        if (!ok) break;
        for (const std::string &s : sources) ok = ok && tarsa_sdk_merge_add_file(h, s.c_str()) == 1;
        // The lines the worker will run: the same destination choice as a start makes.
        merge_info *info = static_cast<merge_info *>(h);
        std::vector<Args> tmp_lines;
        Args concat;
        std::vector<std::string> tmp_files;
        if (ok) {
            ok = get_dst_file_codec_id(get_merge_f_fmt_id(info->ls_src_file), get_merge_a_fmt_id(info->ls_src_file),
                                       get_merge_v_fmt_id(info->ls_src_file), TARSA_JOB_MERGE, 3, 0, 0,
                                       info->opt_param, &info->dst_codec_info) != 0;
            adt_dlist_lock(info->ls_src_file);
            for (adt_dlist_node *n = adt_dlist_head(info->ls_src_file); n; n = adt_dlist_next(n)) {
                const file_info &f = **static_cast<file_info **>(adt_dlist_getdata(n));
                tmp_lines.push_back(stock_line(merge_tmp_job_cmd(*info, f)));
                tmp_files.push_back(f.dst_file);
            }
            adt_dlist_unlock(info->ls_src_file);
            concat = stock_line(merge_concat_job_cmd(*info, info->ls_src_file));
        }
        std::filesystem::remove(dst);
        double t0 = now_s();
        ok = ok && run_batch(tmp_lines, 2) && run(concat, false) == 0;
        plain.push_back(now_s() - t0);
        for (const std::string &f : tmp_files) std::filesystem::remove(f);
        std::filesystem::remove(dst);
        expect_end(h);
        t0 = now_s();
        ok = ok && tarsa_sdk_merge_start(h) == 1;
        double end = ok ? wait_ends({h}) : -1;
        lib.push_back(end - t0);
        ok = ok && end > 0;
        tarsa_sdk_merge_stop(h);
        tarsa_sdk_merge_destroy(h);
        std::filesystem::remove(dst);
    }
    if (ok) add_row(name, "s", lib, plain, Judge::ratio, 1.15);
    else add_failure(name, "the merge or a stock run failed");
}

// The reading thread's CPU while the tool prints nothing, as a job's monitor reads.
void silent_row(int seconds, int runs)
{
    const std::string tool = own_dir() + "fake_tool";
    std::vector<double> share;
    for (int r = 0; r < runs; r++) {
        pipe_info *fp = pipe_popen({tool, "--run", "sleep " + std::to_string(seconds * 1000)}, "r");
        if (!fp) {
            add_failure("silent job CPU", "cannot start " + tool);
            return;
        }
        char line[4096];
        double wall0 = now_s(), cpu0 = thread_cpu_s();
        while (pipe_feof(fp) == 0 && pipe_fgets(line, sizeof line, fp)) {
        }
        share.push_back(100.0 * (thread_cpu_s() - cpu0) / (now_s() - wall0));
        pipe_pclose(fp);
    }
    add_row("silent job CPU", "%core", share, {}, Judge::value, 0.5, true);
}

// From the tool's last line, printed just before it exits, to the reader's
// end of output (so the tool's own exit is included).
// Runs `argv` (a program printing "last" and then exiting) `runs` times;
// the milliseconds from reading "last" to the runner's end of output.
std::vector<double> last_line_to_end(const std::vector<std::string> &argv, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; i++) {
        pipe_info *fp = pipe_popen(argv, "r");
        if (!fp) break;
        char line[4096];
        bool last = false;
        while (!last && pipe_fgets(line, sizeof line, fp)) last = std::strcmp(line, "last\n") == 0;
        const double t0 = now_s();
        char *end = pipe_fgets(line, sizeof line, fp);
        if (last && !end && pipe_feof(fp) == 1) ms.push_back((now_s() - t0) * 1e3);
        pipe_pclose(fp);
    }
    return ms;
}

void exit_row(int runs)
{
    const std::string tool = own_dir() + "fake_tool";
    for (int code : {0, 1}) {
        const std::vector<double> ms =
            last_line_to_end({tool, "--run", "sleep 20", "print last", "exit " + std::to_string(code)}, runs);
        const std::string name = "exit " + std::to_string(code) + " to end of output";
        if (ms.empty()) add_failure(name, "cannot run " + tool);
        else add_row(name, "ms", ms, {}, Judge::value, 20, true);
    }
}

// The same through the tool layer: the stock program's last line to the
// library's end of output, the tool layer's own exit included.
void tool_layer_exit_row(const std::string &dir, int runs)
{
    const std::string stock_dir = dir + "/fake-stock";
    std::filesystem::create_directory(stock_dir);
    std::error_code ec;
    std::filesystem::create_symlink(own_dir() + "fake_tool", stock_dir + "/ffmpeg", ec);
    const char *old = std::getenv("TARSASDK_FFMPEG_DIR");
    const std::string saved = old ? old : "";
    setenv("TARSASDK_FFMPEG_DIR", stock_dir.c_str(), 1);
    const std::vector<double> ms =
        ec ? std::vector<double>() : last_line_to_end({own_dir() + "ffmpeg", "--run", "sleep 20", "print last", "exit 0"}, runs);
    if (old) setenv("TARSASDK_FFMPEG_DIR", saved.c_str(), 1);
    else unsetenv("TARSASDK_FFMPEG_DIR");
    if (ms.empty()) add_failure("exit 0, via tool layer", "cannot run the tool layer over " + stock_dir);
    else add_row("exit 0, via tool layer", "ms", ms, {}, Judge::value, 20, true);
}

double load_average()
{
    double l = -1;
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &l) != 1) l = -1;
        std::fclose(f);
    }
    return l;
}

}  // namespace

int main(int argc, char **argv)
{
    int runs = 11, heavy_runs = 3;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 < argc && std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
        else if (i + 1 < argc && std::strcmp(argv[i], "--heavy-runs") == 0) heavy_runs = std::max(1, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: compare [--runs N] [--heavy-runs N]   (defaults 11 and 3)\n");
            return 2;
        }
    }
    setenv("TARSASDK_LOG", "off", 0);  // probe dumps and tool lines would weigh on the figures
    char tmpl[] = "/tmp/tarsa-compare-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("compare: mkdtemp");
        return 2;
    }
    const std::string dir = tmpl;
    const Args x264 = {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-g", "25"};
    auto with = [](Args a, const Args &more) {
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    const std::vector<Sample> samples = {{"mp4", dir + "/a.mp4"},   {"ts", dir + "/a.ts"}, {"raw h264", dir + "/a.h264"},
                                         {"avi", dir + "/a.avi"},   {"mp3", dir + "/a.mp3"}};
    const std::string src = dir + "/src.mp4";
    bool made = make_media(samples[0].path, 3, with(x264, {"-c:a", "aac"}), true) &&
                make_media(samples[1].path, 3, with(x264, {"-c:a", "aac", "-f", "mpegts"}), true) &&
                make_media(samples[2].path, 3, with(x264, {"-an", "-f", "h264"}), true) &&
                make_media(samples[3].path, 3, {"-c:v", "mpeg4", "-c:a", "libmp3lame"}, true) &&
                make_media(samples[4].path, 3, {"-c:a", "libmp3lame"}, false) &&
                make_media(src, 10, with(x264, {"-profile:v", "high", "-c:a", "aac"}), true);
    if (!made) {
        std::fprintf(stderr, "compare: could not generate the media with %s\n", stock("ffmpeg").c_str());
        std::filesystem::remove_all(dir);
        return 2;
    }
    if (tarsa_sdk_startup() != 1) {
        std::fprintf(stderr, "compare: the library did not start\n");
        std::filesystem::remove_all(dir);
        return 2;
    }
    tarsa_sdk_set_mess_callback(on_event, nullptr);
    tarsa_sdk_merge_set_tmp_path((dir + "/").c_str());
    const double load0 = load_average();
    const double t0 = now_s();
    std::fprintf(stderr, "compare: %d runs per row (%d for the heavy rows) in %s\n", runs, heavy_runs, dir.c_str());
    probe_rows(samples, runs);
    single_rows(src, dir, runs);
    concurrent_row(src, dir, heavy_runs, 16);
    merge_row({src, samples[0].path, src}, dir, heavy_runs);
    silent_row(2, 3);
    exit_row(runs * 2);
    tool_layer_exit_row(dir, runs * 2);
    tarsa_sdk_set_mess_callback(nullptr, nullptr);
    tarsa_sdk_cleanup();

    std::printf("tarsasdk next to the stock FFmpeg programs (%s); %ld cores, load average %.2f at the start, "
                "%.2f at the end, %.0f s\n",
                stock("ffmpeg").c_str(), sysconf(_SC_NPROCESSORS_ONLN), load0, load_average(), now_s() - t0);
    std::printf("probes and single jobs: %d runs each after one warm-up; concurrent and merge: %d runs; "
                "sources 3 s (probes) and 10 s (jobs), 320x240 H.264 + AAC\n\n",
                runs, heavy_runs);
    print_table();
    std::filesystem::remove_all(dir);
    return 0;
}
