// The joining stage of a merge: one tool child reads the temporaries
// through the concat input; its "time=" values fill the last part of the
// overall position, and the destination decides when the output is complete.
#ifndef TARSA_SDK_MERGE_CONCAT_H
#define TARSA_SDK_MERGE_CONCAT_H

#include "core/rtkit.h"

struct merge_info;

// Runs the stage over the temporaries of `list`. 0 when the destination is
// complete or the job was stopped, -1 on failure.
int process_merge_file(merge_info *info, adt_dlist *list);
// Sum of the sources' durations in seconds (no lock: the list is the
// worker's own). 0 for no list.
int get_merge_duration(adt_dlist *list);
// Overall position during the joining for the stage's own percentage,
// starting from `start_pos`.
int merge_concat_pos(int start_pos, int percent);

#endif
