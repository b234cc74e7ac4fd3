// The parts of the tool layer that need the FFmpeg libraries, built as a
// module that the tool layer loads only when it needs them: loading those
// libraries takes longer than the tool layer's whole own work.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "ff/ff_func.h"

#ifdef _WIN32
#define FFSHIM_EXPORT __declspec(dllexport)
#else
#define FFSHIM_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// 1 when the stock build has an encoder of that name.
FFSHIM_EXPORT int ffshim_has_encoder(const char *name)
{
    return avcodec_find_encoder_by_name(name) != nullptr ? 1 : 0;
}

// 1 when the file's first video stream carries length-prefixed NAL units.
FFSHIM_EXPORT int ffshim_is_length_prefixed(const char *path)
{
    av_log_set_level(AV_LOG_QUIET);  // the tool's own output is the probe's
    return is_h2645_mp4toannexb(path) == 1 ? 1 : 0;
}

}  // extern "C"
