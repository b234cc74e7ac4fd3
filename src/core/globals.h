// Library-wide state written at start-up and read afterwards without locks.
#ifndef TARSA_SDK_GLOBALS_H
#define TARSA_SDK_GLOBALS_H

#include <cstdint>

#define MAX_PATH 260

extern char s_module_path[MAX_PATH];      // the library's directory, with trailing '/'
extern char s_ff_path[MAX_PATH];
extern char s_ffmpeg_path[MAX_PATH];      // s_ff_path + "ffmpeg"
extern char s_ffprobe_path[MAX_PATH];     // s_ff_path + "ffprobe"
extern char s_ffmpeg_version[MAX_PATH];
extern int32_t s_sdk_startup;
extern const char s_cmd_suffix[];         // "" : ends every command line

int set_ff_path(const char *path);
int set_ffmpeg_version(const char *ffmpeg_version);
int check_ffmpeg_version(void);
// Copies the version text of a "ffmpeg version ... Copyright" line into the
// zero-filled `out` (MAX_PATH bytes). 0, or -1 when the line has none.
int get_buf_ffmpeg_version(const char *buf, char *out);

#endif
