// Turning the stock programs' status lines, which end in a lone CR so that a
// terminal redraws them in place, into lines of their own for a reader that
// reads line by line.
#ifndef TARSA_FFSHIM_LINE_BREAKS_H
#define TARSA_FFSHIM_LINE_BREAKS_H

#include <cstddef>
#include <string>

namespace ffshim {

// Fed the output in the chunks it arrives in: each lone CR becomes LF, a CR
// LF pair stays one LF, also when the pair is split between two chunks. A CR
// is turned into LF at once, so a status line is passed on without waiting
// for the next chunk.
class LineBreakFilter {
public:
    std::string feed(const char *data, size_t size);

private:
    bool after_cr_ = false;  // the last byte fed was a CR, already sent as LF
};

}  // namespace ffshim

#endif
