// The process environment on POSIX.
#include <stdlib.h>

#include "platform/platform.h"

int os_setenv(const char *name, const char *value)
{
    if (!name || !*name) return -1;
    return value ? setenv(name, value, 1) : unsetenv(name);
}
