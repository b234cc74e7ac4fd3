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
    SdkStateGuard() { copy(saved_, live(), true); }
    ~SdkStateGuard() { copy(saved_, live(), false); }
    SdkStateGuard(const SdkStateGuard &) = delete;
    SdkStateGuard &operator=(const SdkStateGuard &) = delete;

private:
    static char *const *live()
    {
        static char *const texts[] = {s_module_path, s_ff_path, s_ffmpeg_path, s_ffprobe_path, s_ffmpeg_version};
        return texts;
    }
    void copy(char (*saved)[MAX_PATH], char *const *texts, bool save)
    {
        for (int i = 0; i < 5; i++) std::memcpy(save ? saved[i] : texts[i], save ? texts[i] : saved[i], MAX_PATH);
        if (save) startup_ = s_sdk_startup;
        else s_sdk_startup = startup_;
    }
    char saved_[5][MAX_PATH];
    int32_t startup_ = 0;
};

// Points the library at `dir` (with trailing '/') as if it lay there.
inline void set_module_path(const std::string &dir)
{
    std::memset(s_module_path, 0, sizeof s_module_path);
    std::strncpy(s_module_path, dir.c_str(), sizeof s_module_path - 1);
}

}  // namespace tt

#endif
