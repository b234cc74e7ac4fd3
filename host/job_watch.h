// Runs one started job to its end in the foreground: a live progress bar
// on a terminal (plain lines otherwise), Ctrl-C stops the job through the
// library, and the outcome is told by the job's events.
#ifndef TARSA_HOST_JOB_WATCH_H
#define TARSA_HOST_JOB_WATCH_H

#include <cstdint>
#include <string>

struct job_kind_ops {
    const char *what;                 // "conversion", "cut", "merge"
    uint32_t pos_event;               // 100, 200, 300
    uint32_t fail_event;              // 101, 201, 302
    uint32_t source_fail_event;       // 301 for merges, else 0
    int (*start)(void *job);
    int (*stop)(void *job);
    int (*destroy)(void *job);
    int (*get_pos)(void *job);
};

// Registers the event callback (watch_job does it too).
void watch_prepare();
// For merges: how many sources the job holds (all dropped = failed).
void watch_set_source_count(int count);

// Starts the job with ops.start, follows it, stops and destroys it.
// Returns the exit status: 0 done, 1 failed (reason printed), 130 stopped
// by Ctrl-C (the partial destination `dst` is removed).
int watch_job(void *job, const job_kind_ops &ops, const std::string &dst);

#endif
