// What the job commands check before anything starts, and how they write
// the destination: into a new work file beside it that replaces the
// destination only when the job succeeded, so a failed or stopped job never
// touches an existing file and leaves nothing of its own behind.
#ifndef TARSA_HOST_FILE_CHECKS_H
#define TARSA_HOST_FILE_CHECKS_H

#include <string>
#include <vector>

#include "tarsasdk.h"

// Exists, is a readable file and probes as media; fills `info` (may be
// null). False with a message naming the reason.
bool check_source(const std::string &path, probe_result_ex *info);

struct destination {
    std::string path;       // what the user asked for (absolute)
    std::string work_path;  // what the job writes; empty until claimed
    bool overwrite = false;

    destination() = default;
    ~destination();  // removes the work file unless committed
    destination(const destination &) = delete;
    destination &operator=(const destination &) = delete;

    // Folder exists and is writable; not the same file as any source
    // (resolved paths and device+inode); no existing file unless
    // `overwrite`; then creates the work file. False with a message.
    bool claim(const std::vector<std::string> &sources);
    // Moves the finished work file to `path`. False with a message.
    bool commit();
    // Removes the work file (it is this run's own).
    void discard();
};

#endif
