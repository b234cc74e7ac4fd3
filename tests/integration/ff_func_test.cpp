// Facts about sources read through libavformat on files the stock ffmpeg generates:
// the NAL framing of the first video stream and the length of raw H.264.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ff/ff_func.h"
#include "log_capture.h"
#include "processes.h"
#include "test_util.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Raw H.264 of exactly `frames` frames at `rate` (160x120).
bool make_raw_h264(const std::string &path, int frames, const std::string &rate)
{
    return tt::ffmpeg_generate({"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=" + rate, "-frames:v",
                                std::to_string(frames), "-c:v", "libx264", "-preset", "ultrafast", "-f", "h264",
                                path});
}

// "<r_frame_rate>,<packets>" of the first video stream, as the stock ffprobe counts them.
std::string stock_rate_and_packets(const std::string &path)
{
    tt::Finished r = tt::run({tt::stock_ffprobe(), "-v", "error", "-count_packets", "-select_streams", "v:0",
                              "-show_entries", "stream=r_frame_rate,nb_read_packets", "-of", "csv=p=0", path});
    std::string out = r.output;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

uint32_t be32(const std::string &s, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
           static_cast<unsigned char>(s[at + 3]);
}

// Fills the payload of the MP4's top-level "mdat" box with 00 00 00 01
// start codes; the sample tables stay valid, so every packet that is read
// begins with a start code.
bool fill_mdat_with_start_codes(const std::string &path)
{
    std::string data = tt::read_file(path);
    size_t pos = 0;
    while (pos + 8 <= data.size()) {
        uint64_t size = be32(data, pos);
        size_t header = 8;
        if (size == 1 && pos + 16 <= data.size()) {
            size = static_cast<uint64_t>(be32(data, pos + 8)) << 32 | be32(data, pos + 12);
            header = 16;
        } else if (size == 0) {
            size = data.size() - pos;
        }
        if (size < header || pos + size > data.size()) return false;
        if (data.compare(pos + 4, 4, "mdat") == 0) {
            for (size_t i = pos + header; i < pos + size; i++) data[i] = ((i - pos - header) % 4 == 3) ? 1 : 0;
            return tt::write_file(path, data);
        }
        pos += size;
    }
    return false;
}

// Media shared by the suite, generated once.
class StreamFacts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Damaged and non-media samples make libavformat complain on stderr.
        saved_av_log_level_ = av_log_get_level();
        av_log_set_level(AV_LOG_QUIET);
        dir_ = std::make_unique<tt::TempDir>();
        const std::vector<std::string> x264 = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"};
        auto with = [](std::vector<std::string> a, std::initializer_list<std::string> more) {
            a.insert(a.end(), more);
            return a;
        };
        ok_ = tt::make_h264_aac(file("h264.mp4"), 1, 160, 120) &&
              tt::make_media(file("h264.ts"), 1, with(x264, {"-c:a", "aac"}), 160, 120) &&
              tt::make_media(file("h264.mkv"), 1, x264, 160, 120, false) &&
              tt::make_media(file("hevc.mp4"), 1,
                             {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error"}, 160,
                             120, false) &&
              tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=1", "-c:a",
                                   "aac", file("audio.m4a")}) &&
              make_raw_h264(file("short.h264"), 50, "25") &&
              tt::write_file(file("notes.txt"), "not a media file\n");
    }
    static void TearDownTestSuite()
    {
        dir_.reset();
        av_log_set_level(saved_av_log_level_);
    }
    void SetUp() override { ASSERT_TRUE(ok_) << "sample media could not be generated"; }

    static std::string file(const std::string &name) { return dir_->file(name); }

    static std::unique_ptr<tt::TempDir> dir_;
    static bool ok_;
    static int saved_av_log_level_;
};

std::unique_ptr<tt::TempDir> StreamFacts::dir_;
bool StreamFacts::ok_ = false;
int StreamFacts::saved_av_log_level_ = AV_LOG_INFO;

// Length-prefixed video of the first video stream, and the length of
// anything but raw H.264, which is 0.
TEST_F(StreamFacts, LengthPrefixedFramingAndNoRawLength)
{
    const struct {
        const char *name;
        int expected;
    } rows[] = {
        {"h264.mp4", 1},      // avc1 sample entry
        {"h264.mkv", 1},      // length-prefixed, found from the first key packet
        {"hevc.mp4", 1},      // length prefix of the first key packet
        {"h264.ts", 0},       // start codes
        {"short.h264", 0},    // raw stream: start codes
        {"audio.m4a", 0},     // no video stream
        {"notes.txt", 0},     // not media
        {"missing.mp4", 0},   // no such file
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(is_h2645_mp4toannexb(file(row.name).c_str()), row.expected);
        if (std::string(row.name).find(".h264") == std::string::npos) {
            EXPECT_EQ(get_h264_duration(file(row.name).c_str()), 0.0);
        }
    }
}

// An avc1 stream is decided by its sample entry alone: with every packet
// beginning with a start code it still yields 1, while the same damage to
// an HEVC file (decided by its first key packet) turns its answer to 0.
TEST_F(StreamFacts, Avc1IsDecidedWithoutReadingPackets)
{
    const std::string avc = file("avc1_start_codes.mp4");
    const std::string hevc = file("hevc_start_codes.mp4");
    ASSERT_TRUE(tt::write_file(avc, tt::read_file(file("h264.mp4"))));
    ASSERT_TRUE(tt::write_file(hevc, tt::read_file(file("hevc.mp4"))));
    ASSERT_TRUE(fill_mdat_with_start_codes(avc));
    ASSERT_TRUE(fill_mdat_with_start_codes(hevc));
    EXPECT_EQ(is_h2645_mp4toannexb(avc.c_str()), 1);
    EXPECT_EQ(is_h2645_mp4toannexb(hevc.c_str()), 0);
}

// A raw stream short enough to be read to its end while libavformat gathers
// the stream information hands out every packet after the input's end, so
// none is counted.
TEST_F(StreamFacts, RawH264ReadWhollyWhileOpeningCountsNoPackets)
{
    ASSERT_EQ(stock_rate_and_packets(file("short.h264")), "25/1,50");
    EXPECT_EQ(get_h264_duration(file("short.h264").c_str()), 0.0);
}

// The decision on a key packet's first bytes.
TEST(KeyPacketFraming, StartCodeOrLengthPrefix)
{
    struct Row {
        const char *label;
        std::vector<uint8_t> head;
        int size;
        int expected;
    };
    const Row rows[] = {
        {"00 00 01 00, size 260: length 256 = 260 - 4", {0x00, 0x00, 0x01, 0x00}, 260, 1},
        {"00 00 01 00, size 300", {0x00, 0x00, 0x01, 0x00}, 300, 0},
        {"00 00 01 65 (3-byte start code), size 100", {0x00, 0x00, 0x01, 0x65}, 100, 0},
        {"00 00 01 65, size 361: length 357 = 361 - 4", {0x00, 0x00, 0x01, 0x65}, 361, 1},
        {"00 00 00 01 67 (4-byte start code), size 100", {0x00, 0x00, 0x00, 0x01, 0x67}, 100, 0},
        {"00 00 00 01, size 5: one NAL of length 1", {0x00, 0x00, 0x00, 0x01}, 5, 1},
        {"00 00 02 10: length prefix 528", {0x00, 0x00, 0x02, 0x10}, 532, 1},
        {"00 00 0f a0: length prefix, size not matching", {0x00, 0x00, 0x0f, 0xa0}, 100, 1},
        {"00 00 00 00", {0x00, 0x00, 0x00, 0x00}, 100, 1},
        {"12 34 56 78", {0x12, 0x34, 0x56, 0x78}, 100, 1},
        {"too short to decide", {0x00, 0x00, 0x02, 0x10}, 4, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<uint8_t> packet(static_cast<size_t>(std::max(row.size, 8)), 0xAB);
        std::copy(row.head.begin(), row.head.end(), packet.begin());
        EXPECT_EQ(h2645_packet_is_length_prefixed(packet.data(), row.size), row.expected);
    }
    EXPECT_EQ(h2645_packet_is_length_prefixed(nullptr, 260), 0);
}

TEST(RawH264Length, IntegerDivisions)
{
    struct Row {
        int64_t packets;
        int num, den;
        double expected;
    };
    const Row rows[] = {
        {1500, 25, 1, 60},       {1500, 30000, 1001, 51}, {1499, 25, 1, 59}, {24, 25, 1, 0},
        {100, 0, 0, 0},          // rate reported as 0/0
        {100, 1, 2, 0},          // integer fps 0
        {0, 25, 1, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.packets) + " at " + std::to_string(row.num) + "/" + std::to_string(row.den));
        EXPECT_EQ(h264_duration_of(row.packets, row.num, row.den), row.expected);
    }
}

}  // namespace
