// Per-kind process environment for hardware use, and the driver-file test
// that may guard it. The tools started later inherit the environment.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/hwd.h"
#include "core/rtkit.h"
#include "ff/hwd_vaapi.h"
#include "platform/platform.h"

// Indexed by hardware kind; kind 3 is reserved. NVIDIA and Intel need no
// variables or driver file; the VA-API record is filled from the machine
// each time its environment is set (empty on a machine without VA-API).
hwd_env s_hwd_env[4] = {};

namespace {

// Applies one "NAME=VALUE" assignment. "NAME=" removes the variable, as the
// Windows runtime does; text without '=' or without a name is refused.
bool put_env(const char *assignment)
{
    const char *eq = std::strchr(assignment, '=');
    if (!eq || eq == assignment) return false;
    std::string name(assignment, static_cast<size_t>(eq - assignment));
    return os_setenv(name.c_str(), eq[1] == '\0' ? nullptr : eq + 1) == 0;
}

}  // namespace

int find_driver_exist(int hwd_type)
{
    if (hwd_type < 0 || hwd_type >= 3) {
        LOG_INFO("find_driver_exist type:%d not support", hwd_type);
        return 0;
    }
    char path[sizeof s_hwd_env[hwd_type].driver_path + 1];
    str_copy(path, sizeof path, s_hwd_env[hwd_type].driver_path);
    FILE *fp = std::fopen(path, "r");
    if (!fp) return 0;
    std::fclose(fp);
    return 1;
}

int set_hwd_env(int hwd_type)
{
    if (hwd_type < 0 || hwd_type > 3) {
        LOG_INFO("set_hwd_env type:%d", hwd_type);
        return 0;
    }
    if (hwd_type == HWD_TYPE_VAAPI) hwd_vaapi_locate();
    const hwd_env &env = s_hwd_env[hwd_type];
    if (env.is_check_driver && !find_driver_exist(env.driver_type)) {
        LOG_INFO("find_driver_exist type:%d", hwd_type);
        return 0;
    }
    int result = 0;
    int env_num = env.env_num < 3 ? env.env_num : 3;
    for (int i = 0; i < env_num; i++) {
        char assignment[sizeof env.env[i] + 1];
        str_copy(assignment, sizeof assignment, env.env[i]);  // a full field has no terminator
        if (!put_env(assignment)) {
            LOG_INFO("type:%d putenv:%s err", hwd_type, assignment);
            break;
        }
        result = 1;
    }
    return result;
}
