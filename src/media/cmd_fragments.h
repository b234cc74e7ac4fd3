// Pieces that every job's ffmpeg argument list is made of, whatever its
// template: the words of a fragment, the video and audio arguments, and
// the rules that fit a job's values to the chosen encoders.
#ifndef TARSA_MEDIA_CMD_FRAGMENTS_H
#define TARSA_MEDIA_CMD_FRAGMENTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/job_desc.h"

using arg_list = std::vector<std::string>;

// Appends the words of a fragment (separated by blanks or tabs; "" adds
// nothing). Fragments come from the tables and the hardware choice, whose
// words are arguments of their own.
void append_words(arg_list &args, const std::string &fragment);
void append_all(arg_list &args, const arg_list &more);

// True when the encoder fragment names an NVENC encoder ("-c:v h264_nvenc"
// or "-c:v hevc_nvenc", "nvenc" at offset 10).
bool is_nvenc_fragment(const std::string &encoder);
// The -q:v value for an encoder fragment: NVENC takes 0..9 only, so there
// the job's quality is reduced to its (signed) remainder of division by 10.
int32_t video_quality(const std::string &encoder, int32_t quality);
// The destination choice a merge's temporaries and its joined destination
// are made with: A-law audio cannot go into a transport stream, so it
// becomes AAC, re-encoded, whenever the audio is kept.
dst_codec_info merge_codecs(const dst_codec_info &chosen, bool audio_enable);

// The video of a re-encode: the encoder fragment, "-q:v" and the quality.
arg_list video_encode_args(const job_desc &d);
// The video of a stream copy, with the Annex B filter when the source's
// H.264/HEVC stream carries length-prefixed units.
arg_list video_copy_args(bool annexb, const std::string &v_fmt);
// "-an" without audio; "-c:a copy" for copied audio; else "-c:a" with the
// encoder text of cvt_use_audio_cmd ("copy" when that fails).
arg_list job_audio_args(const job_desc &d);
// "-s" and "<width>*<height>" when both are set, else nothing.
arg_list size_args(const job_desc &d);
// The filter chain that scales a picture into fit_width x fit_height,
// aspect kept, and pads it there, centred.
std::string fit_filter(const job_desc &d);

// "<encoder> <sample rate text>" for an audio codec id: the sample rate
// text is "-ar 48000" for ".sdv" destinations, else empty. At most size
// bytes are written. 1, or 0 for a missing argument.
int cvt_use_audio_cmd(const char *dst_file, int a_codec_id, char *audio_cmd, size_t size);
// The words of cvt_use_audio_cmd, or "copy" when it fails.
arg_list audio_encoder_args(const std::string &dst_file, int a_codec_id);

#endif
