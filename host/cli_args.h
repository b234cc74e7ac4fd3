// Parsing of the values the host program's options take, and the
// destination types it derives from file names.
#ifndef TARSA_HOST_CLI_ARGS_H
#define TARSA_HOST_CLI_ARGS_H

#include <cstdint>
#include <string>

// Whole number in [min, max]; false (and a message) otherwise.
bool parse_int(const std::string &option, const std::string &text, long min, long max, int32_t *out);
// "WxH": both even, from 16 to 8192; false (and a message saying which rule broke) otherwise.
bool parse_size(const std::string &text, uint32_t *width, uint32_t *height);
// "SS[.ms]", "MM:SS[.ms]" or "HH:MM:SS[.ms]" in milliseconds; false (and a message) otherwise.
bool parse_time(const std::string &option, const std::string &text, long long *ms);
// A destination type as a number (0..255) or a name (sdv, h264, mp4, avi, flv, auto).
bool parse_type(const std::string &text, int32_t *type);

// The type the library writes best for a destination's extension; -1 when
// it cannot make such a file at all (audio-only, images, webm, unknown).
int32_t type_for_destination(const std::string &dst);
// The extensions type_for_destination accepts, for messages.
const char *supported_extensions();
// File type that lets the tool pick the container from the destination's
// name, with the widest list of codecs it may copy.
constexpr int32_t TYPE_BY_NAME = 7;

// The tools run in the library's directory: names are made absolute
// against the current directory before they reach the library.
std::string absolute_path(const std::string &path);

#endif
