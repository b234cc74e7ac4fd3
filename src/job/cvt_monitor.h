#ifndef TARSA_SDK_CVT_MONITOR_H
#define TARSA_SDK_CVT_MONITOR_H

// The monitor thread of a conversion (argument: its cvt_info).
int get_cvt_progress(void *arg);

#endif
