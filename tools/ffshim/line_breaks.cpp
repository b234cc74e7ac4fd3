#include "line_breaks.h"

namespace ffshim {

std::string LineBreakFilter::feed(const char *data, size_t size)
{
    std::string out;
    out.reserve(size);
    for (size_t i = 0; i < size; i++) {
        char c = data[i];
        bool lf_of_pair = c == '\n' && after_cr_;
        after_cr_ = c == '\r';
        if (lf_of_pair) continue;
        out += after_cr_ ? '\n' : c;
    }
    return out;
}

}  // namespace ffshim
