// The text watermark: a grid of drawtext filters. The host's text passes
// four readers before it is drawn — the command-line splitter, the filter
// graph parser, the filter's option parser and drawtext's own expansion —
// so each character that one of them treats as syntax is escaped for it.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "media/cvt_cmd.h"
#include "core/rtkit.h"

namespace {

// Characters a colour may hold: names, #RRGGBB[AA], name@alpha.
bool is_plain_color(const char *color)
{
    for (const char *p = color; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!std::isalnum(c) && c != '#' && c != '@' && c != '.' && c != '_') return false;
    }
    return true;
}

// One character as drawtext's option value must carry it, before the
// filter graph's quoting: drawtext expansion takes '\' and '%', the option
// parser '\', '\'' and ':', and drops blanks at either end of the value.
std::string escape_for_option(char c, bool at_edge)
{
    std::string expanded = (c == '\\' || c == '%') ? std::string{'\\', c} : std::string(1, c);
    std::string out;
    for (char e : expanded) {
        if (e == '\\' || e == '\'' || e == ':' || (at_edge && (e == ' ' || e == '\t'))) out += '\\';
        out += e;
    }
    return out;
}

// Inside text='...' the graph parser takes everything literally except the
// closing quote: a quote closes, is given escaped, and the quote reopens.
std::string quote_for_graph(const std::string &s)
{
    std::string out;
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out;
}

// The command-line splitter: inside "..." a quote is written \" and the
// backslashes right before a quote are doubled; other backslashes stay.
std::string quote_for_command_line(const std::string &s)
{
    std::string out;
    size_t backslashes = 0;
    for (char c : s) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"') {
            out.append(2 * backslashes + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        out += c;
        backslashes = 0;
    }
    out.append(backslashes, '\\');
    return out;
}

}  // namespace

std::string escape_watermark_text(const char *text)
{
    try {
        const size_t n = std::strlen(text);
        std::string graph_text;
        graph_text.reserve(3 * n + 1);
        for (size_t i = 0; i < n; i++) {
            const char c = text[i];
            // Line breaks keep their established two-backslash form.
            if (c == '\r') {
                graph_text += "\\\\r";
            } else if (c == '\n') {
                graph_text += "\\\\n";
            } else {
                graph_text += quote_for_graph(escape_for_option(c, i == 0 || i + 1 == n));
            }
        }
        return quote_for_command_line(graph_text);
    } catch (const std::bad_alloc &) {
        ERR_FATAL("ptext == NULL");
    }
}

std::string watermark_filter(const ot_ex &mark)
{
    if (mark.row_num <= 0 || mark.col_num <= 0) return std::string();
    char text[sizeof mark.text + 1];
    std::memcpy(text, mark.text, sizeof mark.text);
    text[sizeof mark.text] = '\0';
    char color[sizeof mark.font_color + 1];
    std::memcpy(color, mark.font_color, sizeof mark.font_color);
    color[sizeof mark.font_color] = '\0';
    if (!is_plain_color(color)) {
        LOG_INFO("font_color:%s is not a colour, white is used", color);
        str_copy(color, sizeof color, "white");
    }
    int alpha = 100 - mark.transparency;
    if (alpha < 0) alpha = 0;
    if (alpha > 100) alpha = 100;

    const std::string escaped = escape_watermark_text(text);
    std::string out = "-vf ";
    std::vector<char> entry(escaped.size() + 512);
    for (int i = 0; i < mark.row_num; i++) {
        for (int j = 0; j < mark.col_num; j++) {
            std::snprintf(entry.data(), entry.size(),
                          "drawtext=\"fontfile=tf.ttf:text='%s':x=w*%d/%d+%d:y=h*%d/%d+%d:fontcolor=%s:fontsize=%d:"
                          "alpha=%f:angle=%d\",",
                          escaped.c_str(), j, mark.col_num, mark.x_offset, i, mark.row_num, mark.y_offset, color,
                          mark.font_size, alpha / 100.0, mark.angle);
            out += entry.data();
        }
    }
    out.pop_back();  // the comma after the last entry
    out += ' ';
    return out;
}
