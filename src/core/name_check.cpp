#include "core/name_check.h"

bool name_has_control_chars(const char *name)
{
    if (!name) return false;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; p++)
        if (*p < 0x20) return true;
    return false;
}
