#include "ff/ff_input_guard.h"

#include <filesystem>
#include <system_error>

extern "C" {
#include <libavformat/avformat.h>
}

#include "core/deadline.h"

input_deadline::input_deadline() : timeout_(probe_timeout_seconds()) { restart(); }

void input_deadline::arm(AVFormatContext *ctx)
{
    ctx->interrupt_callback.callback = &input_deadline::expired;
    ctx->interrupt_callback.opaque = this;
}

void input_deadline::restart() { until_ = std::chrono::steady_clock::now() + timeout_; }

int input_deadline::expired(void *self)
{
    const auto *d = static_cast<const input_deadline *>(self);
    return d->timeout_.count() > 0 && std::chrono::steady_clock::now() > d->until_ ? 1 : 0;
}

bool input_can_be_inspected(const char *name)
{
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(name, ec);
    return !std::filesystem::exists(st) || std::filesystem::is_regular_file(st);
}
