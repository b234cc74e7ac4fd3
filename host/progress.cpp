#include "progress.h"

#include <cstdio>

#include "host_os.h"

std::string json_string(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string clock_text(double seconds)
{
    if (seconds < 0) return "--:--";
    long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

progress_view::progress_view(mode m, double media_seconds) : mode_(m), media_seconds_(media_seconds) {}

progress_view::mode progress_view::pick(bool json, bool quiet)
{
    if (json) return JSON;
    if (quiet) return QUIET;
    return host_stderr_is_terminal() ? BAR : PLAIN;
}

void progress_view::update(int percent, double elapsed)
{
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (mode_ == QUIET) return;
    if (mode_ == JSON || mode_ == PLAIN) {
        if (percent == last_percent_) return;
        last_percent_ = percent;
        if (mode_ == JSON)
            std::printf("{\"event\":\"progress\",\"percent\":%d}\n", percent);
        else
            std::printf("progress %d%%\n", percent);
        std::fflush(stdout);
        return;
    }
    // The bar: redrawn in place, fitted to the terminal's current width.
    const double eta = percent > 0 && percent < 100 ? elapsed * (100 - percent) / percent : (percent >= 100 ? 0 : -1);
    std::string tail = " " + clock_text(elapsed) + " ETA " + clock_text(eta);
    if (media_seconds_ > 0 && elapsed > 0.5 && percent > 0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, " %.1fx", media_seconds_ * percent / 100.0 / elapsed);
        tail += speed;
    }
    char head[8];
    std::snprintf(head, sizeof head, "%3d%%", percent);
    const int columns = host_terminal_columns() - 1;  // the last column would wrap on some terminals
    std::string line = head;
    const int bar = columns - static_cast<int>(line.size() + tail.size()) - 3;
    if (bar >= 5) {
        std::string fill(static_cast<size_t>(bar * percent / 100), '#');
        fill.resize(static_cast<size_t>(bar), '.');
        line += " [" + fill + "]" + tail;
    } else if (static_cast<int>(line.size() + tail.size()) <= columns) {
        line += tail;
    }
    if (static_cast<int>(line.size()) > columns) line.resize(columns > 0 ? static_cast<size_t>(columns) : 0);
    line.resize(columns > 0 ? static_cast<size_t>(columns) : line.size(), ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    bar_shown_ = true;
}

void progress_view::end_line()
{
    if (!bar_shown_) return;
    std::fputc('\n', stderr);
    bar_shown_ = false;
}
