// Parsers of the tools' console lines. Each looks for a fixed marker, cuts
// the text with fixed delimiters (strtok semantics: runs of delimiters are
// one, empty pieces are skipped) and reports -1 when a piece is missing.
// The tokenizer state lives on the caller's stack (strtok_r), so any number
// of threads may parse at once.
#include "media/parsers.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/rtkit.h"

namespace {

// Format and codec names go into the caller's 30-byte fields.
constexpr size_t kNameSize = 30;
// The duration text "HH:MM:SS.xx" is taken at most 14 characters long.
constexpr size_t kDurationSize = 15;
// The progress time text is taken at most 63 characters long.
constexpr size_t kTimeSize = 64;

// atoi as glibc defines it, without undefined behaviour on overlong digits.
int read_int(const char *s) { return static_cast<int>(std::strtol(s, nullptr, 10)); }

// Copies the bytes [from, to) into dst (dst_size bytes), at most
// dst_size - 1 of them, and terminates.
void copy_span(char *dst, size_t dst_size, const char *from, const char *to)
{
    size_t n = static_cast<size_t>(to - from);
    if (n > dst_size - 1) n = dst_size - 1;
    std::memcpy(dst, from, n);
    dst[n] = '\0';
}

// "H:M:S" read field by field with atoi into *secs; the fraction of the
// seconds is dropped. False when a field is missing. The sum wraps to 32
// bits, so an absurd hour count cannot overflow.
bool hms_seconds(char *text, int *secs)
{
    char *save = nullptr;
    char *h = strtok_r(text, ":", &save);
    char *m = h ? strtok_r(nullptr, ":", &save) : nullptr;
    char *s = m ? strtok_r(nullptr, ":", &save) : nullptr;
    if (!s) return false;
    int64_t sum = static_cast<int64_t>(read_int(h)) * 3600 + static_cast<int64_t>(read_int(m)) * 60 + read_int(s);
    *secs = static_cast<int32_t>(static_cast<uint32_t>(sum));
    return true;
}

// The text from `marker` on, when the line is a stream line ("Stream #")
// that carries the marker; nullptr otherwise.
char *stream_part(char *buf, const char *marker)
{
    if (!std::strstr(buf, "Stream #")) return nullptr;
    return std::strstr(buf, marker);
}

// The second blank-delimited token of `desc` cut at its first comma,
// copied into out. `desc` is cut in place.
int codec_name_of(char *desc, char *out)
{
    char *comma = std::strchr(desc, ',');
    if (comma) *comma = '\0';
    char *save = nullptr;
    char *first = strtok_r(desc, " ", &save);
    char *second = first ? strtok_r(nullptr, " ", &save) : nullptr;
    if (!second) return -1;
    str_copy(out, kNameSize, second);
    return 0;
}

}  // namespace

int get_buf_f_fmt(const char *buf, char *f_fmt)
{
    if (!buf || !f_fmt) {
        LOG_INFO("buf == NULL || f_fmt == NULL");
        return -1;
    }
    const char *input = std::strstr(buf, "Input #0");
    if (!input) return -1;
    std::string copy(input);
    char *save = nullptr;
    char *first = strtok_r(&copy[0], ",", &save);
    char *second = first ? strtok_r(nullptr, ",", &save) : nullptr;
    if (!second) return -1;
    char *save_name = nullptr;
    char *name = strtok_r(second, " ", &save_name);
    if (!name) return -1;
    str_copy(f_fmt, kNameSize, name);
    return 0;
}

int get_buf_header_info(const char *buf)
{
    if (!buf) {
        LOG_INFO("buf == NULL");
        return 0;
    }
    const char *marker = std::strstr(buf, "header_info=");
    if (!marker) return 0;
    std::string copy(marker);
    char *save = nullptr;
    char *key = strtok_r(&copy[0], "=", &save);
    char *value = key ? strtok_r(nullptr, "=", &save) : nullptr;
    if (!value) return 0;
    return read_int(value) == 0 ? 1 : 0;
}

int get_buf_duration(const char *buf)
{
    if (!buf) {
        LOG_INFO("buf == NULL");
        return -1;
    }
    static const char kMarker[] = "Duration: ";
    const char *start = std::strstr(buf, kMarker);
    if (!start) return -1;
    start += sizeof kMarker - 1;
    const char *comma = std::strchr(start, ',');
    if (!comma) return -1;

    char time[kDurationSize] = {0};
    copy_span(time, sizeof time, start, comma);
    if (std::strstr(time, "N/A")) return 0;
    int secs = 0;
    return hms_seconds(time, &secs) ? secs : -1;
}

int get_buf_cur_time(const char *buf)
{
    if (!buf) {
        LOG_INFO("buf == NULL");
        return -1;
    }
    static const char kMarker[] = "time=";
    const char *start = std::strstr(buf, kMarker);
    if (!start) return -1;
    start += sizeof kMarker - 1;
    const char *blank = std::strchr(start, ' ');
    if (!blank) return -1;

    char src_time[kTimeSize] = {0};
    copy_span(src_time, sizeof src_time, start, blank);
    int cur_time = 0;
    if (!hms_seconds(src_time, &cur_time)) return -1;
    if (cur_time < 0) {
        LOG_INFO("cur_time is %d", cur_time);
        return 0;
    }
    return cur_time;
}

int get_buf_resolution(char *buf, int *width, int *height)
{
    if (!buf || !width || !height) {
        LOG_INFO("buf == NULL");
        return -1;
    }
    char *desc = stream_part(buf, "Video: ");
    if (!desc) return -1;
    // The size follows a colour description that may itself hold commas
    // ("yuv420p(tv, bt709, progressive)"), so every piece is tried.
    char *save = nullptr;
    for (char *tok = strtok_r(desc, ",", &save); tok; tok = strtok_r(nullptr, ",", &save)) {
        int w = 0, h = 0;
        if (std::sscanf(tok, "%dx%d", &w, &h) == 2) {
            *width = w;
            *height = h;
            return 0;
        }
    }
    return -1;
}

int get_buf_v_fmt(char *buf, char *v_fmt)
{
    if (!buf || !v_fmt) {
        LOG_INFO("buf == NULL");
        return -1;
    }
    char *desc = stream_part(buf, "Video: ");
    if (!desc) return -1;
    // H.264 profiles are named as the video codec table names them; the
    // order makes "Constrained Baseline" Baseline and "High 10" High.
    if (std::strstr(desc, "h264")) {
        static const char *const kProfiles[][2] = {
            {"Baseline", "h264 (Baseline)"}, {"High", "h264 (High)"}, {"Main", "h264 (Main)"}};
        for (const auto &p : kProfiles) {
            if (std::strstr(desc, p[0])) {
                str_copy(v_fmt, kNameSize, p[1]);
                return 0;
            }
        }
    }
    return codec_name_of(desc, v_fmt);
}

int get_buf_a_fmt(char *buf, char *a_fmt)
{
    if (!buf || !a_fmt) {
        LOG_INFO("buf == NULL");
        return -1;
    }
    char *desc = stream_part(buf, "Audio: ");
    if (!desc) return -1;
    return codec_name_of(desc, a_fmt);
}

int get_video_detailed_param(const char *buf)
{
    if (!buf) {
        LOG_INFO("get_video_detailed_param buf == NULL");
        return -1;
    }
    return std::strstr(buf, "Stream #") && std::strstr(buf, "Video: ") ? 0 : -1;
}

int get_audio_detailed_param(const char *buf)
{
    if (!buf) {
        LOG_INFO("get_audio_detailed_param buf == NULL");
        return -1;
    }
    return std::strstr(buf, "Stream #") && std::strstr(buf, "Audio: ") ? 0 : -1;
}
