// Helpers of the runner tests: command lines that run the fake tool with an
// inline script, reading a child to its end, and checking runner log lines.
#ifndef TARSA_RUNNER_TEST_UTIL_H
#define TARSA_RUNNER_TEST_UTIL_H

#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "cvt/runner.h"
#include "test_util.h"

namespace rt {

inline std::string fake_tool() { return tt::bin_dir() + "fake_tool"; }

// "<fake_tool>" --run "line" "line" ... ; script lines hold no double quote.
inline std::string fake_cmd(std::initializer_list<std::string> script)
{
    std::string cmd = "\"" + fake_tool() + "\" --run";
    for (const std::string &line : script) cmd += " \"" + line + "\"";
    return cmd;
}

// Every piece pipe_fgets gives until it returns NULL.
inline std::vector<std::string> read_all(pipe_info *fp, int count = 4096)
{
    std::vector<std::string> lines;
    std::vector<char> buf(static_cast<size_t>(count));
    while (pipe_fgets(buf.data(), count, fp)) lines.emplace_back(buf.data());
    return lines;
}

inline double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A line "[info] file: runner.cpp line: <n> <msg>" was logged.
inline bool runner_logged(const tt::LogCapture &log, const std::string &msg)
{
    const std::string head = "[info] file: runner.cpp line: ";
    for (const std::string &line : log.lines()) {
        if (line.compare(0, head.size(), head) != 0) continue;
        size_t at = head.size();
        size_t digits = 0;
        while (at + digits < line.size() && line[at + digits] >= '0' && line[at + digits] <= '9') digits++;
        if (digits > 0 && line.compare(at + digits, std::string::npos, " " + msg) == 0) return true;
    }
    return false;
}

}  // namespace rt

#endif
