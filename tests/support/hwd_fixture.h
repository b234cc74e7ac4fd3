// The detection record and the environment table are plain globals: tests
// write them directly and this guard puts the previous content back.
#ifndef TARSA_TEST_HWD_FIXTURE_H
#define TARSA_TEST_HWD_FIXTURE_H

#include "media/hwd.h"
#include "test_util.h"

namespace tt {

class HwdStateGuard : SavedVars {
public:
    HwdStateGuard() : SavedVars(s_hwd_dev_info, s_hwd_env, is_chech_hwd) {}
};

}  // namespace tt

#endif
