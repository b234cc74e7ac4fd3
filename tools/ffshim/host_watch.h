// The tool layer must not outlive the process that started it: a host that
// is killed cannot stop its tools, and a tool waiting on a silent source
// would wait for ever.
#ifndef TARSA_FFSHIM_HOST_WATCH_H
#define TARSA_FFSHIM_HOST_WATCH_H

namespace ffshim {

// How often the starter is looked at; the tool ends within this much (plus
// scheduling) after its starter's end.
constexpr int kHostWatchMs = 100;

// Remembers the current parent process and starts a thread that ends the
// tool layer (exit status kExitOwnerGone) once the parent has changed, i.e.
// the starter is gone. The stock child dies with the tool layer (it is
// started with a parent-death signal).
void watch_host();

}  // namespace ffshim

#endif
