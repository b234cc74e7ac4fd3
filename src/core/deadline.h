// How long the library waits on a source that delivers nothing: a probe and
// every in-process read of a host's file end after this many seconds.
#ifndef TARSA_CORE_DEADLINE_H
#define TARSA_CORE_DEADLINE_H

// TARSASDK_PROBE_TIMEOUT from the environment: whole seconds, 0 = no
// deadline. Unset, empty or not a whole number of seconds: 15.
int probe_timeout_seconds(void);

#endif
