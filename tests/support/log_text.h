// The message part of captured log lines: "[info] file: F line: N " (or
// "[debugL] ...") removed, so tests compare the exact text a line carries.
#ifndef TARSA_TEST_LOG_TEXT_H
#define TARSA_TEST_LOG_TEXT_H

#include <regex>
#include <string>
#include <vector>

#include "test_util.h"

namespace tt {

inline std::string log_message(const std::string &line)
{
    static const std::regex prefix(R"(^\[(info|fatal|debug\d)\] file: \S+ line: \d+ )");
    return std::regex_replace(line, prefix, "", std::regex_constants::format_first_only);
}

inline std::vector<std::string> log_messages(const LogCapture &log)
{
    std::vector<std::string> out;
    for (const std::string &line : log.lines()) out.push_back(log_message(line));
    return out;
}

inline int count_message(const LogCapture &log, const std::string &msg)
{
    int n = 0;
    for (const std::string &m : log_messages(log))
        if (m == msg) n++;
    return n;
}

}  // namespace tt

#endif
