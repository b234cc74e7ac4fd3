#include "run_log.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>

namespace {

std::string g_own_log;  // the log tool_error_lines may read
bool g_worth_showing = false;

// The library writes each tool line after this marker.
const char *const k_tool_line = " buf:";

bool tells_of_error(const std::string &text)
{
    static const char *const words[] = {"error", "failed", "invalid", "not supported", "unable", "cannot",
                                        "could not", "no such", "unknown", "only "};
    for (const char *w : words)
        if (strcasestr(text.c_str(), w)) return true;
    return false;
}

}  // namespace

run_log::run_log()
{
    const char *chosen = std::getenv("TARSASDK_LOG");
    if (chosen && *chosen) return;
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarsa-log-XXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        // Without a log file, keep the library's lines off the progress display.
        setenv("TARSASDK_LOG", "off", 1);
        return;
    }
    close(fd);
    own_path_ = name.data();
    g_own_log = own_path_;
    setenv("TARSASDK_LOG", own_path_.c_str(), 1);
}

run_log::~run_log() { finish(false); }

void run_log::finish(bool failed)
{
    if (finished_) return;
    finished_ = true;
    if (own_path_.empty()) return;
    if (failed && g_worth_showing)
        std::fprintf(stderr, "tarsa: the log of this run is %s\n", own_path_.c_str());
    else
        unlink(own_path_.c_str());
}

void run_log_worth_showing() { g_worth_showing = true; }

std::vector<std::string> tool_error_lines(size_t max)
{
    std::deque<std::string> last;
    if (g_own_log.empty()) return {};
    std::ifstream in(g_own_log);
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.find(k_tool_line);
        if (at == std::string::npos) continue;
        std::string text = line.substr(at + std::strlen(k_tool_line));
        if (!tells_of_error(text)) continue;
        last.push_back(text);
        if (last.size() > max) last.pop_front();
    }
    return {last.begin(), last.end()};
}
