// The process environment on Windows: through the C runtime, which keeps
// its own copy and the process's environment block (what children get) in step.
#include <stdlib.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

int os_setenv(const char *name, const char *value)
{
    std::wstring wname, wvalue;
    if (!name || !*name || !utf8_to_wide(name, &wname) || !utf8_to_wide(value ? value : "", &wvalue)) return -1;
    // An empty value removes the variable.
    return _wputenv_s(wname.c_str(), wvalue.c_str()) == 0 ? 0 : -1;
}
