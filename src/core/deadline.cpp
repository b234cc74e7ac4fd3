// The stalled-source deadline, read from the environment on every use so
// that a host may change it between calls.
#include "core/deadline.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {
constexpr int k_default_probe_timeout = 15;
}

int probe_timeout_seconds(void)
{
    const char *text = std::getenv("TARSASDK_PROBE_TIMEOUT");
    if (!text || *text < '0' || *text > '9') return k_default_probe_timeout;
    errno = 0;
    char *end = nullptr;
    long seconds = std::strtol(text, &end, 10);
    if (*end != '\0') return k_default_probe_timeout;
    if (errno == ERANGE || seconds > INT_MAX) return INT_MAX;
    return static_cast<int>(seconds);
}
