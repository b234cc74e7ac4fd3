// Tests that run start-up under other conditions (another library
// directory, fake tools) change library-wide state; this keeps a copy and
// puts it back, so later tests see the library as they found it.
#ifndef TARSA_TEST_SDK_STATE_H
#define TARSA_TEST_SDK_STATE_H

#include <cstring>
#include <string>

#include "core/globals.h"
#include "test_util.h"

namespace tt {

class SdkStateGuard : SavedVars {
public:
    SdkStateGuard()
        : SavedVars(s_module_path, s_ff_path, s_ffmpeg_path, s_ffprobe_path, s_ffmpeg_version, s_sdk_startup)
    {
    }
};

// Points the library at `dir` (with trailing '/') as if it lay there.
inline void set_module_path(const std::string &dir)
{
    std::memset(s_module_path, 0, sizeof s_module_path);
    std::strncpy(s_module_path, dir.c_str(), sizeof s_module_path - 1);
}

}  // namespace tt

#endif
