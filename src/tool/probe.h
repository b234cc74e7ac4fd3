// Probing a media file by running the ffprobe tool and parsing its output.
#ifndef TARSA_CVT_PROBE_H
#define TARSA_CVT_PROBE_H

#include <cstdint>

#include "tarsasdk.h"

// Probes a (converted) name into result; raises *h2645_mp4toannexb when the
// tool reports length-prefixed video (flag may be NULL). 1 / 0.
int internal_probe(const char *filename, probe_result *result, uint32_t *h2645_mp4toannexb);
// As internal_probe without the flag, also keeping the last stream lines.
int internal_probe_ex(const char *filename, probe_result_ex *result);
// 1 when the tool reports a container format for the file.
int probe_has_format(const char *filename);
void dump_probe_result(const char *filename, const probe_result *result);

#endif
