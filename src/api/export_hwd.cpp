// Exports: hardware detection into the library's record or the host's.
#include "media/hwd.h"
#include "core/rtkit.h"
#include "tarsasdk.h"

namespace {
// Set once a detection into the library's own record has succeeded (the
// flag's declared name keeps the spelling other parts use).
int32_t &hwd_detection_done = is_chech_hwd;
}  // namespace

extern "C" TARSA_API int tarsa_register_hwd(void)
{
    try {
        if (hwd_detection_done) {
            LOG_INFO("tarsa_check_hwd_is_use is_chech_hwd");
            return 1;
        }
        if (!register_hwd()) return 0;
        hwd_detection_done = 1;
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" TARSA_API int tarsa_sdk_find_usr_hwd(hwd_dev_info *dev_info)
{
    try {
        return find_usr_hwd(dev_info);
    } catch (...) {
        return 0;
    }
}
