// Appends printf-style fragments to a fixed command buffer and remembers
// when one did not fit, so that an over-long line is refused, not cut.
#ifndef TARSA_CVT_CMD_APPENDER_H
#define TARSA_CVT_CMD_APPENDER_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>

class cmd_appender {
public:
    cmd_appender(char *buf, size_t size) : buf_(buf), size_(size) { buf_[0] = '\0'; }

    void append(const char *fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (overflow_) return;
        va_list ap;
        va_start(ap, fmt);
        int n = std::vsnprintf(buf_ + len_, size_ - len_, fmt, ap);
        va_end(ap);
        if (n < 0 || static_cast<size_t>(n) >= size_ - len_) {
            overflow_ = true;
            buf_[len_] = '\0';
            return;
        }
        len_ += static_cast<size_t>(n);
    }
    // Removes the last character (the blank or comma that ended a fragment).
    void drop_last()
    {
        if (len_ > 0) buf_[--len_] = '\0';
    }
    size_t length() const { return len_; }
    bool overflow() const { return overflow_; }

private:
    char *buf_;
    size_t size_;
    size_t len_ = 0;
    bool overflow_ = false;
};

#endif
