// Splits a command line the way the Windows C runtime builds argv, so that
// one command string means the same arguments on every platform.
#include <new>

#include "platform/platform.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Reads one argument starting at s (not a blank, not the end); returns the
// position after it.
const char *take_argument(const char *s, std::string *arg)
{
    bool quoted = false;
    while (*s && (quoted || !is_blank(*s))) {
        if (*s == '\\') {
            size_t run = 0;
            while (s[run] == '\\') run++;
            if (s[run] == '"') {
                // Before a quote, backslashes escape in pairs; an odd one
                // left over makes the quote literal.
                arg->append(run / 2, '\\');
                s += run;
                if (run % 2 == 1) {
                    arg->push_back('"');
                    s++;
                }
            } else {
                arg->append(run, '\\');
                s += run;
            }
        } else if (*s == '"') {
            quoted = !quoted;
            s++;
        } else {
            arg->push_back(*s++);
        }
    }
    return s;
}

}  // namespace

bool os_cmdline_split(const char *cmdline, std::vector<std::string> *args)
{
    if (!args) return false;
    args->clear();
    if (!cmdline) return true;
    try {
        const char *s = cmdline;
        for (;;) {
            while (is_blank(*s)) s++;
            if (!*s) break;
            std::string arg;
            s = take_argument(s, &arg);
            args->push_back(std::move(arg));
        }
    } catch (const std::bad_alloc &) {
        args->clear();
        return false;
    }
    return true;
}
