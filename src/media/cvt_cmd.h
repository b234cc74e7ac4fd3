// The conversion command line, and the audio fragment that the cut and
// merge command lines share with it.
#ifndef TARSA_CVT_CVT_CMD_H
#define TARSA_CVT_CVT_CMD_H

#include <cstddef>
#include <string>

#include "tarsasdk.h"

struct cvt_info;

// Builds the whole ffmpeg line into cmd (CMD_BUF_SIZE bytes). 1 built; 0 a
// missing argument or a line too long; -1 the hardware choice failed.
// May rewrite cvt_info->cvt_param.quality (NVENC takes 0..9).
int get_cvt_cmd(cvt_info *info, char *cmd);
// "<encoder> <sample rate text>" for an audio codec id. 1, or 0.
int cvt_use_audio_cmd(const char *dst_file, int a_codec_id, char *audio_cmd, size_t size);
// The drawtext grid of a watermark ("-vf drawtext=...,drawtext=... "), or ""
// when the grid has no cell.
std::string watermark_filter(const ot_ex &mark);
// The watermark text as it must stand between the quotes of text='...' so
// that the tool draws exactly this text.
std::string escape_watermark_text(const char *text);

#endif
