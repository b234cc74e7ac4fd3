// The merge worker: makes the temporaries, joins them into the
// destination, removes them, and reports the overall position.
#ifndef TARSA_SDK_MERGE_WORKER_H
#define TARSA_SDK_MERGE_WORKER_H

#include "core/rtkit.h"

struct merge_info;

// Share of the overall position that the temporary stage covers; the
// joining covers the rest, (1 - share), computed in double.
#define MERGE_TMP_STAGE_SHARE 0.95

// The worker thread (argument: its merge_info).
int deal_with_merge(void *arg);
// The joining stage: one child reads all temporaries of `list` through the
// concat input. 0 when the destination is complete or the job was stopped,
// -1 on failure.
int process_merge_file(merge_info *info, adt_dlist *list);
// Sum of the sources' durations in seconds (no lock: the list is the
// worker's own). 0 for no list.
int get_merge_duration(adt_dlist *list);

// Overall position during the temporary stage for an average progress.
int merge_tmp_stage_pos(int average);
// Overall position during the joining for the stage's own percentage,
// starting from `start_pos`.
int merge_concat_pos(int start_pos, int percent);

#endif
