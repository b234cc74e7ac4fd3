// Tests that run start-up under other conditions (another library
// directory, fake tools) change library-wide state; this keeps a copy and
// puts it back, so later tests see the library as they found it.
#ifndef TARSA_TEST_SDK_STATE_H
#define TARSA_TEST_SDK_STATE_H

#include <cstring>
#include <string>

#include "core/globals.h"

namespace tt {

class SdkStateGuard {
public:
    SdkStateGuard()
    {
        std::memcpy(module_, s_module_path, sizeof module_);
        std::memcpy(ff_, s_ff_path, sizeof ff_);
        std::memcpy(ffmpeg_, s_ffmpeg_path, sizeof ffmpeg_);
        std::memcpy(ffprobe_, s_ffprobe_path, sizeof ffprobe_);
        std::memcpy(version_, s_ffmpeg_version, sizeof version_);
        startup_ = s_sdk_startup;
    }
    ~SdkStateGuard()
    {
        std::memcpy(s_module_path, module_, sizeof module_);
        std::memcpy(s_ff_path, ff_, sizeof ff_);
        std::memcpy(s_ffmpeg_path, ffmpeg_, sizeof ffmpeg_);
        std::memcpy(s_ffprobe_path, ffprobe_, sizeof ffprobe_);
        std::memcpy(s_ffmpeg_version, version_, sizeof version_);
        s_sdk_startup = startup_;
    }
    SdkStateGuard(const SdkStateGuard &) = delete;
    SdkStateGuard &operator=(const SdkStateGuard &) = delete;

private:
    char module_[MAX_PATH];
    char ff_[MAX_PATH];
    char ffmpeg_[MAX_PATH];
    char ffprobe_[MAX_PATH];
    char version_[MAX_PATH];
    int32_t startup_;
};

// Points the library at `dir` (with trailing '/') as if it lay there.
inline void set_module_path(const std::string &dir)
{
    std::memset(s_module_path, 0, sizeof s_module_path);
    std::strncpy(s_module_path, dir.c_str(), sizeof s_module_path - 1);
}

}  // namespace tt

#endif
