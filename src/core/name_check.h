// File names the library hands to the tools. The tools print the names they
// are given as they are, so a line break inside a name would put text of
// the host's choosing on a line of the tool's report.
#ifndef TARSA_CORE_NAME_CHECK_H
#define TARSA_CORE_NAME_CHECK_H

// True when `name` holds a byte below 0x20 (line breaks, tabs, escapes).
// Such names are refused wherever a name reaches a tool. False for NULL.
bool name_has_control_chars(const char *name);

#endif
