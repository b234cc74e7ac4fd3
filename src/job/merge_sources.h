// The sources of merge jobs, the names of their temporaries and the
// library-wide directory the temporaries go into.
#ifndef TARSA_SDK_MERGE_SOURCES_H
#define TARSA_SDK_MERGE_SOURCES_H

#include <atomic>
#include <cstdint>

#include "core/globals.h"

struct merge_info;

#define MAX_MERGE_FILE_NUM 64

// Directory of new temporaries, ending with the platform's separator;
// empty: the destination's directory.
extern char s_tmp_path[MAX_PATH];
// Numbers the temporaries of all jobs; never reset. Atomic so that jobs
// adding sources on different threads never share a name.
extern std::atomic<int32_t> s_tmp_file_index;
extern const char s_merge_tmp_file_ext[];  // "ts"

// Writes the directory part of `path` (up to and with its last '\' or '/')
// into `dir` (MAX_PATH bytes). 1, or 0 when there is none (dir untouched).
int get_file_path(const char *path, char *dir);
// Writes "<dir>merge_tmp_file-<pid>-<n>.<ext>" into `name` (MAX_PATH bytes),
// dir being s_tmp_path or else dst_path, and takes the number; numbers whose
// file exists are passed over. 1 or 0.
int get_tmp_file_name(const char *dst_path, const char *ext, char *name);
// Makes `path` (with the separator added) the directory of new
// temporaries, creating its last level if needed. 1 or 0.
int set_tmp_path(const char *path);

// Probes the source and adds it with its temporary's name. 1, or 0 (logged).
int merge_add_source(merge_info *info, const char *src_file);
// Removes the first source of that name. 1, or 0 for a name too long.
int merge_del_source(merge_info *info, const char *src_file);

#endif
