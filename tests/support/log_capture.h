// Collects the library's log lines while alive, so tests compare the exact
// text a line carries.
#ifndef TARSA_TEST_LOG_CAPTURE_H
#define TARSA_TEST_LOG_CAPTURE_H

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace tt {

// Length of the log's date stamp "YYYY-MM-DD HH:MM:SS.mmm ".
constexpr size_t kStampLen = 24;

// The message part of a line: "[info] file: F line: N " (or "[debugN] ...") removed.
std::string log_message(const std::string &line);

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<std::string> lines() const;     // without the date stamp
    std::vector<std::string> messages() const;  // log_message() of each line
    int count(const std::string &msg) const;    // messages equal to msg
    bool contains(const std::string &needle) const;  // in any line
    void clear();

private:
    static void sink(const char *line, void *ctx);
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

}  // namespace tt

#endif
