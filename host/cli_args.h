// Small helpers to read the host program's options.
#ifndef TARSA_HOST_CLI_ARGS_H
#define TARSA_HOST_CLI_ARGS_H

#include <cstdint>
#include <string>

// Whole number in [min, max]; false (and a message) otherwise.
bool parse_int(const std::string &option, const std::string &text, long min, long max, int32_t *out);
// "WxH" with both > 0.
bool parse_size(const std::string &text, uint32_t *width, uint32_t *height);
// Destination file type from the destination's extension: .mp4 3, .flv 6,
// .avi 5, .h264 2; 0 (the tool chooses from the name) otherwise.
int32_t file_type_for(const std::string &dst);

// The tools run in the library's directory: names are made absolute
// against the current directory before they reach the library.
std::string absolute_path(const std::string &path);

#endif
