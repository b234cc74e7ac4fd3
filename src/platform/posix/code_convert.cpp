// File-name code conversion: hosts pass UTF-8; a legacy host's GB18030 name
// is converted to UTF-8. The set names the callers pass are informational.
#include <iconv.h>

#include <cstring>

#include "platform/platform.h"

static bool is_valid_utf8(const unsigned char *s, size_t n)
{
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        size_t len;
        unsigned int cp;
        if (c < 0x80) { i++; continue; }
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > n) return false;
        for (size_t k = 1; k < len; k++) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += len;
    }
    return true;
}

int os_code_convert(const char * /*to_set*/, const char * /*from_set*/, char *out, size_t out_size,
                    const char *in, size_t in_len)
{
    if (!out || out_size == 0 || !in) return 0;
    std::memset(out, 0, out_size);
    if (in_len == 0) return 0;
    if (is_valid_utf8(reinterpret_cast<const unsigned char *>(in), in_len)) {
        if (in_len >= out_size) return 0;
        std::memcpy(out, in, in_len);
        return static_cast<int>(in_len);
    }
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char *src = const_cast<char *>(in);
    size_t src_left = in_len;
    char *dst = out;
    size_t dst_left = out_size - 1;  // keep room for the terminator
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || src_left != 0) {
        std::memset(out, 0, out_size);
        return 0;
    }
    return static_cast<int>(dst - out);
}
