#include <windows.h>

#include "output.h"

namespace ffshim {

// Straight to the handle: the C runtime's text mode would turn LF into CR LF.
bool write_out(const std::string &text)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        if (!WriteFile(out, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

bool say(const std::string &line) { return write_out(line + "\n"); }

}  // namespace ffshim
