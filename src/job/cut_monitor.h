#ifndef TARSA_SDK_CUT_MONITOR_H
#define TARSA_SDK_CUT_MONITOR_H

struct cut_info;

// The monitor thread of a cut (argument: its cut_info).
int get_cut_progress(void *arg);

// The media time in seconds at which the tool's "time=" means the cut is
// done. A stream copy counts from the source's start (the tool seeks before
// its input), a re-encode from the cut's start; both end at the source's
// end when its duration is known.
int cut_expected_length(const cut_info *info);

#endif
