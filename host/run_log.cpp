#include "run_log.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>

#include "host_os.h"

namespace {

std::string g_own_log;  // the log tool_error_lines may read
bool g_worth_showing = false;

// The library writes each tool line after this marker.
const char *const k_tool_line = " buf:";

bool tells_of_error(const std::string &text)
{
    static const char *const words[] = {"error", "failed", "invalid", "not supported", "unable", "cannot",
                                        "could not", "no such", "unknown", "only "};
    std::string lower = text;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char *w : words)
        if (lower.find(w) != std::string::npos) return true;
    return false;
}

}  // namespace

run_log::run_log()
{
    const char *chosen = std::getenv("TARSASDK_LOG");
    if (chosen && *chosen) return;
    own_path_ = host_make_temp_file("tarsa-log-");
    // Without a log file, keep the library's lines off the progress display.
    host_setenv("TARSASDK_LOG", own_path_.empty() ? "off" : own_path_.c_str());
    g_own_log = own_path_;
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
        host_remove_file(own_path_);
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
