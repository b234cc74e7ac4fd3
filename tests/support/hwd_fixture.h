// Test helpers for the hardware tables: the detection record and the
// environment table are plain globals, so tests write them directly and a
// guard puts the previous content back.
#ifndef TARSA_TEST_HWD_FIXTURE_H
#define TARSA_TEST_HWD_FIXTURE_H

#include <cstring>
#include <vector>

#include "media/hwd.h"

namespace tt {

class HwdStateGuard {
public:
    HwdStateGuard()
    {
        std::memcpy(&saved_dev_info_, &s_hwd_dev_info, sizeof saved_dev_info_);
        std::memcpy(saved_env_, s_hwd_env, sizeof saved_env_);
        saved_checked_ = is_chech_hwd;
    }
    ~HwdStateGuard()
    {
        std::memcpy(&s_hwd_dev_info, &saved_dev_info_, sizeof saved_dev_info_);
        std::memcpy(s_hwd_env, saved_env_, sizeof saved_env_);
        is_chech_hwd = saved_checked_;
    }
    HwdStateGuard(const HwdStateGuard &) = delete;
    HwdStateGuard &operator=(const HwdStateGuard &) = delete;

private:
    hwd_dev_info saved_dev_info_;
    hwd_env saved_env_[4];
    int32_t saved_checked_;
};

// One detected kind with its four flags: H.264 / HEVC decode, H.264 / HEVC encode.
inline hwd_dev make_hwd_dev(int hwd_type, int dec_h264, int dec_hevc, int enc_h264, int enc_hevc)
{
    hwd_dev dev;
    std::memset(&dev, 0, sizeof dev);
    dev.hwd_type = hwd_type;
    dev.decode[0] = dec_h264;
    dev.decode[1] = dec_hevc;
    dev.encode[0] = enc_h264;
    dev.encode[1] = enc_hevc;
    return dev;
}

// Replaces the detection record with the given entries.
inline void set_detected(const std::vector<hwd_dev> &devs)
{
    std::memset(&s_hwd_dev_info, 0, sizeof s_hwd_dev_info);
    int i = 0;
    for (const hwd_dev &d : devs) {
        if (i >= 3) break;
        s_hwd_dev_info.dev[i++] = d;
    }
    s_hwd_dev_info.hwd_num = i;
}

}  // namespace tt

#endif
