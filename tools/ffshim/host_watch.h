// The tool layer must not outlive the process that started it: a host that
// is killed cannot stop its tools, and a tool waiting on a silent source
// would wait for ever.
#ifndef TARSA_FFSHIM_HOST_WATCH_H
#define TARSA_FFSHIM_HOST_WATCH_H

namespace ffshim {

// How often the starter is looked at where it cannot be waited for; the
// tool ends within this much (plus scheduling) after its starter's end.
constexpr int kHostWatchMs = 100;

// Starts a thread that ends the tool layer (exit status kExitOwnerGone) once
// the process that started it has ended: on POSIX when the parent pid has
// changed, on Windows when a handle to the starter is signalled. The stock
// child dies with the tool layer (a parent-death signal on POSIX, a job
// object that kills its processes when closed on Windows).
void watch_host();

}  // namespace ffshim

#endif
