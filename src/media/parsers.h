// Parsers of the tools' output lines. Stateless and safe on many threads
// (report_state belongs to one reader). Numeric results: -1 means not found.
//
// The tools print a file's metadata keys and values, its stream languages
// and the names they are given as they are, line breaks included, so a file
// can put any text on a line of its own. A value is therefore taken only
// from the line the tool itself writes for it, recognised by its exact
// place: its indentation, its prefix and, for the probe report, where it
// stands among the report's sections (see classify_report_line).
#ifndef TARSA_CVT_PARSERS_H
#define TARSA_CVT_PARSERS_H

#include <cstdint>

#include "tarsasdk.h"

// ---------------------------------------------------------------- probe report
// "Input #0, <format>, from '...'" at the start of the line.
int get_buf_f_fmt(const char *buf, char *f_fmt);          // out: 30 bytes, zero-filled
// The tool layer's own "header_info=<n>" line; 1 when n reads as 0.
int get_buf_header_info(const char *buf);
// "  Duration: H:M:S.xx, ..." (two blanks): seconds, 0 for N/A, -1.
int get_buf_duration(const char *buf);
// The stream parsers accept only a stream line: "Stream #N:M", optionally
// "[0x..]" and "(language)", then ": Video: " or ": Audio: ", indented by
// two blanks (four in FFmpeg 4).
int get_buf_resolution(char *buf, int *width, int *height);  // in place
int get_buf_v_fmt(char *buf, char *v_fmt);                // in place
int get_buf_a_fmt(char *buf, char *a_fmt);                // in place
int get_video_detailed_param(const char *buf);            // 0 video stream line, else -1
int get_audio_detailed_param(const char *buf);

// What a line of the probe report is, as far as the probe cares.
enum report_line { REPORT_OTHER, REPORT_METADATA, REPORT_INPUT, REPORT_DURATION, REPORT_STREAM };

// Where a reader stands in one probe report; zero-initialise one per run.
struct report_state {
    int in_metadata;    // a "Metadata:" block is open
    int meta_indent;    // the indentation of its header
    int in_header;      // after "Input #0", before chapters, programs and streams
    int streams_broken; // a stream line was cut by a line break in its language
};

// Classifies the next report line and advances *st. Only a line classified
// REPORT_INPUT, REPORT_DURATION or REPORT_STREAM may be handed to the
// parser of that field. Lines whose first non-blank character is ':'
// (continued metadata values) and lines between a "Metadata:" header and
// the next line indented no deeper than it are REPORT_METADATA. The
// duration counts only in the input's header (the last one there wins:
// a forged one inside the container's metadata comes before the real one).
// Once a stream line has been cut short, no later stream line is trusted.
report_line classify_report_line(report_state *st, const char *line);

// The probe's reading of one report line (cut in place): classifies it and
// takes the fields it may carry into result (and ex, when not NULL); raises
// *h2645_mp4toannexb (when not NULL) at a "header_info=0" line.
void parse_probe_line(char *line, report_state *report, probe_result *result, uint32_t *h2645_mp4toannexb,
                      probe_result_ex *ex);

// ---------------------------------------------------------------- job tools
// True for one of the tool's status lines: "frame=... time=... bitrate=..."
// or, without video, "size=..."/"Lsize=... time=... bitrate=...", starting
// the line.
bool is_status_line(const char *buf);

// The "time=" of a status line (is_status_line) in seconds, 0 if negative;
// -1 for any other line, so a "time=" inside metadata or a name printed by
// the tool is never taken. The job monitors get their progress here.
int get_buf_cur_time(const char *buf);

// The tool's pid from its first output line, "PID = <n>", which the tool
// layer writes before anything else. *lines_read counts the lines offered
// so far: start it at 0 and pass every line read, in order; the call
// advances it. -1 for every later line, so a "PID =" that a file or name
// puts into the output is never taken (nor killed). The line is not cut.
int get_first_line_pid(const char *buf, int *lines_read);

#endif
