// The detection record and the environment table are plain globals: tests
// write them directly and this guard puts the previous content back.
#ifndef TARSA_TEST_HWD_FIXTURE_H
#define TARSA_TEST_HWD_FIXTURE_H

#include <cstring>

#include "media/hwd.h"

namespace tt {

class HwdStateGuard {
public:
    HwdStateGuard() : info_(s_hwd_dev_info), checked_(is_chech_hwd) { std::memcpy(env_, s_hwd_env, sizeof env_); }
    ~HwdStateGuard()
    {
        s_hwd_dev_info = info_;
        std::memcpy(s_hwd_env, env_, sizeof env_);
        is_chech_hwd = checked_;
    }
    HwdStateGuard(const HwdStateGuard &) = delete;
    HwdStateGuard &operator=(const HwdStateGuard &) = delete;

private:
    hwd_dev_info info_;
    int32_t checked_;
    hwd_env env_[4];
};

}  // namespace tt

#endif
