// Win32 handles behind the platform layer's int descriptors, and the
// UTF-8 <-> UTF-16 conversions every Win32 call needs.
#ifndef TARSA_PLATFORM_WIN32_HANDLES_H
#define TARSA_PLATFORM_WIN32_HANDLES_H

#include <windows.h>

#include <string>

// Registers h and returns its descriptor (>= 3), or -1 when the table is full.
int handle_add(HANDLE h);
// The handle of fd (2 is the process's standard error), or INVALID_HANDLE_VALUE.
HANDLE handle_get(int fd);
// Removes fd from the table and returns its handle (INVALID_HANDLE_VALUE if unknown).
HANDLE handle_take(int fd);

// UTF-8 -> UTF-16; false when the text is not valid UTF-8.
bool utf8_to_wide(const std::string &in, std::wstring *out);
// UTF-16 -> UTF-8 (unpaired surrogates become U+FFFD).
std::string wide_to_utf8(const std::wstring &in);

#endif
