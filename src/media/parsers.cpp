// Parsers of the tools' console lines. Each finds its line by the exact
// prefix the tool writes, cuts the text with fixed delimiters (strtok
// semantics: runs of delimiters are one, empty pieces are skipped) and
// reports -1 when a piece is missing. The tokenizer state lives on the
// caller's stack (strtok_r), so any number of threads may parse at once.
#include "media/parsers.h"

#include <cctype>
#include <climits>
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

bool starts_with(const char *s, const char *prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

size_t indent_of(const char *s) { return std::strspn(s, " "); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Skips one or more characters of `set`-class; nullptr when there is none.
template <typename Pred>
const char *skip_run(const char *p, Pred pred, size_t max)
{
    size_t n = 0;
    while (n < max && pred(p[n])) n++;
    return n ? p + n : nullptr;
}

// The type part ("Video: ...") of a stream line as the tool writes it:
// "Stream #N:M", optional "[0x<hex>]" and "(<language>)", then ": ", at an
// indentation of two blanks (four in FFmpeg 4). A language is a short code;
// one holding blanks, colons or brackets is not taken, since the tool
// prints it as it is. nullptr for any other line.
const char *stream_type_of(const char *line)
{
    const size_t indent = indent_of(line);
    if (indent != 2 && indent != 4) return nullptr;
    const char *p = line + indent;
    if (!starts_with(p, "Stream #")) return nullptr;
    p += std::strlen("Stream #");
    if (!(p = skip_run(p, is_digit, 10)) || *p++ != ':' || !(p = skip_run(p, is_digit, 10))) return nullptr;
    if (starts_with(p, "[0x")) {
        p = skip_run(p + 3, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }, 16);
        if (!p || *p++ != ']') return nullptr;
    }
    if (*p == '(') {
        p = skip_run(p + 1, [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; },
                     32);
        if (!p || *p++ != ')') return nullptr;
    }
    return starts_with(p, ": ") ? p + 2 : nullptr;
}

// The text from `marker` ("Video: ", "Audio: ") on, when the line is a
// stream line of that type; nullptr otherwise.
char *stream_part(char *buf, const char *marker)
{
    const char *type = stream_type_of(buf);
    return type && starts_with(type, marker) ? buf + (type - buf) : nullptr;
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
    if (!starts_with(buf, "Input #0")) return -1;
    std::string copy(buf);
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
    if (!starts_with(buf, "header_info=")) return 0;
    std::string copy(buf);
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
    static const char kMarker[] = "  Duration: ";
    if (!starts_with(buf, kMarker)) return -1;
    const char *start = buf + sizeof kMarker - 1;
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
    if (!is_status_line(buf)) return -1;
    static const char kMarker[] = " time=";
    const char *start = std::strstr(buf, kMarker) + sizeof kMarker - 1;
    const char *blank = std::strchr(start, ' ');

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
    const char *type = stream_type_of(buf);
    return type && starts_with(type, "Video: ") ? 0 : -1;
}

int get_audio_detailed_param(const char *buf)
{
    if (!buf) {
        LOG_INFO("get_audio_detailed_param buf == NULL");
        return -1;
    }
    const char *type = stream_type_of(buf);
    return type && starts_with(type, "Audio: ") ? 0 : -1;
}

bool is_status_line(const char *buf)
{
    if (!buf) return false;
    if (!starts_with(buf, "frame=") && !starts_with(buf, "size=") && !starts_with(buf, "Lsize=")) return false;
    const char *time = std::strstr(buf, " time=");
    if (!time) return false;
    const char *blank = std::strchr(time + 1, ' ');
    return blank && starts_with(blank, " bitrate=");
}

int get_first_line_pid(const char *buf, int *lines_read)
{
    if (!buf || !lines_read) {
        LOG_INFO("buf == NULL || lines_read == NULL");
        return -1;
    }
    if ((*lines_read)++ != 0) return -1;
    static const char kMarker[] = "PID =";
    if (!starts_with(buf, kMarker)) return -1;
    const char *p = buf + sizeof kMarker - 1;
    p += std::strspn(p, " \t");
    if (!is_digit(*p)) return -1;
    // A number beyond int is no pid (cut to 32 bits it could name another
    // process). long long: a long has 32 bits on Windows, where strtol
    // would stop at LONG_MAX.
    const long long pid = std::strtoll(p, nullptr, 10);
    return pid > INT_MAX ? -1 : static_cast<int>(pid);
}

report_line classify_report_line(report_state *st, const char *line)
{
    if (!st || !line) return REPORT_OTHER;
    const size_t indent = indent_of(line);
    const char *text = line + indent;
    // A continued metadata value: the tool starts each of its lines with ':'.
    if (*text == ':') return REPORT_METADATA;
    if (st->in_metadata) {
        if (indent > static_cast<size_t>(st->meta_indent)) return REPORT_METADATA;
        st->in_metadata = 0;
    }
    if (starts_with(text, "Metadata:") && text[std::strspn(text + 9, "\r\n") + 9] == '\0') {
        st->in_metadata = 1;
        st->meta_indent = static_cast<int>(indent);
        return REPORT_METADATA;
    }
    if (starts_with(line, "Input #")) {
        st->in_header = 1;
        return REPORT_INPUT;
    }
    if (indent == 2 && st->in_header && starts_with(text, "Duration: ")) return REPORT_DURATION;
    if ((indent == 2 || indent == 4) && starts_with(text, "Stream #")) {
        st->in_header = 0;
        // A language holding a line break leaves the stream line's head
        // without its type; what follows up to its rest is the file's text.
        if (!stream_type_of(line)) st->streams_broken = 1;
        return st->streams_broken ? REPORT_OTHER : REPORT_STREAM;
    }
    // Chapters, programs and anything else of the input's own level end its header.
    if (indent == 2) st->in_header = 0;
    return REPORT_OTHER;
}

// Applies the parsers to one line in the order that lets each see what it
// needs: whole-line parsers first, the ones that cut the line last. A field
// is taken only from the line the probe tool writes for it; metadata and
// the other text a file can bring into the report are passed over.
void parse_probe_line(char *line, report_state *report, probe_result *result, uint32_t *h2645_mp4toannexb,
                      probe_result_ex *ex)
{
    const report_line kind = classify_report_line(report, line);
    if (kind == REPORT_METADATA) return;
    char name[kNameSize];
    std::memset(name, 0, sizeof name);
    if (kind == REPORT_INPUT && get_buf_f_fmt(line, name) == 0) std::memcpy(result->f_fmt, name, sizeof name);
    if (h2645_mp4toannexb && get_buf_header_info(line)) *h2645_mp4toannexb = 1;
    if (kind == REPORT_DURATION) {
        int duration = get_buf_duration(line);
        if (duration != -1) result->duration = duration;
    }
    if (kind != REPORT_STREAM) return;
    if (ex) {
        if (get_video_detailed_param(line) == 0)
            str_copy(ex->video_detailed_param, sizeof ex->video_detailed_param, line);
        if (get_audio_detailed_param(line) == 0)
            str_copy(ex->audio_detailed_param, sizeof ex->audio_detailed_param, line);
    }
    int width = 0, height = 0;
    if (get_buf_resolution(line, &width, &height) == 0) {
        result->width = width;
        result->height = height;
    }
    std::memset(name, 0, sizeof name);
    if (get_buf_v_fmt(line, name) == 0) std::memcpy(result->v_fmt, name, sizeof name);
    std::memset(name, 0, sizeof name);
    if (get_buf_a_fmt(line, name) == 0) std::memcpy(result->a_fmt, name, sizeof name);
}
