#include "log_capture.h"

#include <algorithm>
#include <regex>

#include "core/rtkit.h"

namespace tt {

std::string log_message(const std::string &line)
{
    static const std::regex prefix(R"(^\[(info|fatal|debug\d)\] file: \S+ line: \d+ )");
    return std::regex_replace(line, prefix, "", std::regex_constants::format_first_only);
}

LogCapture::LogCapture() { log_set_sink(&LogCapture::sink, this); }
LogCapture::~LogCapture() { log_set_sink(nullptr, nullptr); }

void LogCapture::sink(const char *line, void *ctx)
{
    auto *self = static_cast<LogCapture *>(ctx);
    const std::string text(line);
    std::lock_guard<std::mutex> guard(self->lock_);
    self->lines_.push_back(text.size() >= kStampLen ? text.substr(kStampLen) : text);
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

std::vector<std::string> LogCapture::messages() const
{
    std::vector<std::string> out;
    for (const std::string &line : lines()) out.push_back(log_message(line));
    return out;
}

int LogCapture::count(const std::string &msg) const
{
    const std::vector<std::string> all = messages();
    return static_cast<int>(std::count(all.begin(), all.end(), msg));
}

bool LogCapture::contains(const std::string &needle) const
{
    for (const std::string &line : lines())
        if (line.find(needle) != std::string::npos) return true;
    return false;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
}

}  // namespace tt
