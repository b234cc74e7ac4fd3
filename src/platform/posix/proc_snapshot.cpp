// The process table from /proc.
#include "platform/platform.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace {

bool all_digits(const char *s)
{
    if (!*s) return false;
    for (; *s; s++)
        if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
    return true;
}

std::string read_whole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string exe_name_of(int pid)
{
    std::string proc = "/proc/" + std::to_string(pid);
    char link[4096];
    ssize_t n = readlink((proc + "/exe").c_str(), link, sizeof link - 1);
    if (n > 0) {
        std::string path(link, static_cast<size_t>(n));
        // A replaced executable reads "<path> (deleted)".
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return path.substr(path.rfind('/') + 1);
    }
    std::string comm = read_whole(proc + "/comm");
    while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm;
}

int parent_of(int pid)
{
    // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
    std::string stat = read_whole("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    int ppid = 0;
    rest >> state >> ppid;
    return ppid;
}

std::string host_marker_of(int pid)
{
    std::string env = read_whole("/proc/" + std::to_string(pid) + "/environ");
    const std::string key = "TARSASDK_HOST=";
    size_t at = 0;
    while (at < env.size()) {
        size_t end = env.find('\0', at);
        if (end == std::string::npos) end = env.size();
        if (env.compare(at, key.size(), key) == 0) return env.substr(at + key.size(), end - at - key.size());
        at = end + 1;
    }
    return std::string();
}

}  // namespace

int os_process_snapshot(std::vector<os_process_entry> &out)
{
    DIR *dir = opendir("/proc");
    if (!dir) return -1;
    while (struct dirent *entry = readdir(dir)) {
        if (!all_digits(entry->d_name)) continue;
        int pid = std::atoi(entry->d_name);
        os_process_entry e;
        e.pid = pid;
        e.ppid = parent_of(pid);
        e.exe_name = exe_name_of(pid);
        if (e.exe_name.empty()) continue;  // gone while we looked
        e.host_marker = host_marker_of(pid);
        out.push_back(std::move(e));
    }
    closedir(dir);
    return 0;
}

bool os_process_is(int pid, unsigned long long start_time)
{
    if (pid < 1) return false;
    long long started = os_process_start_time(pid);
    return started >= 0 && static_cast<unsigned long long>(started) == start_time;
}
