// The tool layer's argument rules: what the library passes that the stock
// FFmpeg programs do not take, and what they get instead. Pure functions, so
// the rules can be checked without starting anything.
#ifndef TARSA_FFSHIM_ARGS_H
#define TARSA_FFSHIM_ARGS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace ffshim {

// What the stock build offers, as far as the rules need to know.
struct StockFeatures {
    bool has_libfdk_aac = false;
};

struct ArgPlan {
    std::vector<std::string> args;   // for the stock program, without argv[0]
    pid_t owner_pid = 0;             // from "-ppid N"; 0 = nobody to watch
    std::vector<std::string> notes;  // one output line each, no line break
};

// Applies every rule to the arguments (argv[1..]) in one pass:
// - "-ppid N" is taken out; a positive N becomes owner_pid;
// - "libfdk_aac" becomes "aac" when the stock build lacks it;
// - drawtext's ":angle=N" options are taken out (strip_drawtext_angles);
// - "-accurate_seek" after the last "-i" (an input option in output
//   position, which the stock programs refuse) is taken out;
// - "-q:v N" becomes "-crf N" when the video encoder ("-c:v", "-vcodec")
//   is libx264 or libx265, which ignore -q:v.
// Each change adds one note.
ArgPlan plan_args(const std::vector<std::string> &args, const StockFeatures &stock);

// Removes every ":angle=N" option (N a decimal integer) of the drawtext
// filters in a filter-graph argument and appends each removed N (as
// written) to `angles`. Quoting and escaping of both filter-graph levels
// are honoured: text inside a drawtext "text" value is never touched.
// Arguments without drawtext come back unchanged.
std::string strip_drawtext_angles(const std::string &arg, std::vector<std::string> &angles);

}  // namespace ffshim

#endif
