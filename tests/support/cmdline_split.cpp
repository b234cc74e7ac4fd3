#include "cmdline_split.h"

namespace tt {

std::vector<std::string> cmdline_split(const std::string &line)
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

}  // namespace tt
