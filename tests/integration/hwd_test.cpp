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

#include "cvt/hwd.h"
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
};

TEST_F(HwdDetect, NoHardwareOnThisMachine)
{
    is_chech_hwd = 0;
    std::memset(&s_hwd_dev_info, 0, sizeof s_hwd_dev_info);
    s_hwd_dev_info.dev[0].decode[0] = 7;  // entry 0 receives the (zero) flags of the last test run
    s_hwd_dev_info.dev[1].decode[0] = 7;  // later entries are not touched
    s_hwd_dev_info.hwd_num = 2;

    tt::LogCapture log;
    EXPECT_EQ(tarsa_register_hwd(), 0);
    EXPECT_EQ(s_hwd_dev_info.hwd_num, 0);
    EXPECT_EQ(is_chech_hwd, 0);
    EXPECT_EQ(s_hwd_dev_info.dev[0].decode[0], 0);
    EXPECT_EQ(s_hwd_dev_info.dev[1].decode[0], 7);

    std::vector<std::string> messages = log.messages();
    EXPECT_TRUE(has_in_order(messages, k_no_gpu_detection)) << joined(log.lines());
    EXPECT_EQ(log.count("!find_usr_hwd(&s_hwd_dev_info)"), 1);
    EXPECT_TRUE(log.contains("[debug4] file: hwd_detect.cpp line: ")) << joined(log.lines());
    EXPECT_FALSE(log.contains("try hwd vaapi"));  // VA-API stops at its driver file

    // A failed detection is run again by the next call.
    log.clear();
    EXPECT_EQ(tarsa_register_hwd(), 0);
    EXPECT_TRUE(has_in_order(log.messages(), k_no_gpu_detection)) << joined(log.lines());
    EXPECT_EQ(log.count("tarsa_check_hwd_is_use is_chech_hwd"), 0);
}

TEST_F(HwdDetect, AfterSuccessNoDetectionRunsAgain)
{
    is_chech_hwd = 1;
    tt::LogCapture log;
    EXPECT_EQ(tarsa_register_hwd(), 1);
    EXPECT_EQ(log.count("tarsa_check_hwd_is_use is_chech_hwd"), 1);
    EXPECT_FALSE(log.contains("try hwd"));
    EXPECT_FALSE(log.contains("set_hwd_env"));
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

TEST_F(HwdDetect, NullHostRecord)
{
    tt::LogCapture log;
    EXPECT_EQ(tarsa_sdk_find_usr_hwd(nullptr), 0);
    EXPECT_EQ(log.count("err find_usr_hwd dev_info == NULL"), 1);
    EXPECT_FALSE(log.contains("try hwd"));
}

// ---------------------------------------------------------------- single codecs

TEST(HwdOpen, CodecsMissingFromTheBuild)
{
    tt::LogCapture log;
    EXPECT_EQ(try_ff_open_decoder_hwd("no_such_decoder"), 0);
    EXPECT_EQ(try_ff_open_encoder_hwd("no_such_encoder"), 0);
    // VA-API decodes through the generic decoders, so no decoder has this name.
    EXPECT_EQ(try_ff_open_decoder_hwd("h264_vaapi"), 0);
    EXPECT_EQ(log.count("msg not avcodec_find_decoder_by_name:no_such_decoder"), 1);
    EXPECT_EQ(log.count("msg encoder not avcodec_find_decoder_by_name:no_such_encoder"), 1);
    EXPECT_EQ(log.count("msg not avcodec_find_decoder_by_name:h264_vaapi"), 1);
}

TEST(HwdOpen, HardwareCodecsDoNotOpenWithoutHardware)
{
    tt::LogCapture log;
    EXPECT_EQ(try_ff_open_decoder_hwd("h264_cuvid"), 0);
    EXPECT_EQ(try_ff_open_encoder_hwd("hevc_nvenc"), 0);
    EXPECT_EQ(try_ff_open_encoder_hwd("hevc_qsv"), 0);
    // A Quick Sync decoder alone would open here; its device does not.
    EXPECT_EQ(try_ff_open_decoder_hwd("h264_qsv"), 0);
    EXPECT_EQ(log.count("msg decoder av_hwdevice_ctx_create err code_name:h264_qsv"), 1);
    EXPECT_EQ(log.count("msg decoder not avcodec_open2:h264_cuvid"), 1);
    EXPECT_EQ(log.count("msg encoder not avcodec_open2 code_name:hevc_nvenc"), 1);
    EXPECT_EQ(log.count("msg encoder not avcodec_open2 code_name:hevc_qsv"), 1);
}

TEST(HwdOpen, VaapiEncoderNeedsADevice)
{
    tt::LogCapture log;
    EXPECT_EQ(try_ff_open_encoder_hwd("h264_vaapi"), 0);
    EXPECT_EQ(log.count("msg encoder av_hwdevice_ctx_create err code_name:h264_vaapi"), 1)
        << joined(log.lines());
}

TEST(HwdOpen, TheTestSetUpOpensSoftwareCodecs)
{
    // The same set-up opens codecs that need no hardware, so a 0 above
    // means the hardware is missing, not that the test is broken.
    EXPECT_EQ(try_ff_open_decoder_hwd("h264"), 1);
    EXPECT_EQ(try_ff_open_encoder_hwd("mpeg4"), 1);
}

// ---------------------------------------------------------------- trial decode

class HwdTrialDecode : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new tt::TempDir();
        ASSERT_TRUE(tt::make_h264_aac(dir_->file("h264.mp4"), 1, 160, 120));
        ASSERT_TRUE(tt::make_media(dir_->file("h264.ts"), 1,
                                   {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "mp2", "-f", "mpegts"},
                                   160, 120, true));
        ASSERT_TRUE(tt::make_media(dir_->file("raw.h264"), 1,
                                   {"-c:v", "libx264", "-preset", "ultrafast", "-f", "h264"}, 160, 120, false));
        ASSERT_TRUE(tt::make_media(dir_->file("mpeg4.avi"), 1, {"-c:v", "mpeg4", "-c:a", "mp2"}, 160, 120, true));
        ASSERT_TRUE(tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", dir_->file("a.m4a")}));
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

TEST_F(HwdTrialDecode, NvidiaDecoderDoesNotOpenWithoutHardware)
{
    tt::LogCapture log;
    EXPECT_EQ(is_use_hwd_decodec(file("h264.mp4").c_str(), HWD_CODEC_H264_NV), 0);
    EXPECT_EQ(is_use_hwd_decodec(file("h264.ts").c_str(), HWD_CODEC_HEVC_NV), 0);  // stream decides: h264_cuvid
    EXPECT_EQ(log.count("avcodec_open2(codec_ctx, codec, NULL) < 0"), 2) << joined(log.lines());
}

TEST_F(HwdTrialDecode, QuickSyncDecoderOpensButDecodesNothing)
{
    // The Quick Sync decoder opens without hardware and fails only when fed:
    // the key packet is tried 30 times, 10 ms apart, and the verdict is 0.
    tt::LogCapture log;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(is_use_hwd_decodec(file("h264.ts").c_str(), HWD_CODEC_H264_QSV), 0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(29 * 10));
    EXPECT_EQ(log.count("avcodec_open2(codec_ctx, codec, NULL) < 0"), 0) << joined(log.lines());
    EXPECT_EQ(log.count("codec == NULL"), 0);
}

TEST_F(HwdTrialDecode, DecoderNamesThatDoNotExist)
{
    tt::LogCapture log;
    EXPECT_EQ(is_use_hwd_decodec(file("h264.mp4").c_str(), HWD_CODEC_H264_VAAPI), 0);  // no "h264_vaapi" decoder
    EXPECT_EQ(is_use_hwd_decodec(file("mpeg4.avi").c_str(), HWD_CODEC_H264_NV), 0);    // "_cuvid"
    EXPECT_EQ(is_use_hwd_decodec(file("a.m4a").c_str(), HWD_CODEC_H264_NV), 0);        // no video stream
    EXPECT_EQ(is_use_hwd_decodec(file("h264.mp4").c_str(), 9), 0);                     // no such code
    EXPECT_EQ(log.count("codec == NULL"), 4) << joined(log.lines());
}

TEST_F(HwdTrialDecode, UnreadableSources)
{
    tt::LogCapture log;
    EXPECT_EQ(is_use_hwd_decodec(nullptr, HWD_CODEC_H264_NV), 0);
    EXPECT_EQ(log.count("filename == NULL"), 1);
    EXPECT_EQ(is_use_hwd_decodec(file("missing.mp4").c_str(), HWD_CODEC_H264_NV), 0);
    EXPECT_EQ(log.count("avformat_open_input(fmt_ctx, filename, NULL, NULL) < 0"), 1);
    ASSERT_TRUE(tt::write_file(file("junk.mp4"), std::string(64, '\x11')));
    EXPECT_EQ(is_use_hwd_decodec(file("junk.mp4").c_str(), HWD_CODEC_H264_NV), 0);
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
    // Transport streams and raw H.264 carry no frame count ...
    EXPECT_EQ(video_frame_count(file("h264.ts")), 0);
    EXPECT_EQ(video_frame_count(file("raw.h264")), 0);
    EXPECT_EQ(get_hwd_trial_packet_budget(video_frame_count(file("h264.ts"))), 30);
    EXPECT_EQ(get_hwd_trial_packet_budget(video_frame_count(file("raw.h264"))), 30);
    // ... while MP4 knows its 25 frames (1 s at 25 fps).
    EXPECT_EQ(video_frame_count(file("h264.mp4")), 25);
    EXPECT_EQ(get_hwd_trial_packet_budget(video_frame_count(file("h264.mp4"))), 25);
}

// ---------------------------------------------------------------- resources

TEST(HwdLeaks, DetectionRepeatedAHundredTimes)
{
    // Run under the sanitizer build: every codec context, device and frame
    // pool that detection makes must be released again.
    hwd_dev_info info;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; i++) {
        std::memset(&info, 0, sizeof info);
        ASSERT_EQ(find_usr_hwd(&info), 0) << "run " << i;
        ASSERT_EQ(info.hwd_num, 0);
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    RecordProperty("detection_100_ms", static_cast<int>(ms.count()));
}

TEST_F(HwdTrialDecode, TrialDecodeReleasesEverythingOnEveryPath)
{
    // Run under the sanitizer build, as above: each early return of the
    // trial decode must close what it opened.
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(is_use_hwd_decodec(file("h264.mp4").c_str(), HWD_CODEC_H264_NV), 0);
        EXPECT_EQ(is_use_hwd_decodec(file("mpeg4.avi").c_str(), HWD_CODEC_H264_NV), 0);
        EXPECT_EQ(is_use_hwd_decodec(file("a.m4a").c_str(), HWD_CODEC_H264_NV), 0);
        EXPECT_EQ(is_use_hwd_decodec(file("missing.mp4").c_str(), HWD_CODEC_H264_NV), 0);
    }
    EXPECT_EQ(is_use_hwd_decodec(file("raw.h264").c_str(), HWD_CODEC_H264_QSV), 0);
}

}  // namespace
