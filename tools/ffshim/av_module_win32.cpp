#include <windows.h>

#include "av_module.h"
#include "output.h"
#include "tool_win32.h"

namespace ffshim {
namespace {

// The module (ffshim_av.dll) lies next to the tool layer, and so do the
// FFmpeg DLLs it imports.
HMODULE load_module()
{
    static HMODULE module = nullptr;
    if (module) return module;
    const std::wstring path = dir_of(self_path()) + L"ffshim_av.dll";
    module = LoadLibraryW(path.c_str());
    if (!module)
        say("ffshim: cannot load " + narrow(path) + " (error " + std::to_string(GetLastError()) + ")");
    return module;
}

}  // namespace

// The module's FFmpeg libraries are not the stock program's build: the
// stock program itself is asked.
int stock_has_encoder(const std::string &program, const char *name)
{
    std::string output;
    const std::string encoder = name;
    if (run_stock_collected(program, {"-hide_banner", "-h", "encoder=" + encoder}, &output) != 0) return -1;
    return output.find("Encoder " + encoder + " ") != std::string::npos ? 1 : 0;
}

int input_is_length_prefixed(const std::string &path)
{
    HMODULE module = load_module();
    auto fn = module ? reinterpret_cast<int (*)(const char *)>(
                           reinterpret_cast<void *>(GetProcAddress(module, "ffshim_is_length_prefixed")))
                     : nullptr;
    return fn ? fn(path.c_str()) : -1;
}

}  // namespace ffshim
