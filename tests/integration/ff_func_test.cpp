// Facts about sources read through libavformat: the NAL framing of the
// first video stream and the length of raw H.264.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ff/ff_func.h"
#include "test_util.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

TEST(StreamFacts, LengthPrefixedFramingAndNoRawLength)
{
    av_log_set_level(AV_LOG_QUIET);  // the non-media samples make libavformat complain
    tt::TempDir dir;
    auto x264 = [](const char *format) { return std::vector<std::string>{"-c:v", "libx264", "-f", format}; };
    ASSERT_TRUE(tt::make_h264_aac(dir.file("h264.mp4"), 1, 160, 120) &&
                tt::make_media(dir.file("h264.ts"), 1, x264("mpegts"), 160, 120, false) &&
                tt::make_media(dir.file("short.h264"), 2, x264("h264"), 160, 120, false) &&
                tt::make_media(dir.file("hevc.mp4"), 1, {"-c:v", "libx265", "-x265-params", "log-level=error"}, 160,
                               120, false) &&
                tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", dir.file("a.m4a")}) &&
                tt::write_file(dir.file("notes.txt"), "not a media file\n"));
    // avc1 sample entry; length prefix of the first key packet; start codes; no video; no media; no file.
    const std::pair<const char *, int> rows[] = {{"h264.mp4", 1}, {"hevc.mp4", 1}, {"h264.ts", 0}, {"short.h264", 0},
                                                 {"a.m4a", 0}, {"notes.txt", 0}, {"missing.mp4", 0}};
    for (const auto &row : rows) {
        EXPECT_EQ(is_h2645_mp4toannexb(dir.file(row.first).c_str()), row.second) << row.first;
        // Only raw H.264 has a length: its packets but the last over the frame rate, also for a file
        // read whole while the stream information is gathered (2 s at 25 fps: 49 / 25).
        EXPECT_EQ(get_h264_duration(dir.file(row.first).c_str()), std::string(row.first) == "short.h264" ? 1.0 : 0.0)
            << row.first;
    }
    av_log_set_level(AV_LOG_INFO);
}

// A key packet starts with a start code unless its first four bytes read as
// the length of the rest; the length of raw H.264 is whole packets over the
// whole-number frame rate.
TEST(KeyPacketFraming, StartCodeOrLengthPrefixAndRawLength)
{
    const struct { std::vector<uint8_t> head; int size, expected; } rows[] = {
        {{0, 0, 1, 0}, 260, 1}, {{0, 0, 1, 0}, 300, 0}, {{0, 0, 1, 0x65}, 361, 1}, {{0, 0, 0, 1}, 100, 0},
        {{0, 0, 0, 1}, 5, 1}, {{0, 0, 0x0f, 0xa0}, 100, 1}, {{1, 2, 3, 4}, 100, 1},
        {{0, 0, 2, 0x10}, 4, 0}};  // the last too short to decide
    for (const auto &row : rows) {
        std::vector<uint8_t> packet(static_cast<size_t>(std::max(row.size, 8)), 0xAB);
        std::copy(row.head.begin(), row.head.end(), packet.begin());
        EXPECT_EQ(h2645_packet_is_length_prefixed(packet.data(), row.size), row.expected) << row.size;
    }
    EXPECT_EQ(h2645_packet_is_length_prefixed(nullptr, 260), 0);
    const double lengths[][4] = {{1500, 25, 1, 60}, {1500, 30000, 1001, 51}, {1499, 25, 1, 59}, {24, 25, 1, 0},
                                 {100, 0, 0, 0},    {100, 1, 2, 0},          {0, 25, 1, 0}};
    for (const auto &r : lengths)
        EXPECT_EQ(h264_duration_of(int64_t(r[0]), int(r[1]), int(r[2])), r[3]) << r[0] << " at " << r[1] << "/" << r[2];
}

}  // namespace
