// What a probe report (the stock ffprobe's description of its input) tells
// about the framing of the input's first video stream, so that the tool
// layer loads the FFmpeg libraries to read packets only when the report
// cannot tell.
#ifndef TARSA_FFSHIM_PROBE_REPORT_H
#define TARSA_FFSHIM_PROBE_REPORT_H

#include <string>

namespace ffshim {

// Fed the forwarded output (LF line breaks) in the chunks it is written in.
class ProbeReport {
public:
    void feed(const std::string &text);
    // 1: the first video stream carries length-prefixed NAL units; 0: it
    // does not (no input, no video, or a codec or container framed by start
    // codes); -1: only its packets can tell. Call once all output is fed.
    int length_prefixed();

private:
    void take_line(const std::string &line);

    std::string line_;          // the line being fed, its first kMaxLine bytes
    bool have_input_ = false;   // an "Input #0" line was seen
    bool unclear_ = false;      // a stream line whose head does not read as one
    std::string format_;        // the first name of the "Input #0" line
    long video_index_ = -1;     // lowest index of a video stream line
    std::string video_;         // its description from the codec name up to the first comma
};

}  // namespace ffshim

#endif
