// Command lines are built in 64 KiB buffers, too large for a thread's stack
// to hold several of; they live on the heap for the duration of one build.
#ifndef TARSA_CVT_CMD_BUFFER_H
#define TARSA_CVT_CMD_BUFFER_H

#include <memory>
#include <new>

#include "core/rtkit.h"

#define CMD_BUF_SIZE 65536

using cmd_buffer = std::unique_ptr<char[]>;

// A zero-filled CMD_BUF_SIZE buffer; running out of memory is fatal.
inline cmd_buffer make_cmd_buffer()
{
    cmd_buffer buf(new (std::nothrow) char[CMD_BUF_SIZE]());
    if (!buf) LOG_FATAL("cmd == NULL");
    return buf;
}

#endif
