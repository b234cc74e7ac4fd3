// Quotes an argument list into one command line that the Microsoft C
// runtime (and CommandLineToArgvW) splits back into the same list.
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

void quote_arg(const std::string &arg, std::string *out)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        *out += arg;
        return;
    }
    // Inside quotes, backslashes are literal unless a quote follows them:
    // a run of n backslashes before a quote (or the closing quote) is
    // written as 2n, and a literal quote as \".
    *out += '"';
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"') {
            out->append(backslashes * 2 + 1, '\\');
        } else {
            out->append(backslashes, '\\');
        }
        backslashes = 0;
        *out += c;
    }
    out->append(backslashes * 2, '\\');
    *out += '"';
}

}  // namespace

std::string os_cmdline_quote(const std::vector<std::string> &argv)
{
    std::string line;
    for (size_t i = 0; i < argv.size(); i++) {
        if (i > 0) line += ' ';
        quote_arg(argv[i], &line);
    }
    return line;
}
