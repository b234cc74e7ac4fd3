// The first stage of a merge: every source of the worker's list becomes its
// temporary transport stream, each made by its own tool child followed by
// its own monitor thread, at most two at a time.
#ifndef TARSA_SDK_MERGE_TMP_H
#define TARSA_SDK_MERGE_TMP_H

#include "core/rtkit.h"

struct file_info;

// Share of the overall position that the temporary stage covers; the
// joining covers the rest, (1 - share), computed in double.
#define MERGE_TMP_STAGE_SHARE 0.95

// One pass over the working list (elements: file_info *): starts what may
// start, closes what is complete, drops what failed (event 301 each).
// Returns the average progress of the entries left, 0..100 (0 for an empty
// list); -1 for no list or when the host answers -1 to an event 301.
int process_create_tmp_file(adt_dlist *list);
// Starts the entry's child and monitor and takes a slot. 1, or 0.
int create_merge_tmp_file(file_info *source);
// Ends the entry's monitor, closes its child and gives its slot back. 1, or 0.
int close_merge_tmp_file(file_info *source);
// Overall position during the temporary stage for an average progress.
int merge_tmp_stage_pos(int average);

#endif
