// The tool layer: one program installed next to the library as ffmpeg and as
// ffprobe. It runs the stock program of its own name as its child and gives
// the library what it relies on: a "PID =" first line, one line per status
// item, "-ppid" and the options the stock build lacks mapped to what it has.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "av_module.h"
#include "child.h"
#include "ffshim_args.h"
#include "host_watch.h"
#include "output.h"
#include "probe_report.h"
#include "tool_os.h"

namespace {

// Asking the FFmpeg libraries costs about as much as the stock program's
// whole start. The build knows whether the stock build it found lacks the
// encoder; "aac" serves any build, so only a "has" needs asking again.
bool stock_has_libfdk_aac(const std::string &program)
{
#ifdef FFSHIM_STOCK_LACKS_LIBFDK_AAC
    const char *dir = std::getenv("TARSASDK_FFMPEG_DIR");
    if (!dir || !*dir) return false;  // the stock programs the build looked at
#endif
    return ffshim::stock_has_encoder(program, "libfdk_aac") == 1;
}

// Containers whose H.264 and HEVC packets are length-prefixed as a rule,
// yet carry no sample entry that the probe report names: their packets
// decide, so the inspection starts alongside the stock program. Only a
// regular file is read here (a FIFO or device could block).
bool packets_likely_needed(const std::string &path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), ec)) return false;
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    unsigned char head[4] = {0, 0, 0, 0};
    if (!in.read(reinterpret_cast<char *>(head), sizeof head)) return false;
    const bool flv = head[0] == 'F' && head[1] == 'L' && head[2] == 'V';
    const bool matroska = head[0] == 0x1A && head[1] == 0x45 && head[2] == 0xDF && head[3] == 0xA3;
    return flv || matroska;
}

// The input file of a probe: the argument after the last "-i".
const std::string *input_of(const std::vector<std::string> &args)
{
    const std::string *input = nullptr;
    for (size_t i = 0; i + 1 < args.size(); i++)
        if (args[i] == "-i") input = &args[i + 1];
    return input;
}

}  // namespace

int ffshim::tool_main(const std::vector<std::string> &argv)
{
    prepare_process();
    // Before anything that can wait: probes, version queries, cuts and
    // merges carry no "-ppid", yet must end with their host all the same.
    watch_host();

    // The library kills the job by this pid; the child dies with the tool.
    say("PID = " + std::to_string(own_pid()));

    const std::string tool = tool_name(argv.empty() ? std::string() : argv[0]);
    if (tool != "ffmpeg" && tool != "ffprobe") {
        say("ffshim: started as \"" + tool + "\", but it runs only as ffmpeg or ffprobe");
        return kExitNotStarted;
    }
    const std::string program = stock_program(tool);
    if (is_this_program(program)) {
        say("ffshim: " + program + " is the tool layer itself, not the stock " + tool);
        return kExitNotStarted;
    }

    StockFeatures stock;
    std::vector<std::string> args(argv.begin() + 1, argv.end());
    // Only a line that names the encoder needs the answer.
    if (std::find(args.begin(), args.end(), "libfdk_aac") != args.end()) stock.has_libfdk_aac = stock_has_libfdk_aac(program);
    ArgPlan plan = plan_args(args, stock);
    for (const std::string &note : plan.notes) say(note);

    // As ffprobe, also tell whether the input's first video stream carries
    // length-prefixed NAL units ("header_info=0") or not ("header_info=1").
    // For the library's probe line ("-i FILE") the stock program's report
    // mostly tells; the packets are read (loading the FFmpeg libraries) only
    // where it cannot, alongside the stock program where that is likely.
    const std::string *input = tool == "ffprobe" ? input_of(plan.args) : nullptr;
    const bool report_only = input && plan.args.size() == 2;
    const bool early = input && (!report_only || packets_likely_needed(*input));
    int length_prefixed = -1;
    bool started = false;
    ProbeReport report;
    int status = run_stock(
        program, plan.args, plan.owner_pid,
        [&] {
            started = true;
            if (early) length_prefixed = input_is_length_prefixed(*input);
        },
        [&](const std::string &text) {
            if (report_only && !early) report.feed(text);
        });
    if (started && input && !early) {
        length_prefixed = report.length_prefixed();
        if (length_prefixed < 0) length_prefixed = input_is_length_prefixed(*input);
    }
    if (length_prefixed >= 0) say(std::string("header_info=") + (length_prefixed == 1 ? "0" : "1"));
    return status;
}
