// Real conversions with the real tools on generated media. Each destination
// is probed; the copy decisions expected are those the destination rules
// give for what the probe reports of each source (an MP4 source's container
// is "mov", which is not among the known formats).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "job_events.h"
#include "log_text.h"
#include "sdk/job_records.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

const std::vector<std::string> kH264HighAac = {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p",
                                               "-preset", "veryfast", "-g", "25", "-c:a", "aac", "-b:a", "64k"};

// MD5 of the decoded frames or samples of a file's first video ("v") or
// audio ("a") stream: equal for a copied stream, different once re-encoded.
std::string decoded_md5(const std::string &path, const char *stream)
{
    tt::RunResult r = tt::run_program({tt::stock_ffmpeg(), "-v", "error", "-i", path, "-map",
                                       std::string("0:") + stream + ":0", "-fps_mode", "passthrough", "-f", "md5",
                                       "-"});
    if (r.exit_code != 0 || r.output.compare(0, 4, "MD5=") != 0) return "error: " + r.output;
    return r.output.substr(0, r.output.find('\n'));
}

// The first picture of a file as RGB, row after row.
std::string first_rgb_frame(const std::string &path, const std::string &out)
{
    if (!tt::ffmpeg_generate({"-i", path, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", out})) return "";
    return tt::read_file(out);
}

// The types of an MP4 file's top-level boxes, in file order.
std::vector<std::string> top_level_boxes(const std::string &path)
{
    const std::string data = tt::read_file(path);
    std::vector<std::string> types;
    size_t at = 0;
    while (at + 8 <= data.size()) {
        auto byte = [&](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(data[i])); };
        uint64_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
        types.push_back(data.substr(at + 4, 4));
        if (size == 1 && at + 16 <= data.size()) {
            size = 0;
            for (size_t i = 0; i < 8; i++) size = size << 8 | byte(at + 8 + i);
        } else if (size == 0) {
            size = data.size() - at;
        }
        if (size < 8) break;
        at += size;
    }
    return types;
}

size_t index_of(const std::vector<std::string> &v, const std::string &s)
{
    for (size_t i = 0; i < v.size(); i++)
        if (v[i] == s) return i;
    return v.size();
}

struct Converted {
    int started = 0;
    dst_info info;
    std::vector<tt::JobEvent> events;
    probe_result_ex dst;
    int probed = 0;
};

class CvtJob : public ::testing::Test {
protected:
    void SetUp() override { tt::sdk_startup(); }

    std::string source(const std::string &name, int seconds = 3)
    {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(tt::make_media(path, seconds, kH264HighAac)) << path;
        return path;
    }

    // Create, options, start with a dst_info, wait for the final event,
    // stop, destroy, probe the destination.
    Converted convert(const std::string &src, const std::string &dst, cvt_param param,
                const std::function<void(void *)> &options = {})
    {
        Converted run;
        events_.clear();  // a new job may have the address of an earlier one
        std::memset(&run.info, 0, sizeof run.info);
        std::memset(&run.dst, 0, sizeof run.dst);
        cvt_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.cvt_param = param;
        v1.usage_mode = HWD_USAGE_NONE;
        v1.hwd_type = -1;
        void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &v1);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        if (job == TARSA_INVALID_HANDLE) return run;
        if (options) options(job);
        run.started = tarsa_sdk_start_ex(job, &run.info);
        EXPECT_EQ(run.started, 1);
        if (run.started == 1) {
            EXPECT_TRUE(events_.wait_end(job, 120000)) << "no final event";
        }
        EXPECT_EQ(tarsa_sdk_get_pos(job), run.started == 1 ? 100 : 0);
        EXPECT_EQ(tarsa_sdk_stop(job), 1);
        run.events = events_.of(job);
        EXPECT_EQ(tarsa_sdk_destroy(job), 1);
        run.probed = tarsa_sdk_probe_ex2(dst.c_str(), &run.dst);
        return run;
    }

    void expect_dst_info(const Converted &run, uint32_t video_copy, uint32_t audio_copy, const char *f_fmt,
                         const char *v_fmt, const char *a_fmt)
    {
        EXPECT_EQ(run.info.video_copy, video_copy);
        EXPECT_EQ(run.info.audio_copy, audio_copy);
        EXPECT_STREQ(run.info.f_fmt, f_fmt);
        EXPECT_STREQ(run.info.v_fmt, v_fmt);
        EXPECT_STREQ(run.info.a_fmt, a_fmt);
    }
    void expect_probed(const Converted &run, const char *f_fmt, const char *v_fmt, const char *a_fmt, int width,
                       int height)
    {
        ASSERT_EQ(run.probed, 1);
        EXPECT_STREQ(run.dst.result.f_fmt, f_fmt);
        EXPECT_STREQ(run.dst.result.v_fmt, v_fmt);
        EXPECT_STREQ(run.dst.result.a_fmt, a_fmt);
        EXPECT_EQ(run.dst.result.width, width);
        EXPECT_EQ(run.dst.result.height, height);
    }

    tt::TempDir dir_;
    tt::EventLog events_;
};

// Same container ("flv" is a known format): both streams copied.
TEST_F(CvtJob, FlvToFlvCopiesBothStreams)
{
    const std::string src = source("src.flv");
    const std::string dst = dir_.file("dst.flv");
    Converted run = convert(src, dst, {6, 0, 0, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
    expect_dst_info(run, 1, 1, "flv", "h264 (High)", "aac");
    expect_probed(run, "flv", "h264 (High)", "aac", 320, 240);
    EXPECT_EQ(run.dst.result.duration, 3);
    EXPECT_EQ(decoded_md5(dst, "v"), decoded_md5(src, "v"));
    EXPECT_EQ(decoded_md5(dst, "a"), decoded_md5(src, "a"));
}

// "mov" is not a known container: the H.264 stream is allowed in type 3 and
// copied, AAC audio is never copied across containers.
TEST_F(CvtJob, Mp4ToMp4CopiesVideoAndReencodesAac)
{
    const std::string src = source("src.mp4");
    const std::string dst = dir_.file("dst.mp4");
    Converted run = convert(src, dst, {3, 0, 0, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
    expect_dst_info(run, 1, 0, "mp4", "h264 (High)", "aac");
    expect_probed(run, "mov", "h264 (High)", "aac", 320, 240);
    EXPECT_EQ(decoded_md5(dst, "v"), decoded_md5(src, "v"));
    EXPECT_NE(decoded_md5(dst, "a"), decoded_md5(src, "a"));
}

TEST_F(CvtJob, Mp4ToFlvCopiesVideoAndReencodesAac)
{
    const std::string src = source("src.mp4");
    const std::string dst = dir_.file("dst.flv");
    Converted run = convert(src, dst, {6, 0, 0, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
    expect_dst_info(run, 1, 0, "flv", "h264 (High)", "aac");
    expect_probed(run, "flv", "h264 (High)", "aac", 320, 240);
    EXPECT_EQ(decoded_md5(dst, "v"), decoded_md5(src, "v"));
}

TEST_F(CvtJob, MpegTsToMp4CopiesVideo)
{
    const std::string src = source("src.ts");
    const std::string dst = dir_.file("dst.mp4");
    Converted run = convert(src, dst, {3, 0, 0, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
    expect_dst_info(run, 1, 0, "mp4", "h264 (High)", "aac");
    expect_probed(run, "mov", "h264 (High)", "aac", 320, 240);
    EXPECT_EQ(decoded_md5(dst, "v"), decoded_md5(src, "v"));
}

TEST_F(CvtJob, ResizeReencodesBothStreams)
{
    const std::string src = source("src.mp4");
    const std::string dst = dir_.file("dst.mp4");
    Converted run = convert(src, dst, {3, 640, 360, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
    expect_dst_info(run, 0, 0, "mp4", "h264 (High)", "aac");
    expect_probed(run, "mov", "h264 (High)", "aac", 640, 360);
}

TEST_F(CvtJob, AudioDisabledLeavesNoAudioStream)
{
    const std::string src = source("src.mp4");
    const std::string dst = dir_.file("dst.mp4");
    Converted run = convert(src, dst, {3, 0, 0, 0, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
    expect_probed(run, "mov", "h264 (High)", "", 320, 240);
    EXPECT_STREQ(run.dst.audio_detailed_param, "");
}

// MP4 destinations are laid out for fast start (index before the media
// data) unless option 7 is stored as 0.
TEST_F(CvtJob, FaststartLayoutAndItsOption)
{
    const std::string src = source("src.mp4");
    const std::string fast = dir_.file("fast.mp4");
    const std::string plain = dir_.file("plain.mp4");
    Converted by_default = convert(src, fast, {3, 0, 0, 1, 23});
    Converted off = convert(src, plain, {3, 0, 0, 1, 23}, [](void *job) {
        int32_t faststart = 0;
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &faststart, sizeof faststart);
    });
    EXPECT_TRUE(tt::conversion_events_ok(off.events, false, plain));
    expect_probed(off, "mov", "h264 (High)", "aac", 320, 240);

    const auto fast_boxes = top_level_boxes(fast);
    const auto plain_boxes = top_level_boxes(plain);
    ASSERT_LT(index_of(fast_boxes, "moov"), fast_boxes.size());
    ASSERT_LT(index_of(fast_boxes, "mdat"), fast_boxes.size());
    ASSERT_LT(index_of(plain_boxes, "moov"), plain_boxes.size());
    ASSERT_LT(index_of(plain_boxes, "mdat"), plain_boxes.size());
    EXPECT_LT(index_of(fast_boxes, "moov"), index_of(fast_boxes, "mdat"));
    EXPECT_GT(index_of(plain_boxes, "moov"), index_of(plain_boxes, "mdat"));
}

// A 2 x 3 grid: white text is drawn at the top left of every cell. Compared
// with a conversion that re-encodes the same way without a watermark; the
// test picture's colour bars differ from white in at least one channel.
TEST_F(CvtJob, WatermarkGridIsDrawnInEveryCell)
{
    const std::string src = source("src.mp4", 2);
    const std::string marked = dir_.file("marked.mp4");
    const std::string plain = dir_.file("plain.mp4");
    Converted with_mark = convert(src, marked, {3, 0, 0, 1, 23}, [](void *job) {
        ot_ex mark;
        std::memset(&mark, 0, sizeof mark);
        mark.row_num = 2;
        mark.col_num = 3;
        mark.font_size = 24;
        mark.transparency = 0;
        std::strcpy(mark.font_color, "white");
        std::strcpy(mark.text, "WM");
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_OT, &mark, sizeof mark);
    });
    EXPECT_TRUE(tt::conversion_events_ok(with_mark.events, false, marked));
    expect_dst_info(with_mark, 0, 0, "mp4", "h264 (High)", "aac");
    expect_probed(with_mark, "mov", "h264 (High)", "aac", 320, 240);
    // Same size: re-encoded the same way, without the watermark.
    Converted without = convert(src, plain, {3, 320, 240, 1, 23});
    expect_dst_info(without, 0, 0, "mp4", "h264 (High)", "aac");

    const std::string a = first_rgb_frame(marked, dir_.file("marked.rgb"));
    const std::string b = first_rgb_frame(plain, dir_.file("plain.rgb"));
    ASSERT_EQ(a.size(), 320u * 240u * 3u);
    ASSERT_EQ(b.size(), a.size());
    for (int row = 0; row < 2; row++) {
        for (int col = 0; col < 3; col++) {
            int differing = 0;
            for (int y = 240 * row / 2; y < 240 * (row + 1) / 2; y++) {
                for (int x = 320 * col / 3; x < 320 * (col + 1) / 3; x++) {
                    bool differs = false;
                    for (int c = 0; c < 3; c++) {
                        const size_t i = static_cast<size_t>((y * 320 + x) * 3 + c);
                        const int d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
                        differs = differs || d > 64 || d < -64;
                    }
                    if (differs) differing++;
                }
            }
            EXPECT_GT(differing, 30) << "no text in cell " << row << "," << col;
        }
    }
}

// The stock tool has no "sdv" format: the job fails cleanly.
TEST_F(CvtJob, FormatTheToolLacksFailsCleanly)
{
    const std::string src = source("src.mp4", 2);
    const std::string dst = dir_.file("dst.sdv");
    tt::LogCapture log;
    Converted run = convert(src, dst, {1, 0, 0, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, true, dst));
    EXPECT_TRUE(tt::positions(run.events).empty());
    expect_dst_info(run, 1, 0, "sdv", "h264 (High)", "aac");
    EXPECT_EQ(run.probed, 0);
    EXPECT_TRUE(log.has_line("\xE3\x80\x90NO\xE3\x80\x91" + dst));
}

// Without a callback the job still runs to its end, and the destination is
// still probed at the end.
TEST(CvtJobWithoutCallback, EndsAndIsProbed)
{
    tt::sdk_startup();
    tarsa_sdk_set_mess_callback(nullptr, nullptr);
    tt::TempDir dir;
    const std::string src = dir.file("src.mp4");
    const std::string dst = dir.file("dst.flv");
    ASSERT_TRUE(tt::make_media(src, 2, kH264HighAac));
    tt::LogCapture log;
    cvt_param param = {6, 0, 0, 1, 23};
    void *job = tarsa_sdk_create(src.c_str(), dst.c_str(), &param);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    EXPECT_EQ(static_cast<cvt_info *>(job)->usage_mode, static_cast<uint32_t>(HWD_USAGE_AUTO));
    EXPECT_EQ(static_cast<cvt_info *>(job)->hwd_type, -1);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 0);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (tarsa_sdk_get_pos(job) != 100 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(tarsa_sdk_get_pos(job), 100);
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    EXPECT_TRUE(log.has_line("\xE3\x80\x90YES\xE3\x80\x91" + src + " ==>> " + dst));
    EXPECT_EQ(tarsa_sdk_probe(dst.c_str()), 1);
}

// A re-encode long enough to report progress: positions rise, each agreeing
// with tarsa_sdk_get_pos, and the end is reported once.
TEST_F(CvtJob, ProgressOfALongerConversion)
{
    const std::string src = source("src.mp4", 8);
    const std::string dst = dir_.file("dst.mp4");
    Converted run = convert(src, dst, {3, 960, 540, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
    expect_probed(run, "mov", "h264 (High)", "aac", 960, 540);
    EXPECT_EQ(run.dst.result.duration, 8);
}

}  // namespace
