// The shim's standard output: the stock program's output and the shim's own
// lines go there, unbuffered, so that each line reaches the reader at once.
#ifndef TARSA_FFSHIM_OUTPUT_H
#define TARSA_FFSHIM_OUTPUT_H

#include <string>

namespace ffshim {

// Writes all of `text`; false when standard output can no longer be written.
bool write_out(const std::string &text);
// Writes one line of the shim's own: `line` and a line break.
bool say(const std::string &line);

}  // namespace ffshim

#endif
