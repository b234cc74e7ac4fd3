// Facts about a source read through libavformat.
#ifndef TARSA_FF_FF_FUNC_H
#define TARSA_FF_FF_FUNC_H

#include <cstdint>

// Whole seconds of a raw H.264 file (packets / integer frame rate); 0 otherwise.
double get_h264_duration(const char *src_file);
// 1 when the first video stream carries length-prefixed NAL units (needs
// the mp4-to-annex-B filter when copied into a transport stream), else 0.
int is_h2645_mp4toannexb(const char *src_file);
// The decision on the first key packet's bytes: 1 length-prefixed, 0 start code
// (also 0 for a packet too short to decide on: no data or size <= 4).
int h2645_packet_is_length_prefixed(const uint8_t *data, int size);
// Whole seconds of `packets` at fps_num/fps_den, both divisions integer;
// 0 when the integer frame rate is 0 (e.g. a rate reported as 0/0).
double h264_duration_of(int64_t packets, int fps_num, int fps_den);

#endif
