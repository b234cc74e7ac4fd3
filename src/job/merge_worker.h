// The merge worker: makes the temporaries, joins them into the
// destination, removes them, and reports the overall position.
#ifndef TARSA_SDK_MERGE_WORKER_H
#define TARSA_SDK_MERGE_WORKER_H

// The worker thread (argument: its merge_info).
int run_merge(void *arg);

#endif
