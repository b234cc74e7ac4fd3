// Joins an argument list into one command line that the Microsoft C runtime
// splits back into the same list (as libuv quotes the arguments of a child).
// Portable: the Windows runner starts children with this line, and every
// platform's logs show it.
#include "platform/platform.h"

namespace {

// Blanks and tabs separate arguments; line breaks are quoted as well so
// that a logged line shows where an argument holding one begins and ends.
bool needs_quotes(const std::string &arg)
{
    return arg.empty() || arg.find_first_of(" \t\n\v\r\"") != std::string::npos;
}

// Inside quotes a backslash is literal unless a run of them ends at a
// double quote: then each one is doubled, and a quote of the argument
// gets one more backslash of its own.
void append_quoted(const std::string &arg, std::string *line)
{
    line->push_back('"');
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"') line->append(2 * backslashes + 1, '\\');
        else line->append(backslashes, '\\');
        backslashes = 0;
        line->push_back(c);
    }
    // Before the closing quote, so that it stays a closing quote.
    line->append(2 * backslashes, '\\');
    line->push_back('"');
}

}  // namespace

std::string os_cmdline_quote(const std::vector<std::string> &args)
{
    std::string line;
    for (const std::string &arg : args) {
        if (!line.empty()) line.push_back(' ');
        if (needs_quotes(arg)) append_quoted(arg, &line);
        else line += arg;
    }
    return line;
}
