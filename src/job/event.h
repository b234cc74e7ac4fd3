// The host's event callback and the one notify through which every job
// event passes.
#ifndef TARSA_SDK_EVENT_H
#define TARSA_SDK_EVENT_H

#include <cstdint>

// Runs the end-of-job check of the destination, then calls the host's
// callback. Returns the callback's result, or 0 without a callback.
int32_t notify(void *job, uint32_t code, intptr_t p1, uint32_t p2);

#endif
