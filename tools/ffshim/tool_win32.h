// Helpers the Windows parts of the tool layer share: names are UTF-8 inside
// the tool layer and UTF-16 at every Win32 call.
#ifndef TARSA_FFSHIM_TOOL_WIN32_H
#define TARSA_FFSHIM_TOOL_WIN32_H

#include <string>
#include <vector>

namespace ffshim {

std::wstring widen(const std::string &utf8);
std::string narrow(const std::wstring &utf16);
// The full path of this program's own file.
std::wstring self_path();
// Directory part of a path, with its trailing separator.
std::wstring dir_of(const std::wstring &path);

// Runs `program` with `args` as run_stock does, but collects its output
// (line breaks as they came) in `output` instead of passing it on. The exit
// code, or kExitNotStarted.
int run_stock_collected(const std::string &program, const std::vector<std::string> &args, std::string *output);

}  // namespace ffshim

#endif
