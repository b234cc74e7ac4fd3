// The one monitor loop of every job tool (conversion, cut, a merge's
// temporary, a merge's joining): reads the tool's output line by line, takes
// the tool's pid from its first line, turns "time=" values into a position,
// recognises a failure marker, watches the destination while the tool is
// silent, and tells how the run ended. A small per-kind policy and hooks
// make up the differences.
#ifndef TARSA_SDK_FOLLOW_TOOL_H
#define TARSA_SDK_FOLLOW_TOOL_H

#include "platform/platform.h"

struct job;

enum follow_end {
    FOLLOW_STOPPED,   // the host cleared running
    FOLLOW_MARKER,    // the tool printed the kind's failure marker
    FOLLOW_EOF,       // the tool's output ended
    FOLLOW_STALL      // no progress nor file change for the stall limit
};

struct follow_outcome {
    follow_end end;
    bool tool_failed;        // the tool ended non-zero or by a signal
    int last_time;           // last "time=" in seconds, -1 when none came
    int time_count;
    os_file_status props;    // last accepted status of the destination
};

enum idle_watch {
    IDLE_COUNT_ONLY,         // empty reads only advance the stall count
    IDLE_WATCH_CHECKED,      // ...and look at the destination (backslash-free retry, logged)
    IDLE_WATCH_UNCHECKED     // ...and look at the destination once, unchecked
};

struct follow_kind {
    const char *who;              // names the loop in its log lines; NULL: no EOF/END lines
    int stall_limit;              // empty reads without progress or file change
    const char *failure_marker;   // NULL: none
    idle_watch idle;
    bool log_lines;               // every line is logged
    bool check_destination;       // once the output ended, the destination's status is taken
    // A "time=" value in seconds.
    void (*on_time)(job *j, int cur_time);
    // The failure marker's line (before the loop ends).
    void (*on_marker)(job *j, const char *line);
    // The end of a monitor thread (not called by follow_tool itself).
    void (*on_end)(job *j, const follow_outcome &outcome);
};

// Follows j->fp until the end; kills the tool on the way out.
follow_outcome follow_tool(job *j, const follow_kind &kind);

#endif
