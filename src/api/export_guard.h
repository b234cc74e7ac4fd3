// No C++ exception may cross an exported function: every export runs its
// body through tarsa_guarded, which logs and returns the failure value.
#ifndef TARSA_SDK_EXPORT_GUARD_H
#define TARSA_SDK_EXPORT_GUARD_H

#include <exception>

#include "core/rtkit.h"

template <typename R, typename F>
R tarsa_guarded(const char *export_name, R failure, F &&body) noexcept
{
    try {
        return body();
    } catch (const std::exception &e) {
        LOG_INFO("%s: unexpected exception: %s", export_name, e.what());
    } catch (...) {
        LOG_INFO("%s: unexpected exception", export_name);
    }
    return failure;
}

#endif
