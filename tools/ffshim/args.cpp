// The argument rules of the tool layer: from what the library passes to
// what the stock program takes.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "ffshim_args.h"

namespace ffshim {
namespace {

// A positive process id written in decimal, or 0.
pid_t parse_pid(const std::string &text)
{
    if (text.empty() || text[0] < '0' || text[0] > '9') return 0;
    errno = 0;
    char *end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > INT_MAX) return 0;
    return static_cast<pid_t>(value);
}

bool is_zero(const std::string &integer)
{
    return integer.find_first_not_of("+-0") == std::string::npos;
}

// Takes "-ppid N" out; the last valid N is the owner to watch.
std::vector<std::string> take_ppid(const std::vector<std::string> &args, ArgPlan &plan)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] != "-ppid") {
            rest.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size()) {
            plan.notes.push_back("ffshim: -ppid without a process id ignored");
            break;
        }
        pid_t pid = parse_pid(args[++i]);
        if (pid > 0) plan.owner_pid = pid;
        else plan.notes.push_back("ffshim: -ppid " + args[i] + " is not a process id, ignored");
    }
    return rest;
}

// The video encoder named by the last "-c:v" / "-vcodec", or "".
std::string video_encoder(const std::vector<std::string> &args)
{
    std::string encoder;
    for (size_t i = 0; i + 1 < args.size(); i++)
        if (args[i] == "-c:v" || args[i] == "-vcodec" || args[i] == "-codec:v") encoder = args[i + 1];
    return encoder;
}

}  // namespace

ArgPlan plan_args(const std::vector<std::string> &args, const StockFeatures &stock)
{
    ArgPlan plan;
    std::vector<std::string> rest = take_ppid(args, plan);

    // Options after the last input's name are output options.
    size_t outputs_from = 0;
    for (size_t i = 0; i < rest.size(); i++)
        if (rest[i] == "-i") outputs_from = i + 2;

    // x264 and x265 ignore -q:v; their constant-quality scale is -crf.
    const std::string encoder = video_encoder(rest);
    const bool crf_encoder = encoder == "libx264" || encoder == "libx265";

    for (size_t i = 0; i < rest.size(); i++) {
        const std::string &arg = rest[i];
        if (arg == "-q:v" && crf_encoder && i + 1 < rest.size()) {
            plan.notes.push_back("ffshim: -q:v " + rest[i + 1] + " is ignored by " + encoder + ", using -crf " +
                                 rest[i + 1]);
            plan.args.push_back("-crf");
            continue;
        }
        if (arg == "-accurate_seek" && outputs_from > 0 && i >= outputs_from) {
            plan.notes.push_back("ffshim: -accurate_seek after the last input dropped (input option in output position)");
            continue;
        }
        if (arg == "libfdk_aac" && !stock.has_libfdk_aac) {
            plan.notes.push_back("ffshim: libfdk_aac is not in this build, using aac");
            plan.args.push_back("aac");
            continue;
        }
        std::vector<std::string> angles;
        plan.args.push_back(strip_drawtext_angles(arg, angles));
        for (const std::string &angle : angles) {
            if (is_zero(angle))
                plan.notes.push_back("ffshim: drawtext angle=" + angle + " dropped (nothing to rotate)");
            else
                plan.notes.push_back("ffshim: drawtext angle=" + angle + " not rendered (text drawn unrotated)");
        }
    }
    return plan;
}

}  // namespace ffshim
