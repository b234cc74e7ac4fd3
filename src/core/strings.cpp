// Bounded string copies.
#include <cstring>

#include "core/rtkit.h"

size_t str_copy(char *dst, size_t dst_size, const char *src)
{
    if (!dst || dst_size == 0) return 0;
    if (!src) { dst[0] = '\0'; return 0; }
    size_t n = strnlen(src, dst_size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}
