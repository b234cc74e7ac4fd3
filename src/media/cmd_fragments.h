// Pieces that every job's ffmpeg line is made of, whatever its outer
// template: the hardware fragments, the stream-copy video fragment, the NVENC
// test and the audio codec text.
#ifndef TARSA_CVT_CMD_FRAGMENTS_H
#define TARSA_CVT_CMD_FRAGMENTS_H

#include <cstddef>
#include <cstdint>

#include "media/hwd.h"
#include "tarsasdk.h"

struct dst_codec_info;

// The hardware set-up, video decoder and video encoder fragments of one
// build (the encoder fragment is the software encoder without hardware).
struct hwd_fragments {
    char pre[HWD_CMD_SIZE];
    char decoder[HWD_CMD_SIZE];
    char encoder[HWD_CMD_SIZE];
};

// Chooses the hardware for a job and fills the fragments (zeroed first). A
// chosen hardware decoder that cannot decode src_file is dropped. 1, or -1
// after logging "!get_cvt_hwd_type".
int get_job_hwd_fragments(uint32_t usage_mode, const dst_codec_info *dst, const probe_result *result,
                          int32_t hwd_type, const char *src_file, hwd_fragments *out);

// True when the encoder fragment names an NVENC encoder ("-c:v h264_nvenc"
// or "-c:v hevc_nvenc"), which takes a quality of 0..9 only.
bool is_nvenc_fragment(const char *encoder_cmd);

// The video fragment of a stream copy, with the Annex B filter when the
// source's H.264/HEVC stream carries length-prefixed units. Ends in a blank.
const char *video_copy_fragment(uint32_t h2645_mp4toannexb, const char *v_fmt);

// What follows "-c:a ": "copy" when the audio is copied, else the encoder
// text of cvt_use_audio_cmd ("copy" when that fails). Bounded by size.
void job_audio_codec(const char *dst_file, const dst_codec_info *dst, char *out, size_t size);

#endif
