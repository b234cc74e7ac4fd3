// The tool layer: one program installed next to the library as ffmpeg and as
// ffprobe. It runs the stock program of its own name as its child and gives
// the library what it relies on: a "PID =" first line, one line per status
// item, "-ppid" and the options the stock build lacks mapped to what it has.
#include <algorithm>
#include <string>
#include <vector>

#include "av_module.h"
#include "child.h"
#include "ffshim_args.h"
#include "host_watch.h"
#include "output.h"
#include "tool_os.h"

namespace {

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
    // Asking costs more than the rest of the tool layer's work; only a line
    // that names the encoder needs the answer.
    if (std::find(args.begin(), args.end(), "libfdk_aac") != args.end())
        stock.has_libfdk_aac = stock_has_encoder(program, "libfdk_aac") == 1;
    ArgPlan plan = plan_args(args, stock);
    for (const std::string &note : plan.notes) say(note);

    // As ffprobe, also tell whether the input's first video stream carries
    // length-prefixed NAL units ("header_info=0") or not ("header_info=1").
    // The file is inspected while the stock program runs.
    int length_prefixed = -1;
    const std::string *input = tool == "ffprobe" ? input_of(plan.args) : nullptr;
    int status = run_stock(program, plan.args, plan.owner_pid, [&] {
        if (input) length_prefixed = input_is_length_prefixed(*input);
    });
    if (length_prefixed >= 0) say(std::string("header_info=") + (length_prefixed == 1 ? "0" : "1"));
    return status;
}
