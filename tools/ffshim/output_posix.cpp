#include "output.h"

#include <unistd.h>

#include <cerrno>

namespace ffshim {

bool write_out(const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool say(const std::string &line) { return write_out(line + "\n"); }

}  // namespace ffshim
