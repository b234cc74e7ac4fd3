// What the tool commands of a job are built from: plain values that the job
// layer reads out of its records and option list beforehand, so that the
// command builders neither read nor write job state.
#ifndef TARSA_MEDIA_JOB_DESC_H
#define TARSA_MEDIA_JOB_DESC_H

#include <cstdint>
#include <optional>
#include <string>

#include "media/codec_compat.h"
#include "tarsasdk.h"

// The hardware fragments chosen for one command: words separated by blanks,
// "" where unused. The encoder fragment always names the video encoder,
// the software one when no hardware is used.
struct hwd_fragments {
    std::string pre;      // set-up, before the input
    std::string decoder;  // video decoder, before the input
    std::string encoder;  // video encoder, among the output options
};

struct job_desc {
    std::string tool_path;      // the ffmpeg program
    std::string src_file;       // the input as the tool opens it
    std::string dst_file;       // the output (a merge temporary for its transcode)
    dst_codec_info dst = {};    // destination container, codecs and copy choices
    std::string src_f_fmt;      // the source's container name as probed ("mov", "flv", ...)
    std::string src_v_fmt;      // the source's video codec name as probed ("h264 (High)", ...)
    bool annexb = false;        // the source's H.264/HEVC carries length-prefixed units
    hwd_fragments hwd;

    // The job's parameters.
    uint32_t width = 0;         // 0 and 0 keep the source size
    uint32_t height = 0;
    // A merge temporary's frame when the sources differ in size and the
    // host keeps it: scaled into it, aspect kept, the rest padded. 0: none.
    uint32_t fit_width = 0;
    uint32_t fit_height = 0;
    bool audio_enable = true;
    int32_t quality = 0;        // -q:v, already within what the encoder takes (video_quality)
    int32_t start_time = 0;     // cut: seconds from the source's start
    int32_t cut_length = 0;     // cut: seconds

    // Conversion options as read from the job's option list; empty when absent.
    std::optional<int32_t> threads;
    std::optional<std::string> preset;
    std::optional<ot_ex> watermark;
    std::optional<int32_t> frame_num;   // key-frame interval
    std::optional<long> ppid;           // the host's process id, when the tool is to die with it
    bool faststart = true;              // "mp4" laid out for fast start (on unless stored as 0)
};

#endif
