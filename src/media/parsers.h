// Parsers of the tools' output lines. Stateless and safe on many threads.
// Numeric results: -1 means not found.
#ifndef TARSA_CVT_PARSERS_H
#define TARSA_CVT_PARSERS_H

int get_buf_f_fmt(const char *buf, char *f_fmt);          // out: 30 bytes, zero-filled
int get_buf_header_info(const char *buf);                 // 1 when "header_info=0"
int get_buf_duration(const char *buf);                    // seconds, 0 for N/A, -1
int get_buf_resolution(char *buf, int *width, int *height);  // in place
int get_buf_v_fmt(char *buf, char *v_fmt);                // in place
int get_buf_a_fmt(char *buf, char *a_fmt);                // in place
int get_video_detailed_param(const char *buf);            // 0 video stream line, else -1
int get_audio_detailed_param(const char *buf);
int get_buf_cur_time(const char *buf);                    // "time=" seconds, 0 if negative, -1

#endif
