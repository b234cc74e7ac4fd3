// The host's event callback and the one notify through which every job
// event passes.
#ifndef TARSA_SDK_EVENT_H
#define TARSA_SDK_EVENT_H

#include <cstdint>

#include "tarsasdk.h"

struct job;

// Runs the end-of-job check of the destination, then calls the host's
// callback with the job's handle. Returns the callback's result, or 0
// without a callback.
int32_t notify(job *j, uint32_t code, intptr_t p1, uint32_t p2);
// Registers the host's callback (NULL: none).
void set_event_callback(tarsa_mess_callback callback, void *user);

#endif
