// Taking drawtext's "angle" option out of a filter-graph argument. The stock
// drawtext has no such option and refuses the whole filter, so the option
// goes and the text is drawn level.
//
// A filter graph is read twice by FFmpeg: the graph level splits filters at
// , ; [ ] and removes its quotes and backslashes, then the filter splits the
// result into options at ':' with the same quoting rules once more. Only a
// ':' that survives both levels as a separator starts an option, so a text
// value such as 'at\:angle=5' is left alone.
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ffshim_args.h"

namespace ffshim {
namespace {

// One character after graph-level unescaping, with its place in the argument
// and whether a backslash before it (at at - 1) escaped it.
struct Char {
    char c;
    size_t at;
    bool escaped;
};
using Segment = std::vector<Char>;

// Graph level: split at unquoted, unescaped , ; [ ] and unescape. Link
// labels become segments of their own, which name no filter.
std::vector<Segment> graph_segments(const std::string &arg)
{
    std::vector<Segment> segments(1);
    bool quoted = false;
    for (size_t i = 0; i < arg.size(); i++) {
        char c = arg[i];
        if (quoted) {
            if (c == '\'') quoted = false;
            else segments.back().push_back({c, i, false});
        } else if (c == '\'') {
            quoted = true;
        } else if (c == '\\' && i + 1 < arg.size()) {
            i++;
            segments.back().push_back({arg[i], i, true});
        } else if (std::strchr(",;[]", c)) {
            segments.emplace_back();
        } else {
            segments.back().push_back({c, i, false});
        }
    }
    return segments;
}

// Index in `seg` where the options of a drawtext filter begin, or 0 when the
// segment is anything else (options never begin at 0: the name comes first).
size_t drawtext_options_start(const Segment &seg)
{
    size_t i = 0;
    while (i < seg.size() && std::strchr(" \t\r\n", seg[i].c)) i++;
    std::string name;
    for (; i < seg.size() && seg[i].c != '='; i++) name += seg[i].c;
    name = name.substr(0, name.find('@'));  // "drawtext@id" names an instance
    if (name != "drawtext" || i >= seg.size()) return 0;
    return i + 1;
}

// Option level: positions of the ':' separators from `from` on.
std::vector<size_t> option_separators(const Segment &seg, size_t from)
{
    std::vector<size_t> seps;
    bool quoted = false;
    for (size_t i = from; i < seg.size(); i++) {
        char c = seg[i].c;
        if (quoted) {
            if (c == '\'') quoted = false;
        } else if (c == '\'') {
            quoted = true;
        } else if (c == '\\') {
            i++;
        } else if (c == ':') {
            seps.push_back(i);
        }
    }
    return seps;
}

// "angle=" followed by a decimal integer and nothing else; the integer goes to `value`.
bool is_integer_angle(const std::string &option, std::string &value)
{
    static const std::string key = "angle=";
    if (option.compare(0, key.size(), key) != 0) return false;
    std::string v = option.substr(key.size());
    size_t digits = (!v.empty() && (v[0] == '-' || v[0] == '+')) ? 1 : 0;
    if (v.size() == digits) return false;
    for (size_t i = digits; i < v.size(); i++)
        if (v[i] < '0' || v[i] > '9') return false;
    value = v;
    return true;
}

// True when seg[from..to) stands in the argument as written, with no quote
// or backslash of the graph level in between: then it can be cut out as is.
bool written_literally(const Segment &seg, size_t from, size_t to)
{
    for (size_t i = from + 1; i < to; i++)
        if (seg[i].at != seg[i - 1].at + 1) return false;
    return true;
}

}  // namespace

std::string strip_drawtext_angles(const std::string &arg, std::vector<std::string> &angles)
{
    if (arg.find("drawtext") == std::string::npos) return arg;

    std::vector<std::pair<size_t, size_t>> cuts;  // [from, to) in arg, ascending
    for (const Segment &seg : graph_segments(arg)) {
        size_t start = drawtext_options_start(seg);
        if (start == 0) continue;
        std::vector<size_t> seps = option_separators(seg, start);
        for (size_t k = 0; k < seps.size(); k++) {
            size_t from = seps[k];
            size_t to = k + 1 < seps.size() ? seps[k + 1] : seg.size();
            std::string option;
            for (size_t i = from + 1; i < to; i++) option += seg[i].c;
            std::string value;
            if (!is_integer_angle(option, value) || !written_literally(seg, from, to)) continue;
            // A separator written as \: at the graph level goes with its backslash.
            cuts.emplace_back(seg[from].at - (seg[from].escaped ? 1 : 0), seg[to - 1].at + 1);
            angles.push_back(value);
        }
    }

    std::string out;
    size_t pos = 0;
    for (const auto &cut : cuts) {
        out.append(arg, pos, cut.first - pos);
        pos = cut.second;
    }
    out.append(arg, pos, std::string::npos);
    return out;
}

}  // namespace ffshim
