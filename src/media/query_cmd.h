// The commands that ask the tools about a file or about themselves.
#ifndef TARSA_MEDIA_QUERY_CMD_H
#define TARSA_MEDIA_QUERY_CMD_H

#include <string>
#include <vector>

// The probe of one file: ffprobe_path -i filename.
std::vector<std::string> get_probe_cmd(const std::string &ffprobe_path, const std::string &filename);
// The version query of the ffmpeg tool in the library's directory
// (module_dir ends with its separator).
std::vector<std::string> get_version_cmd(const std::string &module_dir);

#endif
