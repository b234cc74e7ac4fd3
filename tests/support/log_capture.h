// Collects the library's log lines while alive, so tests compare the exact
// text a line carries.
#ifndef TARSA_TEST_LOG_CAPTURE_H
#define TARSA_TEST_LOG_CAPTURE_H

#include <mutex>
#include <string>
#include <vector>

namespace tt {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<std::string> lines() const;  // without the date stamp "YYYY-MM-DD HH:MM:SS.mmm "
    bool contains(const std::string &needle) const;  // in any line

private:
    static void sink(const char *line, void *ctx);
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

}  // namespace tt

#endif
