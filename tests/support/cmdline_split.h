// Splitting one command line into arguments by the Microsoft C runtime's
// rules, as a Windows program does with the line it was started with.
#ifndef TARSA_TEST_CMDLINE_SPLIT_H
#define TARSA_TEST_CMDLINE_SPLIT_H

#include <string>
#include <vector>

namespace tt {

// Blanks and tabs separate, runs of them count as one; a double quote
// toggles quoting anywhere in a token and is removed; 2n backslashes before
// a quote give n backslashes and the quote acts, 2n+1 give n backslashes and
// a literal quote; other backslashes are literal; "" is an empty argument.
std::vector<std::string> cmdline_split(const std::string &line);

}  // namespace tt

#endif
