#include "drawtext_read.h"

#include <cstring>

namespace tt {

namespace {

// FFmpeg's av_get_token: leading white space skipped; outside single
// quotes a backslash takes the next character literally; inside them all is
// literal; unprotected trailing white space dropped; stops at `term`.
std::string get_token(const char *&p, const char *term)
{
    const char *ws = " \n\t\r";  // FFmpeg's white space
    p += std::strspn(p, ws);
    std::string out;
    size_t end = 0;
    while (*p && !std::strchr(term, *p)) {
        const char c = *p++;
        if (c == '\\' && *p) {
            out += *p++;
            end = out.size();
        } else if (c == '\'') {
            while (*p && *p != '\'') out += *p++;
            if (*p) p++, end = out.size();
        } else {
            out += c;
        }
    }
    while (out.size() > end && std::strchr(ws, out.back())) out.pop_back();
    return out;
}

}  // namespace

// What drawtext draws for a one-filter graph: graph parser, option parser, text expansion ("%" starts a function).
std::string drawn_text(const std::string &graph)
{
    const char *p = graph.c_str();
    if (get_token(p, "=,;[") != "drawtext" || *p++ != '=') return "<no drawtext>";
    const std::string options = get_token(p, "[],;");
    if (*p) return "<graph goes on>";
    std::string text = "<no text>";  // key=value pairs separated by ':'
    for (const char *o = options.c_str(); *o; o += *o == ':') {
        const std::string key(o, std::strcspn(o, "="));
        o += key.size() + (o[key.size()] == '=');
        const std::string value = get_token(o, ":");
        if (key != "text") continue;
        text.clear();
        for (size_t i = 0; i < value.size(); i++) {
            if (value[i] == '%') return "<expansion>";
            text += value[i] == '\\' && i + 1 < value.size() ? value[++i] : value[i];
        }
    }
    return text;
}

}  // namespace tt
