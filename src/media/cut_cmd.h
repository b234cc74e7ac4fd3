// The cut command line: one of nine fixed templates, chosen by the
// destination container (none given / "mp4" with faststart / other) and by
// how the video travels (copied from a "mov" source / copied from another
// source / re-encoded).
#ifndef TARSA_CVT_CUT_CMD_H
#define TARSA_CVT_CUT_CMD_H

struct cut_info;

// Builds the ffmpeg line of a started cut (its dst_codec_info chosen) into
// cmd (CMD_BUF_SIZE bytes) and writes it to the plain log. 1 built; 0 a
// missing argument or a line too long; -1 the hardware choice failed. May
// rewrite info->cut_param.quality (NVENC takes 0..9).
int get_cut_cmd(cut_info *info, char *cmd);

#endif
