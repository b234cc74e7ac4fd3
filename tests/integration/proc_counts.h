// What this test process holds: its tool children, threads and open
// descriptors, for checks that a job leaves nothing behind.
#ifndef TARSA_TEST_PROC_COUNTS_H
#define TARSA_TEST_PROC_COUNTS_H

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace tt {

// Children of this process whose program name is `name`, zombies included:
// a child counts until the library has reaped it.
inline int count_children(const std::string &name)
{
    const std::string self = std::to_string(getpid());
    int n = 0;
    DIR *proc = opendir("/proc");
    while (dirent *e = proc ? readdir(proc) : nullptr) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t open = line.find('(');
        const size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= line.size()) continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        // After ") S " comes the parent's pid.
        const std::string ppid = line.substr(close + 4, line.find(' ', close + 4) - (close + 4));
        if (comm == name && ppid == self) n++;
    }
    if (proc) closedir(proc);
    return n;
}

inline int count_dir_entries(const char *dir_path)
{
    int n = 0;
    DIR *dir = opendir(dir_path);
    while (dirent *e = dir ? readdir(dir) : nullptr)
        if (e->d_name[0] != '.') n++;
    if (dir) closedir(dir);
    return n;
}

inline int count_threads() { return count_dir_entries("/proc/self/task"); }
inline int count_fds() { return count_dir_entries("/proc/self/fd") - 1; }  // less the one that lists them

}  // namespace tt

#endif
