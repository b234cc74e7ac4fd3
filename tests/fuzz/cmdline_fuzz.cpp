// Any argument list (the input's NUL bytes separate the arguments): the
// command line it is quoted into splits back into the same list by the
// Microsoft C runtime's rules.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "cmdline_split.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string all(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> args;
    for (size_t at = 0; size > 0;) {
        const size_t end = all.find('\0', at);
        args.push_back(all.substr(at, end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    FUZZ_CHECK(tt::cmdline_split(os_cmdline_quote(args)) == args);
    return 0;
}
