#include "log_capture.h"

#include "core/rtkit.h"

namespace tt {

LogCapture::LogCapture() { log_set_sink(&LogCapture::sink, this); }
LogCapture::~LogCapture() { log_set_sink(nullptr, nullptr); }

void LogCapture::sink(const char *line, void *ctx)
{
    const size_t stamp = 24;
    auto *self = static_cast<LogCapture *>(ctx);
    const std::string text(line);
    std::lock_guard<std::mutex> guard(self->lock_);
    self->lines_.push_back(text.size() >= stamp ? text.substr(stamp) : text);
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

bool LogCapture::contains(const std::string &needle) const
{
    for (const std::string &line : lines())
        if (line.find(needle) != std::string::npos) return true;
    return false;
}

}  // namespace tt
