// Start-up clean-up of tools whose host process is gone.
#ifndef TARSA_CVT_ORPHAN_CLEANUP_H
#define TARSA_CVT_ORPHAN_CLEANUP_H

// Kills every ffmpeg/ffprobe process that a host started (its environment
// carries TARSASDK_HOST=<pid>:<start time>) when that host no longer runs.
// Tools started by anyone else are never touched.
void kill_zombie_process(void);

// Parses "<pid>:<start time>". False when the text is not a marker.
bool parse_host_marker(const char *marker, int *pid, unsigned long long *start_time);

#endif
