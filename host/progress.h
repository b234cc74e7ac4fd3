// How a running job's progress is shown: a bar sized to the terminal, plain
// lines when standard error is not a terminal, JSON lines, or nothing.
#ifndef TARSA_HOST_PROGRESS_H
#define TARSA_HOST_PROGRESS_H

#include <string>

class progress_view {
public:
    enum mode { BAR, PLAIN, JSON, QUIET };
    // `media_seconds`: the length of media the job works through, for the
    // speed; 0 when unknown.
    progress_view(mode m, double media_seconds);
    static mode pick(bool json, bool quiet);

    void update(int percent, double elapsed_seconds);
    // Ends the bar's line before other text is printed.
    void end_line();

private:
    mode mode_;
    double media_seconds_;
    int last_percent_ = -1;
    bool bar_shown_ = false;
};

std::string json_string(const std::string &text);  // quoted and escaped
std::string clock_text(double seconds);             // "M:SS" or "H:MM:SS", "--:--" when unknown

#endif
