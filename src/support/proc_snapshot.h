// A snapshot of the machine's processes, for the clean-up of tools that a
// crashed host left behind.
#ifndef TARSA_SUPPORT_PROC_SNAPSHOT_H
#define TARSA_SUPPORT_PROC_SNAPSHOT_H

#include <string>
#include <vector>

struct os_process_entry {
    int pid;
    int ppid;
    std::string exe_name;     // executable file name without directory
    std::string host_marker;  // value of TARSASDK_HOST in its environment, or empty
};

// Fills `out` with every process that can be seen. 0, or -1 when the
// process table cannot be read.
int os_process_snapshot(std::vector<os_process_entry> &out);

// True when the process `pid` exists and started at `start_time` (clock
// ticks since boot); a reused pid has another start time.
bool os_process_is(int pid, unsigned long long start_time);

#endif
