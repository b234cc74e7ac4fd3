// What keeps an in-process libavformat read of a host's source from waiting
// for ever on a source that delivers nothing.
#ifndef TARSA_FF_FF_INPUT_GUARD_H
#define TARSA_FF_FF_INPUT_GUARD_H

#include <chrono>

struct AVFormatContext;

// The interrupt callback of one input. The open (with the stream
// information) must finish within the probe timeout, and so must each
// later read: restart() after every packet, so that a long file that keeps
// delivering is read to its end.
class input_deadline {
public:
    input_deadline();
    input_deadline(const input_deadline &) = delete;
    input_deadline &operator=(const input_deadline &) = delete;
    // Installs the callback; `ctx` must not outlive this object.
    void arm(AVFormatContext *ctx);
    void restart();

private:
    static int expired(void *self);
    std::chrono::seconds timeout_;
    std::chrono::steady_clock::time_point until_;
};

// False for a name that exists but is not a regular file (a FIFO, socket or
// device): opening one can block in the kernel before any callback runs,
// and what is read from it here is lost to the tool that needs it. Names
// that are not files on disk (URLs) are left to libavformat.
bool input_can_be_inspected(const char *name);

#endif
