// Any watermark text: FFmpeg reads the drawtext filter back as exactly that
// text, except that a line break is drawn as the letter n.
#include <algorithm>
#include <cstring>
#include <string>

#include "media/watermark.h"
#include "drawtext_read.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ot_ex mark = {};
    mark.row_num = mark.col_num = 1;
    std::strcpy(mark.font_color, "white");
    std::string text(reinterpret_cast<const char *>(data), std::min(size, sizeof mark.text));
    text.resize(std::strlen(text.c_str()));
    std::memcpy(mark.text, text.data(), text.size());
    std::string graph;
    FUZZ_CHECK(watermark_filter(mark, &graph));
    std::replace(text.begin(), text.end(), '\n', 'n');
    FUZZ_CHECK(tt::drawn_text(graph) == text);
    return 0;
}
