// The dst_info record that the conversion and merge starts fill for the
// host from the job's destination choice.
#ifndef TARSA_SDK_DST_INFO_FILL_H
#define TARSA_SDK_DST_INFO_FILL_H

#include "media/codec_compat.h"
#include "tarsasdk.h"

// Copy flags, and the table names of the container and codecs (the
// "default" row's name for an unknown id), at most 29 bytes each: the last
// byte of each name field is left as the host passed it.
void fill_dst_info(const dst_codec_info &chosen, dst_info *out);

#endif
