// Choice of hardware decoder/encoder for a job and the command fragments,
// with a prepared detection record.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>

#include "cvt/codec_compat.h"
#include "cvt/fmt_table.h"
#include "cvt/hwd.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

using tt::make_hwd_dev;
using tt::set_detected;

void init_tables_once()
{
    static std::once_flag once;
    std::call_once(once, [] { init_fmt_table(); });
}

probe_result source(const char *v_fmt)
{
    probe_result r;
    std::memset(&r, 0, sizeof r);
    std::strncpy(r.v_fmt, v_fmt, sizeof r.v_fmt - 1);
    return r;
}

dst_codec_info dest(int v_codec_id)
{
    dst_codec_info d = {0, 0, v_codec_id, 2, 4};
    return d;
}

struct Fragments {
    hwd_info hwd;
    std::string pre, dec, enc;
};

// What a command builder does: choose, optionally drop the decoder after
// a failed trial decode, then write the fragments.
Fragments build(uint32_t usage_mode, const char *src_v_fmt, int dst_v_codec, int hwd_type = -1,
                bool trial_decode_ok = true)
{
    probe_result src = source(src_v_fmt);
    dst_codec_info dst = dest(dst_v_codec);
    Fragments f;
    EXPECT_EQ(get_cvt_hwd_type(usage_mode, &dst, &src, hwd_type, &f.hwd), 1);
    if (f.hwd.hwd_decoder != -1 && !trial_decode_ok) f.hwd.hwd_decoder = -1;
    char pre[HWD_CMD_SIZE] = "", dec[HWD_CMD_SIZE] = "", enc[HWD_CMD_SIZE] = "";
    EXPECT_EQ(get_hwd_cmd(&f.hwd, &dst, pre, dec, enc), 1);
    f.pre = pre;
    f.dec = dec;
    f.enc = enc;
    return f;
}

void expect_hwd(const hwd_info &got, int is_use_hw, int dec, int enc)
{
    EXPECT_EQ(got.is_use_hw, is_use_hw);
    EXPECT_EQ(got.hwd_decoder, dec);
    EXPECT_EQ(got.hwd_encoder, enc);
}

class HwdSelect : public ::testing::Test {
protected:
    static void SetUpTestSuite() { init_tables_once(); }
    tt::HwdStateGuard guard_;
};

// ---------------------------------------------------------------- code tables

TEST(HwdCodes, CodeOfKindAndKindOfCode)
{
    EXPECT_EQ(get_hwd_codec_code(HWD_TYPE_INTEL, false), 0);
    EXPECT_EQ(get_hwd_codec_code(HWD_TYPE_INTEL, true), 1);
    EXPECT_EQ(get_hwd_codec_code(HWD_TYPE_NVIDIA, false), 2);
    EXPECT_EQ(get_hwd_codec_code(HWD_TYPE_NVIDIA, true), 3);
    EXPECT_EQ(get_hwd_codec_code(HWD_TYPE_VAAPI, false), 4);
    EXPECT_EQ(get_hwd_codec_code(HWD_TYPE_VAAPI, true), 5);
    EXPECT_EQ(get_hwd_codec_code(3, false), -1);
    EXPECT_EQ(get_hwd_codec_code(-1, true), -1);

    const int kinds[] = {1, 1, 0, 0, 2, 2};
    for (int code = 0; code < 6; code++) EXPECT_EQ(get_hwd_codec_kind(code), kinds[code]) << code;
    EXPECT_EQ(get_hwd_codec_kind(-1), -1);
    EXPECT_EQ(get_hwd_codec_kind(6), -1);
}

// ---------------------------------------------------------------- NVIDIA

TEST_F(HwdSelect, NvidiaFullH264HighToHigh)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264 (High)", 3);
    expect_hwd(f.hwd, 1, HWD_CODEC_H264_NV, HWD_CODEC_H264_NV);
    EXPECT_EQ(f.pre, "");
    EXPECT_EQ(f.dec, "-c:v h264_cuvid");
    EXPECT_EQ(f.enc, "-c:v h264_nvenc -profile:v high");
}

TEST_F(HwdSelect, NvidiaFullPlainH264HasNoProfile)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264 (High)", 1);
    EXPECT_EQ(f.dec, "-c:v h264_cuvid");
    EXPECT_EQ(f.enc, "-c:v h264_nvenc");
}

TEST_F(HwdSelect, NvidiaFailedTrialDecodeKeepsTheEncoder)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264 (High)", 3, -1, false);
    EXPECT_EQ(f.pre, "");
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, "-c:v h264_nvenc -profile:v high");
}

TEST_F(HwdSelect, NvidiaDecodersOnlyFallsBackToSoftware)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 0, 0)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 1);
    expect_hwd(f.hwd, 1, -1, -1);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v libx264 ");
}

TEST_F(HwdSelect, NonH264SourceGetsNoDecoderButHardwareEncoder)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "mpeg4", 2);
    expect_hwd(f.hwd, 1, -1, HWD_CODEC_H264_NV);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, "-c:v h264_nvenc -profile:v baseline");
}

TEST_F(HwdSelect, Mpeg2DestinationHasNoCodes)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 0);
    expect_hwd(f.hwd, 1, -1, -1);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v mpeg2video ");
}

TEST_F(HwdSelect, NvidiaHevcToH264Main)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "hevc", 4);
    expect_hwd(f.hwd, 1, HWD_CODEC_HEVC_NV, HWD_CODEC_H264_NV);
    EXPECT_EQ(f.dec, "-c:v hevc_cuvid");
    EXPECT_EQ(f.enc, "-c:v h264_nvenc -profile:v main");
}

TEST_F(HwdSelect, NvencNameStandsAtTheEleventhCharacter)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    for (int v_codec : {1, 6}) {
        Fragments f = build(HWD_USAGE_AUTO, "h264", v_codec);
        ASSERT_GE(f.enc.size(), 15u);
        EXPECT_EQ(f.enc.substr(10, 5), "nvenc") << f.enc;
    }
}

// ---------------------------------------------------------------- Intel and VA-API

TEST_F(HwdSelect, IntelHevcToHevc)
{
    set_detected({make_hwd_dev(HWD_TYPE_INTEL, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "hevc", 6);
    expect_hwd(f.hwd, 1, HWD_CODEC_HEVC_QSV, HWD_CODEC_HEVC_QSV);
    EXPECT_EQ(f.pre, "");
    EXPECT_EQ(f.dec, "-load_plugin hevc_hw -c:v hevc_qsv");
    EXPECT_EQ(f.enc, "-c:v hevc_qsv -load_plugin hevc_hw");
}

TEST_F(HwdSelect, IntelH264ToH264Baseline)
{
    set_detected({make_hwd_dev(HWD_TYPE_INTEL, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264 (Main)", 2);
    expect_hwd(f.hwd, 1, HWD_CODEC_H264_QSV, HWD_CODEC_H264_QSV);
    EXPECT_EQ(f.dec, "-c:v h264_qsv");
    EXPECT_EQ(f.enc, "-c:v h264_qsv -profile:v baseline");
}

TEST_F(HwdSelect, HevcMustBeTheExactName)
{
    set_detected({make_hwd_dev(HWD_TYPE_INTEL, 1, 1, 1, 1)});
    // Only "h264..." counts by prefix; "hevc" must match whole, and case matters.
    Fragments f = build(HWD_USAGE_AUTO, "hevc (Main)", 6);
    expect_hwd(f.hwd, 1, -1, HWD_CODEC_HEVC_QSV);
    f = build(HWD_USAGE_AUTO, "H264", 1);
    expect_hwd(f.hwd, 1, -1, HWD_CODEC_H264_QSV);
}

TEST_F(HwdSelect, VaapiWritesTheDevicePreFragment)
{
    set_detected({make_hwd_dev(HWD_TYPE_VAAPI, 1, 1, 1, 1)});
    std::strcpy(s_hwd_env[HWD_TYPE_VAAPI].driver_path, "/dev/dri/renderD128");
    Fragments f = build(HWD_USAGE_AUTO, "h264", 4);
    expect_hwd(f.hwd, 1, HWD_CODEC_H264_VAAPI, HWD_CODEC_H264_VAAPI);
    EXPECT_EQ(f.pre, "-vaapi_device /dev/dri/renderD128");
    EXPECT_EQ(f.dec, "-c:v h264_vaapi");
    EXPECT_EQ(f.enc, "-vf 'format=nv12,hwupload' -c:v h264_vaapi -profile:v main");

    f = build(HWD_USAGE_AUTO, "hevc", 6);
    EXPECT_EQ(f.dec, "-c:v hevc_vaapi");
    EXPECT_EQ(f.enc, "-vf 'format=nv12,hwupload' -c:v hevc_vaapi");
}

TEST_F(HwdSelect, VaapiWithTheEmptyDriverPath)
{
    set_detected({make_hwd_dev(HWD_TYPE_VAAPI, 0, 0, 1, 0)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 1);
    EXPECT_EQ(f.pre, "-vaapi_device ");
    EXPECT_EQ(f.enc, "-vf 'format=nv12,hwupload' -c:v h264_vaapi");
}

// ---------------------------------------------------------------- mixed flags

TEST_F(HwdSelect, DecodeOneCodecEncodeTheOther)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 0, 0, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 6);
    expect_hwd(f.hwd, 1, HWD_CODEC_H264_NV, HWD_CODEC_HEVC_NV);
    EXPECT_EQ(f.dec, "-c:v h264_cuvid");
    EXPECT_EQ(f.enc, "-c:v hevc_nvenc");

    // The same device, destination h264: no H.264 encoder, so nothing.
    f = build(HWD_USAGE_AUTO, "h264", 1);
    expect_hwd(f.hwd, 1, -1, -1);
    EXPECT_EQ(f.enc, " -c:v libx264 ");
}

TEST_F(HwdSelect, FlagOfTheOtherCodecDoesNotCount)
{
    // HEVC decoder only, H.264 encoder only; an h264 source gets no decoder.
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 0, 1, 1, 0)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 1);
    expect_hwd(f.hwd, 1, -1, HWD_CODEC_H264_NV);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, "-c:v h264_nvenc");
}

TEST_F(HwdSelect, PairWithBothCodesWinsOverEarlierPartialPairs)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 0, 0, 1, 0), make_hwd_dev(HWD_TYPE_INTEL, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 1);
    expect_hwd(f.hwd, 1, HWD_CODEC_H264_QSV, HWD_CODEC_H264_QSV);
    EXPECT_EQ(f.dec, "-c:v h264_qsv");
    EXPECT_EQ(f.enc, "-c:v h264_qsv");
}

TEST_F(HwdSelect, FirstFullPairEndsTheWalk)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1), make_hwd_dev(HWD_TYPE_INTEL, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 1);
    expect_hwd(f.hwd, 1, HWD_CODEC_H264_NV, HWD_CODEC_H264_NV);
}

TEST_F(HwdSelect, DecoderOnlyPairIsReplacedByALaterEncoderOnlyPair)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 0, 0, 0), make_hwd_dev(HWD_TYPE_INTEL, 0, 0, 1, 0)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 3);
    expect_hwd(f.hwd, 1, -1, HWD_CODEC_H264_QSV);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, "-c:v h264_qsv -profile:v high");
}

TEST_F(HwdSelect, EncoderOnlyPairIsKeptAgainstALaterDecoderOnlyPair)
{
    set_detected({make_hwd_dev(HWD_TYPE_INTEL, 0, 0, 1, 0), make_hwd_dev(HWD_TYPE_NVIDIA, 1, 0, 0, 0)});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 1);
    expect_hwd(f.hwd, 1, -1, HWD_CODEC_H264_QSV);
}

TEST_F(HwdSelect, DecoderAndEncoderOnDifferentDevicesFallBackToSoftware)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1), make_hwd_dev(HWD_TYPE_INTEL, 1, 1, 1, 1)});
    hwd_info hwd = {1, HWD_CODEC_H264_NV, HWD_CODEC_H264_QSV};
    dst_codec_info dst = dest(3);
    char pre[HWD_CMD_SIZE] = "", dec[HWD_CMD_SIZE] = "", enc[HWD_CMD_SIZE] = "";
    ASSERT_EQ(get_hwd_cmd(&hwd, &dst, pre, dec, enc), 1);
    EXPECT_EQ(hwd.is_use_hw, 0);
    EXPECT_STREQ(pre, "");
    EXPECT_STREQ(dec, "");
    EXPECT_STREQ(enc, " -c:v libx264 -profile:v high ");
}

// ---------------------------------------------------------------- usage modes

TEST_F(HwdSelect, AutomaticWithoutDetectionIsSoftware)
{
    set_detected({});
    Fragments f = build(HWD_USAGE_AUTO, "h264", 1);
    expect_hwd(f.hwd, 0, -1, -1);
    EXPECT_EQ(f.pre, "");
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v libx264 ");
}

TEST_F(HwdSelect, ModeOneNeverUsesHardware)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_NONE, "h264", 3);
    expect_hwd(f.hwd, 0, -1, -1);
    EXPECT_EQ(f.pre, "");
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v libx264 -profile:v high ");
}

TEST_F(HwdSelect, ModeTwoUsesTheJobsKind)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_TYPE, "hevc", 1, HWD_TYPE_NVIDIA);
    expect_hwd(f.hwd, 1, HWD_CODEC_HEVC_NV, HWD_CODEC_H264_NV);
    EXPECT_EQ(f.dec, "-c:v hevc_cuvid");
    EXPECT_EQ(f.enc, "-c:v h264_nvenc");
}

TEST_F(HwdSelect, ModeTwoCodesIgnoreDetectionButFragmentsNeedIt)
{
    set_detected({});
    Fragments f = build(HWD_USAGE_TYPE, "h264", 6, HWD_TYPE_INTEL);
    expect_hwd(f.hwd, 1, HWD_CODEC_H264_QSV, HWD_CODEC_HEVC_QSV);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v libx265 ");

    // A detected kind other than the job's gives no entry either.
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    f = build(HWD_USAGE_TYPE, "h264", 6, HWD_TYPE_INTEL);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v libx265 ");
}

TEST_F(HwdSelect, ModeTwoWithAnUnknownKindHasNoCodes)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_TYPE, "h264", 1, 7);
    expect_hwd(f.hwd, 1, -1, -1);
    EXPECT_EQ(f.enc, " -c:v libx264 ");
}

TEST_F(HwdSelect, ModeTwoDropsTheDecoderWithoutEncoder)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    Fragments f = build(HWD_USAGE_TYPE, "h264", 5, HWD_TYPE_NVIDIA);
    expect_hwd(f.hwd, 1, -1, -1);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v mpeg4 ");
}

TEST_F(HwdSelect, UnknownModeIsLoggedAndSoftware)
{
    set_detected({make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    tt::LogCapture log;
    Fragments f = build(7, "h264", 1);
    expect_hwd(f.hwd, 0, -1, -1);
    EXPECT_EQ(log.count("get_cvt_hwd_type: cvt_info->usage_mode == ?"), 1);
    EXPECT_EQ(f.dec, "");
    EXPECT_EQ(f.enc, " -c:v libx264 ");
}

TEST_F(HwdSelect, MissingArgumentsAreLogged)
{
    tt::LogCapture log;
    probe_result src = source("h264");
    dst_codec_info dst = dest(1);
    hwd_info hwd = {5, 5, 5};
    EXPECT_EQ(get_cvt_hwd_type(0, nullptr, &src, -1, &hwd), -1);
    EXPECT_EQ(get_cvt_hwd_type(0, &dst, nullptr, -1, &hwd), -1);
    EXPECT_EQ(get_cvt_hwd_type(0, &dst, &src, -1, nullptr), -1);
    EXPECT_EQ(log.count("get_cvt_hwd_type: !is_use_hw|| !hwd_type"), 3);
    expect_hwd(hwd, 5, 5, 5);

    char a[HWD_CMD_SIZE], b[HWD_CMD_SIZE], c[HWD_CMD_SIZE];
    const std::string msg = "!hwd_info || !hwd_pre_cmd || !hwd_decoder_cmd || !hwd_encoder_cmd || !dst_codec_info";
    EXPECT_EQ(get_hwd_cmd(nullptr, &dst, a, b, c), 0);
    EXPECT_EQ(get_hwd_cmd(&hwd, nullptr, a, b, c), 0);
    EXPECT_EQ(get_hwd_cmd(&hwd, &dst, nullptr, b, c), 0);
    EXPECT_EQ(get_hwd_cmd(&hwd, &dst, a, nullptr, c), 0);
    EXPECT_EQ(get_hwd_cmd(&hwd, &dst, a, b, nullptr), 0);
    EXPECT_EQ(log.count(msg), 5);
}

// ---------------------------------------------------------------- trial decode rules

TEST(HwdTrialRules, PacketBudgetFromFrameCount)
{
    const struct {
        int64_t nb_frames;
        int budget;
    } cases[] = {
        {0, 30},  {-1, 30}, {1, 1}, {25, 25}, {250, 250},
        {int64_t(1) << 32, 30},        // taken as 32 bits: 0
        {(int64_t(1) << 32) + 5, 5},   // taken as 32 bits: 5
        {int64_t(0xffffffff), 30},     // taken as 32 bits: -1
    };
    for (const auto &c : cases) EXPECT_EQ(get_hwd_trial_packet_budget(c.nb_frames), c.budget) << c.nb_frames;
}

TEST(HwdTrialRules, VerdictNeedsFewTriesAndAnEarlyKeyFrame)
{
    const struct {
        int tries, packets, budget, verdict;
    } cases[] = {
        {1, 1, 30, 1},    // first packet decoded at once
        {1, 28, 30, 1},   // key frame within the first 28 packets of a budget of 30
        {1, 29, 30, 0},
        {0, 30, 30, 0},   // no key packet in the whole budget
        {29, 5, 30, 1},
        {30, 5, 30, 0},   // attempts used up
        {1, 1, 2, 0},
        {1, 1, 3, 1},
        {1, 1, 1, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(get_hwd_trial_verdict(c.tries, c.packets, c.budget), c.verdict)
            << c.tries << " tries, " << c.packets << " packets of " << c.budget;
}

}  // namespace
