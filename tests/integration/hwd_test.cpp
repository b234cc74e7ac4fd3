// Hardware detection and the trial decode on this machine, which has no
// GPU: every hardware codec is present in the FFmpeg build but none opens.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "media/hwd.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

// Expected messages, in order, of one detection without any usable hardware.
const std::vector<std::string> k_no_gpu_detection = {
    "set_hwd_env type:0 failed",
    "msg decoder not avcodec_open2:h264_cuvid",
    "msg decoder not avcodec_open2:hevc_cuvid",
    "msg encoder not avcodec_open2 code_name:h264_nvenc",
    "msg encoder not avcodec_open2 code_name:hevc_nvenc",
    "try hwd nvcuda support decode[0, 0], encode[0, 0]",
    "set_hwd_env type:1 failed",
    "msg decoder av_hwdevice_ctx_create err code_name:h264_qsv",
    "msg decoder av_hwdevice_ctx_create err code_name:hevc_qsv",
    "msg encoder not avcodec_open2 code_name:h264_qsv",
    "msg encoder not avcodec_open2 code_name:hevc_qsv",
    "try hwd qsv support decode[0, 0], encode[0, 0]",
    "set_hwd_env type:2 failed",
    "not find driver path:",
};

// Whether each of `expected` occurs among `messages`, in this order.
bool has_in_order(const std::vector<std::string> &messages, const std::vector<std::string> &expected)
{
    size_t at = 0;
    for (const std::string &m : messages)
        if (at < expected.size() && m == expected[at]) at++;
    return at == expected.size();
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &l : lines) out += l + "\n";
    return out;
}

class HwdDetect : public ::testing::Test {
protected:
    tt::HwdStateGuard guard_;
    tt::LogCapture log_;
};

TEST_F(HwdDetect, NoHardwareOnThisMachine)
{
    is_chech_hwd = 0;
    std::memset(&s_hwd_dev_info, 0, sizeof s_hwd_dev_info);
    s_hwd_dev_info.dev[0].decode[0] = 7;  // entry 0 receives the (zero) flags of the last test run
    s_hwd_dev_info.dev[1].decode[0] = 7;  // later entries are not touched
    s_hwd_dev_info.hwd_num = 2;

    EXPECT_EQ(tarsa_register_hwd(), 0);
    EXPECT_EQ(s_hwd_dev_info.hwd_num, 0);
    EXPECT_EQ(is_chech_hwd, 0);
    EXPECT_EQ(s_hwd_dev_info.dev[0].decode[0], 0);
    EXPECT_EQ(s_hwd_dev_info.dev[1].decode[0], 7);
    EXPECT_TRUE(has_in_order(log_.messages(), k_no_gpu_detection)) << joined(log_.lines());
    EXPECT_EQ(log_.count("!find_usr_hwd(&s_hwd_dev_info)"), 1);
    EXPECT_TRUE(log_.contains("[debug4] file: hwd_detect.cpp line: ")) << joined(log_.lines());
    EXPECT_FALSE(log_.contains("try hwd vaapi"));  // VA-API stops at its driver file

    // A failed detection is run again by the next call; a successful one is not.
    log_.clear();
    EXPECT_EQ(tarsa_register_hwd(), 0);
    EXPECT_TRUE(has_in_order(log_.messages(), k_no_gpu_detection)) << joined(log_.lines());
    EXPECT_EQ(log_.count("tarsa_check_hwd_is_use is_chech_hwd"), 0);
    is_chech_hwd = 1;
    log_.clear();
    EXPECT_EQ(tarsa_register_hwd(), 1);
    EXPECT_EQ(log_.count("tarsa_check_hwd_is_use is_chech_hwd"), 1);
    EXPECT_FALSE(log_.contains("try hwd"));
    EXPECT_FALSE(log_.contains("set_hwd_env"));
}

TEST_F(HwdDetect, HostRecordLeavesTheLibraryRecordAlone)
{
    // Something recognisable in the library's own record.
    std::memset(&s_hwd_dev_info, 0x5c, sizeof s_hwd_dev_info);
    s_hwd_dev_info.hwd_num = 1;
    hwd_dev_info before;
    std::memcpy(&before, &s_hwd_dev_info, sizeof before);
    is_chech_hwd = 0;

    hwd_dev_info host;
    std::memset(&host, 0x33, sizeof host);
    EXPECT_EQ(tarsa_sdk_find_usr_hwd(&host), 0);
    EXPECT_EQ(host.hwd_num, 0);
    EXPECT_EQ(host.dev[0].encode[1], 0);
    EXPECT_EQ(std::memcmp(&before, &s_hwd_dev_info, sizeof before), 0);
    EXPECT_EQ(is_chech_hwd, 0);
}

TEST(HwdOpen, SingleCodecs)
{
    const struct {
        bool decoder;
        const char *name;
        int result;
        const char *message;
    } cases[] = {
        {true, "no_such_decoder", 0, "msg not avcodec_find_decoder_by_name:no_such_decoder"},
        {false, "no_such_encoder", 0, "msg encoder not avcodec_find_decoder_by_name:no_such_encoder"},
        // VA-API decodes through the generic decoders, so no decoder has this name.
        {true, "h264_vaapi", 0, "msg not avcodec_find_decoder_by_name:h264_vaapi"},
        {true, "h264_cuvid", 0, "msg decoder not avcodec_open2:h264_cuvid"},
        {false, "hevc_nvenc", 0, "msg encoder not avcodec_open2 code_name:hevc_nvenc"},
        {false, "hevc_qsv", 0, "msg encoder not avcodec_open2 code_name:hevc_qsv"},
        // A Quick Sync decoder alone would open here; its device does not.
        {true, "h264_qsv", 0, "msg decoder av_hwdevice_ctx_create err code_name:h264_qsv"},
        {false, "h264_vaapi", 0, "msg encoder av_hwdevice_ctx_create err code_name:h264_vaapi"},
        // The same set-up opens codecs that need no hardware, so a 0 above
        // means the hardware is missing, not that the test is broken.
        {true, "h264", 1, nullptr},
        {false, "mpeg4", 1, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tt::LogCapture log;
        EXPECT_EQ(c.decoder ? try_ff_open_decoder_hwd(c.name) : try_ff_open_encoder_hwd(c.name), c.result);
        if (c.message) {
            EXPECT_EQ(log.count(c.message), 1) << joined(log.lines());
        }
    }
}

// ---------------------------------------------------------------- trial decode

class HwdTrialDecode : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new tt::TempDir();
        const std::vector<std::string> x264 = {"-c:v", "libx264", "-preset", "ultrafast"};
        auto with = [](std::vector<std::string> a, const std::vector<std::string> &b) {
            a.insert(a.end(), b.begin(), b.end());
            return a;
        };
        ASSERT_TRUE(tt::make_h264_aac(file("h264.mp4"), 1, 160, 120));
        ASSERT_TRUE(tt::make_media(file("h264.ts"), 1, with(x264, {"-c:a", "mp2", "-f", "mpegts"}), 160, 120));
        ASSERT_TRUE(tt::make_media(file("raw.h264"), 1, with(x264, {"-f", "h264"}), 160, 120, false));
        ASSERT_TRUE(tt::make_media(file("mpeg4.avi"), 1, {"-c:v", "mpeg4", "-c:a", "mp2"}, 160, 120));
        ASSERT_TRUE(tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", file("a.m4a")}));
        ASSERT_TRUE(tt::write_file(file("junk.mp4"), std::string(64, '\x11')));
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string file(const char *name) { return dir_->file(name); }
    static tt::TempDir *dir_;
};

tt::TempDir *HwdTrialDecode::dir_ = nullptr;

// Repeated: under the sanitizer build, each early return of the trial
// decode must be seen to close what it opened.
TEST_F(HwdTrialDecode, NothingDecodesWithoutHardware)
{
    const struct {
        const char *file;
        int code;
        const char *message;  // logged once
    } cases[] = {
        {"h264.mp4", HWD_CODEC_H264_NV, "avcodec_open2(codec_ctx, codec, NULL) < 0"},
        {"h264.ts", HWD_CODEC_HEVC_NV, "avcodec_open2(codec_ctx, codec, NULL) < 0"},  // the stream decides: h264_cuvid
        {"h264.mp4", HWD_CODEC_H264_VAAPI, "codec == NULL"},                         // no "h264_vaapi" decoder
        {"mpeg4.avi", HWD_CODEC_H264_NV, "codec == NULL"},                           // "_cuvid"
        {"a.m4a", HWD_CODEC_H264_NV, "codec == NULL"},                               // no video stream
        {"h264.mp4", 9, "codec == NULL"},                                            // no such code
        {"missing.mp4", HWD_CODEC_H264_NV, "avformat_open_input(fmt_ctx, filename, NULL, NULL) < 0"},
        {"junk.mp4", HWD_CODEC_H264_NV, nullptr},
    };
    for (int round = 0; round < 20; round++) {
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << c.file << " " << c.code);
            tt::LogCapture log;
            ASSERT_EQ(is_use_hwd_decodec(file(c.file).c_str(), c.code), 0);
            if (c.message) {
                EXPECT_EQ(log.count(c.message), 1) << joined(log.lines());
            }
        }
    }
}

TEST_F(HwdTrialDecode, QuickSyncDecoderOpensButDecodesNothing)
{
    // The Quick Sync decoder opens without hardware and fails only when fed:
    // the key packet is tried 30 times, 10 ms apart, and the verdict is 0.
    tt::LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(is_use_hwd_decodec(file("h264.ts").c_str(), HWD_CODEC_H264_QSV), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(29 * 10));
    EXPECT_EQ(log.count("avcodec_open2(codec_ctx, codec, NULL) < 0"), 0) << joined(log.lines());
    EXPECT_EQ(log.count("codec == NULL"), 0);
}

// The frame count that the budget rule receives, as libavformat reports it.
int64_t video_frame_count(const std::string &path)
{
    AVFormatContext *ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return -100;
    int64_t n = -100;
    if (avformat_find_stream_info(ctx, nullptr) >= 0) {
        for (unsigned i = 0; i < ctx->nb_streams; i++)
            if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) n = ctx->streams[i]->nb_frames;
    }
    avformat_close_input(&ctx);
    return n;
}

TEST_F(HwdTrialDecode, StreamsWithoutFrameCountGetThirtyPackets)
{
    // Transport streams and raw H.264 carry no frame count, while MP4 knows
    // its 25 frames (1 s at 25 fps).
    const struct {
        const char *file;
        int64_t frames;
        int budget;
    } cases[] = {{"h264.ts", 0, 30}, {"raw.h264", 0, 30}, {"h264.mp4", 25, 25}};
    for (const auto &c : cases) {
        EXPECT_EQ(video_frame_count(file(c.file)), c.frames) << c.file;
        EXPECT_EQ(get_hwd_trial_packet_budget(video_frame_count(file(c.file))), c.budget) << c.file;
    }
}

// ---------------------------------------------------------------- resources

// Run under the sanitizer build: every codec context, device and frame pool
// that detection makes must be released again.
TEST(HwdLeaks, DetectionRepeatedAHundredTimes)
{
    hwd_dev_info info;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; i++) {
        std::memset(&info, 0, sizeof info);
        ASSERT_EQ(find_usr_hwd(&info), 0) << "run " << i;
        ASSERT_EQ(info.hwd_num, 0);
    }
    RecordProperty("detection_100_ms", static_cast<int>(tt::ms_since(start)));
}

}  // namespace
