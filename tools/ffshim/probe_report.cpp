#include "probe_report.h"

#include <cctype>
#include <cstdlib>

namespace ffshim {

namespace {

constexpr size_t kMaxLine = 4096;

bool starts_with(const std::string &s, size_t at, const char *prefix)
{
    return s.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Skips a run of 1..max characters that pass `ok`; npos when there is none
// or it is longer.
template <typename Ok>
size_t skip_run(const std::string &s, size_t at, Ok ok, size_t max)
{
    size_t end = at;
    while (end < s.size() && ok(static_cast<unsigned char>(s[end]))) end++;
    return end == at || end - at > max ? std::string::npos : end;
}

}  // namespace

void ProbeReport::feed(const std::string &text)
{
    for (char c : text) {
        if (c == '\n') {
            take_line(line_);
            line_.clear();
        } else if (line_.size() < kMaxLine) {
            line_ += c;
        }
    }
}

// "Input #0, FORMAT,..., from 'NAME':" and the stream lines
// "  Stream #0:N[0xID](lang): Video: CODEC ..." (indented by four under a
// program). Metadata lines are indented deeper and never start this way.
void ProbeReport::take_line(const std::string &line)
{
    if (!have_input_ && starts_with(line, 0, "Input #0, ")) {
        have_input_ = true;
        format_ = line.substr(10, line.find(',', 10) - 10);
        return;
    }
    const size_t indent = line.find_first_not_of(' ');
    if (!have_input_ || (indent != 2 && indent != 4) || !starts_with(line, indent, "Stream #0:")) return;
    size_t p = indent + 10;
    const size_t digits = skip_run(line, p, [](unsigned char c) { return std::isdigit(c); }, 10);
    if (digits == std::string::npos) {
        unclear_ = true;
        return;
    }
    const long index = std::strtol(line.c_str() + p, nullptr, 10);
    p = digits;
    if (starts_with(line, p, "[0x")) {
        p = skip_run(line, p + 3, [](unsigned char c) { return std::isxdigit(c); }, 16);
        if (p == std::string::npos || line[p] != ']') p = std::string::npos;
        else p++;
    }
    if (p != std::string::npos && p < line.size() && line[p] == '(') {
        p = skip_run(line, p + 1, [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_'; }, 32);
        if (p == std::string::npos || line[p] != ')') p = std::string::npos;
        else p++;
    }
    // A language holding a line break or odd characters: what follows may be
    // the file's own text, not the tool's.
    if (p == std::string::npos || !starts_with(line, p, ": ")) {
        unclear_ = true;
        return;
    }
    p += 2;
    if (!starts_with(line, p, "Video: ") || (video_index_ >= 0 && index >= video_index_)) return;
    video_index_ = index;
    video_ = line.substr(p + 7, line.find(',', p + 7) - (p + 7));
}

int ProbeReport::length_prefixed()
{
    if (!line_.empty()) {
        take_line(line_);
        line_.clear();
    }
    if (unclear_) return -1;
    // The input could not be opened, or it has no video stream.
    if (!have_input_ || video_index_ < 0) return 0;
    const std::string codec = video_.substr(0, video_.find(' '));
    // H.264 in an avc1 sample entry is length-prefixed without a look at its packets.
    if (codec == "h264" && video_.find("(avc1 / 0x31637661)") != std::string::npos) return 1;
    // These codecs frame every picture with a start code in any container.
    if (codec == "mpeg1video" || codec == "mpeg2video" || codec == "mpeg4") return 0;
    // So do H.264 and HEVC in the containers whose demuxers cut them at start codes.
    const bool start_code_container = format_ == "mpegts" || format_ == "mpeg" || format_ == "h264" ||
                                      format_ == "hevc";
    if ((codec == "h264" || codec == "hevc") && start_code_container) return 0;
    return -1;
}

}  // namespace ffshim
