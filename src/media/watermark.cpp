// The text watermark: a grid of drawtext filters. The host's text passes
// three readers of the tool before it is drawn — the filter graph parser,
// the filter's option parser and drawtext's own expansion — so each
// character that one of them treats as syntax is escaped for it. The
// argument reaches the tool as it is: no command-line layer is left.
#include "media/watermark.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "core/rtkit.h"

namespace {

// Below the 128 KiB that Linux lets one argument hold; a grid beyond it
// cannot be started at all.
constexpr size_t kMaxFilterSize = 120000;

// Characters a colour may hold: names, #RRGGBB[AA], name@alpha.
bool is_plain_color(const char *color)
{
    for (const char *p = color; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!std::isalnum(c) && c != '#' && c != '@' && c != '.' && c != '_') return false;
    }
    return true;
}

bool is_ffmpeg_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// One character as drawtext's option value must carry it, before the
// filter graph's quoting: drawtext expansion takes '\' and '%', the option
// parser '\', '\'' and ':', and drops white space (line breaks too) at
// either end of the value.
std::string escape_for_option(char c, bool at_edge)
{
    // A line break is written as backslash, backslash, "n", as the
    // watermark's text format has always carried it.
    if (c == '\n') return "\\\\n";
    std::string expanded = (c == '\\' || c == '%') ? std::string{'\\', c} : std::string(1, c);
    std::string out;
    for (char e : expanded) {
        if (e == '\\' || e == '\'' || e == ':' || (at_edge && is_ffmpeg_space(e))) out += '\\';
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

}  // namespace

std::string escape_watermark_text(const std::string &text)
{
    try {
        std::string out;
        out.reserve(3 * text.size() + 1);
        for (size_t i = 0; i < text.size(); i++)
            out += quote_for_graph(escape_for_option(text[i], i == 0 || i + 1 == text.size()));
        return out;
    } catch (const std::bad_alloc &) {
        ERR_FATAL("ptext == NULL");
    }
}

bool watermark_filter(const ot_ex &mark, std::string *filter)
{
    filter->clear();
    if (mark.row_num <= 0 || mark.col_num <= 0) return true;
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
    long long alpha = 100LL - mark.transparency;  // any 32-bit value, without overflow
    if (alpha < 0) alpha = 0;
    if (alpha > 100) alpha = 100;

    const std::string escaped = escape_watermark_text(text);
    std::string &out = *filter;
    std::vector<char> entry(escaped.size() + 512);
    for (int i = 0; i < mark.row_num; i++) {
        for (int j = 0; j < mark.col_num; j++) {
            std::snprintf(entry.data(), entry.size(),
                          "drawtext=fontfile=tf.ttf:text='%s':x=w*%d/%d+%d:y=h*%d/%d+%d:fontcolor=%s:fontsize=%d:"
                          "alpha=%f:angle=%d,",
                          escaped.c_str(), j, mark.col_num, mark.x_offset, i, mark.row_num, mark.y_offset, color,
                          mark.font_size, static_cast<double>(alpha) / 100.0, mark.angle);
            out += entry.data();
            if (out.size() > kMaxFilterSize) {
                LOG_INFO("watermark grid %d*%d does not fit one argument", mark.row_num, mark.col_num);
                out.clear();
                return false;
            }
        }
    }
    out.pop_back();  // the comma after the last entry
    return true;
}
