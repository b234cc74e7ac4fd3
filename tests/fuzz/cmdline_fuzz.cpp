// Any argument list (the input's NUL bytes separate the arguments): the
// command line it is quoted into splits back into the same list by the
// Microsoft C runtime's rules.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "fuzz_check.h"

// The Microsoft C runtime's split: blanks separate outside quotes; a double
// quote toggles quoting and is removed; 2n backslashes before a quote give n
// and the quote acts, 2n+1 give n and a literal quote; others are literal.
static std::vector<std::string> cmdline_split(const std::string &line)
{
    std::vector<std::string> args;
    const char *s = line.c_str();
    for (;;) {
        while (*s == ' ' || *s == '\t') s++;
        if (!*s) return args;
        std::string arg;
        bool quoted = false;
        while (*s && (quoted || (*s != ' ' && *s != '\t'))) {
            size_t run = 0;
            while (s[run] == '\\') run++;
            if (run > 0 && s[run] == '"') {
                // Before a quote, backslashes escape in pairs; an odd one
                // left over makes the quote literal.
                arg.append(run / 2, '\\');
                s += run;
                if (run % 2 == 1) arg.push_back(*s++);
            } else if (run > 0) {
                arg.append(run, '\\');
                s += run;
            } else if (*s == '"') {
                quoted = !quoted;
                s++;
            } else {
                arg.push_back(*s++);
            }
        }
        args.push_back(arg);
    }
}

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
    FUZZ_CHECK(cmdline_split(os_cmdline_quote(args)) == args);
    return 0;
}
