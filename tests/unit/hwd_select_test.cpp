// Choice of hardware decoder/encoder for a job and the command fragments,
// with a prepared detection record; the rules of the trial decode.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "media/codec_compat.h"
#include "media/fmt_table.h"
#include "media/hwd.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "tarsasdk.h"

namespace {

// A detected kind with its H.264 / HEVC decode and encode flags.
hwd_dev nv(int dec264, int dec265, int enc264, int enc265)
{
    return tt::make_hwd_dev(HWD_TYPE_NVIDIA, dec264, dec265, enc264, enc265);
}
hwd_dev qsv(int dec264, int dec265, int enc264, int enc265)
{
    return tt::make_hwd_dev(HWD_TYPE_INTEL, dec264, dec265, enc264, enc265);
}
hwd_dev va(int dec264, int dec265, int enc264, int enc265)
{
    return tt::make_hwd_dev(HWD_TYPE_VAAPI, dec264, dec265, enc264, enc265);
}

dst_codec_info dest(int v_codec_id) { return {0, 0, v_codec_id, 2, 4}; }

TEST(HwdCodes, CodeOfKindAndKindOfCode)
{
    const int codes[][3] = {{HWD_TYPE_INTEL, 0, 1}, {HWD_TYPE_NVIDIA, 2, 3}, {HWD_TYPE_VAAPI, 4, 5}, {3, -1, -1},
                            {-1, -1, -1}};
    for (const auto &c : codes) {
        EXPECT_EQ(get_hwd_codec_code(c[0], false), c[1]) << c[0];
        EXPECT_EQ(get_hwd_codec_code(c[0], true), c[2]) << c[0];
    }
    const int kinds[] = {-1, 1, 1, 0, 0, 2, 2, -1};  // of codes -1 .. 6
    for (int code = -1; code <= 6; code++) EXPECT_EQ(get_hwd_codec_kind(code), kinds[code + 1]) << code;
}

class HwdSelect : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static std::once_flag once;
        std::call_once(once, [] { init_fmt_table(); });
    }
    tt::HwdStateGuard guard_;
};

// What a command builder does: choose, drop the decoder after a failed
// trial decode, then write the fragments.
TEST_F(HwdSelect, ChoiceAndFragments)
{
    struct Case {
        const char *name;
        std::vector<hwd_dev> detected;
        uint32_t usage_mode;
        int hwd_type;       // the job's kind, for HWD_USAGE_TYPE
        const char *v_fmt;  // the source's video
        int dst_v_codec;
        bool trial_ok;
        hwd_info chosen;    // after a failed trial decode, when there was one
        const char *pre, *dec, *enc;
    };
    const hwd_dev NV = nv(1, 1, 1, 1), QSV = qsv(1, 1, 1, 1), VA = va(1, 1, 1, 1);
    const uint32_t AUTO = HWD_USAGE_AUTO, TYPE = HWD_USAGE_TYPE;
    const int H264_NV = HWD_CODEC_H264_NV, HEVC_NV = HWD_CODEC_HEVC_NV, H264_QSV = HWD_CODEC_H264_QSV,
              HEVC_QSV = HWD_CODEC_HEVC_QSV, H264_VA = HWD_CODEC_H264_VAAPI, HEVC_VA = HWD_CODEC_HEVC_VAAPI;
    const Case cases[] = {
        // NVIDIA
        {"nvidia h264 high to high", {NV}, AUTO, -1, "h264 (High)", 3, true, {1, H264_NV, H264_NV}, "",
         "-c:v h264_cuvid", "-c:v h264_nvenc -profile:v high"},
        {"plain h264 has no profile", {NV}, AUTO, -1, "h264 (High)", 1, true, {1, H264_NV, H264_NV}, "",
         "-c:v h264_cuvid", "-c:v h264_nvenc"},
        {"failed trial decode keeps the encoder", {NV}, AUTO, -1, "h264 (High)", 3, false, {1, -1, H264_NV}, "", "",
         "-c:v h264_nvenc -profile:v high"},
        {"decoders only: software", {nv(1, 1, 0, 0)}, AUTO, -1, "h264", 1, true, {1, -1, -1}, "", "", " -c:v libx264 "},
        {"non-h264 source: encoder only", {NV}, AUTO, -1, "mpeg4", 2, true, {1, -1, H264_NV}, "", "",
         "-c:v h264_nvenc -profile:v baseline"},
        {"mpeg2 destination has no codes", {NV}, AUTO, -1, "h264", 0, true, {1, -1, -1}, "", "", " -c:v mpeg2video "},
        {"hevc to h264 main", {NV}, AUTO, -1, "hevc", 4, true, {1, HEVC_NV, H264_NV}, "", "-c:v hevc_cuvid",
         "-c:v h264_nvenc -profile:v main"},
        {"h264 to hevc", {NV}, AUTO, -1, "h264", 6, true, {1, H264_NV, HEVC_NV}, "", "-c:v h264_cuvid",
         "-c:v hevc_nvenc"},
        // Intel and VA-API
        {"intel hevc to hevc", {QSV}, AUTO, -1, "hevc", 6, true, {1, HEVC_QSV, HEVC_QSV}, "",
         "-load_plugin hevc_hw -c:v hevc_qsv", "-c:v hevc_qsv -load_plugin hevc_hw"},
        {"intel h264 to baseline", {QSV}, AUTO, -1, "h264 (Main)", 2, true, {1, H264_QSV, H264_QSV}, "",
         "-c:v h264_qsv", "-c:v h264_qsv -profile:v baseline"},
        // Only "h264..." counts by prefix; "hevc" must match whole, and case matters.
        {"hevc with a profile is no hevc", {QSV}, AUTO, -1, "hevc (Main)", 6, true, {1, -1, HEVC_QSV}, "", "",
         "-c:v hevc_qsv -load_plugin hevc_hw"},
        {"upper-case H264 is no h264", {QSV}, AUTO, -1, "H264", 1, true, {1, -1, H264_QSV}, "", "", "-c:v h264_qsv"},
        {"va-api h264 with its device", {VA}, AUTO, -1, "h264", 4, true, {1, H264_VA, H264_VA},
         "-vaapi_device /dev/dri/renderD128", "-c:v h264_vaapi",
         "-vf 'format=nv12,hwupload' -c:v h264_vaapi -profile:v main"},
        {"va-api hevc", {VA}, AUTO, -1, "hevc", 6, true, {1, HEVC_VA, HEVC_VA}, "-vaapi_device /dev/dri/renderD128",
         "-c:v hevc_vaapi", "-vf 'format=nv12,hwupload' -c:v hevc_vaapi"},
        // Mixed flags and several kinds.
        {"decode one codec, encode the other", {nv(1, 0, 0, 1)}, AUTO, -1, "h264", 6, true, {1, H264_NV, HEVC_NV}, "",
         "-c:v h264_cuvid", "-c:v hevc_nvenc"},
        {"... and no encoder for h264", {nv(1, 0, 0, 1)}, AUTO, -1, "h264", 1, true, {1, -1, -1}, "", "",
         " -c:v libx264 "},
        {"flag of the other codec does not count", {nv(0, 1, 1, 0)}, AUTO, -1, "h264", 1, true, {1, -1, H264_NV}, "",
         "", "-c:v h264_nvenc"},
        {"pair with both codes wins over an earlier partial pair", {nv(0, 0, 1, 0), QSV}, AUTO, -1, "h264", 1, true,
         {1, H264_QSV, H264_QSV}, "", "-c:v h264_qsv", "-c:v h264_qsv"},
        {"first full pair ends the walk", {NV, QSV}, AUTO, -1, "h264", 1, true, {1, H264_NV, H264_NV}, "",
         "-c:v h264_cuvid", "-c:v h264_nvenc"},
        {"decoder-only pair is replaced by a later encoder-only pair", {nv(1, 0, 0, 0), qsv(0, 0, 1, 0)}, AUTO, -1,
         "h264", 3, true, {1, -1, H264_QSV}, "", "", "-c:v h264_qsv -profile:v high"},
        {"encoder-only pair is kept against a later decoder-only pair", {qsv(0, 0, 1, 0), nv(1, 0, 0, 0)}, AUTO, -1,
         "h264", 1, true, {1, -1, H264_QSV}, "", "", "-c:v h264_qsv"},
        // Usage modes.
        {"automatic without detection", {}, AUTO, -1, "h264", 1, true, {0, -1, -1}, "", "", " -c:v libx264 "},
        {"mode 1 never uses hardware", {NV}, HWD_USAGE_NONE, -1, "h264", 3, true, {0, -1, -1}, "", "",
         " -c:v libx264 -profile:v high "},
        {"mode 2 uses the job's kind", {NV}, TYPE, HWD_TYPE_NVIDIA, "hevc", 1, true, {1, HEVC_NV, H264_NV}, "",
         "-c:v hevc_cuvid", "-c:v h264_nvenc"},
        // The codes ignore detection, but the fragments need a detected entry of that kind.
        {"mode 2 without detection", {}, TYPE, HWD_TYPE_INTEL, "h264", 6, true, {1, H264_QSV, HEVC_QSV}, "", "",
         " -c:v libx265 "},
        {"mode 2 with another kind detected", {NV}, TYPE, HWD_TYPE_INTEL, "h264", 6, true, {1, H264_QSV, HEVC_QSV}, "",
         "", " -c:v libx265 "},
        {"mode 2 with an unknown kind", {NV}, TYPE, 7, "h264", 1, true, {1, -1, -1}, "", "", " -c:v libx264 "},
        {"mode 2 drops the decoder without encoder", {NV}, TYPE, HWD_TYPE_NVIDIA, "h264", 5, true, {1, -1, -1}, "", "",
         " -c:v mpeg4 "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tt::set_detected(c.detected);
        std::strcpy(s_hwd_env[HWD_TYPE_VAAPI].driver_path, "/dev/dri/renderD128");
        probe_result src = {};
        std::strcpy(src.v_fmt, c.v_fmt);
        dst_codec_info dst = dest(c.dst_v_codec);
        hwd_info hwd = {};
        ASSERT_EQ(get_cvt_hwd_type(c.usage_mode, &dst, &src, c.hwd_type, &hwd), 1);
        if (hwd.hwd_decoder != -1 && !c.trial_ok) hwd.hwd_decoder = -1;
        char pre[HWD_CMD_SIZE] = "", dec[HWD_CMD_SIZE] = "", enc[HWD_CMD_SIZE] = "";
        ASSERT_EQ(get_hwd_cmd(&hwd, &dst, pre, dec, enc), 1);
        EXPECT_EQ(hwd.is_use_hw, c.chosen.is_use_hw);
        EXPECT_EQ(hwd.hwd_decoder, c.chosen.hwd_decoder);
        EXPECT_EQ(hwd.hwd_encoder, c.chosen.hwd_encoder);
        EXPECT_STREQ(pre, c.pre);
        EXPECT_STREQ(dec, c.dec);
        EXPECT_STREQ(enc, c.enc);
    }
}

TEST_F(HwdSelect, VaapiWithTheEmptyDriverPath)
{
    tt::set_detected({va(0, 0, 1, 0)});
    dst_codec_info dst = dest(1);
    probe_result src = {};
    std::strcpy(src.v_fmt, "h264");
    hwd_info hwd = {};
    ASSERT_EQ(get_cvt_hwd_type(HWD_USAGE_AUTO, &dst, &src, -1, &hwd), 1);
    char pre[HWD_CMD_SIZE] = "", dec[HWD_CMD_SIZE] = "", enc[HWD_CMD_SIZE] = "";
    ASSERT_EQ(get_hwd_cmd(&hwd, &dst, pre, dec, enc), 1);
    EXPECT_STREQ(pre, "-vaapi_device ");
    EXPECT_STREQ(enc, "-vf 'format=nv12,hwupload' -c:v h264_vaapi");
}

TEST_F(HwdSelect, DecoderAndEncoderOnDifferentDevicesFallBackToSoftware)
{
    tt::set_detected({nv(1, 1, 1, 1), qsv(1, 1, 1, 1)});
    hwd_info hwd = {1, HWD_CODEC_H264_NV, HWD_CODEC_H264_QSV};
    dst_codec_info dst = dest(3);
    char pre[HWD_CMD_SIZE] = "", dec[HWD_CMD_SIZE] = "", enc[HWD_CMD_SIZE] = "";
    ASSERT_EQ(get_hwd_cmd(&hwd, &dst, pre, dec, enc), 1);
    EXPECT_EQ(hwd.is_use_hw, 0);
    EXPECT_STREQ(pre, "");
    EXPECT_STREQ(dec, "");
    EXPECT_STREQ(enc, " -c:v libx264 -profile:v high ");
}

TEST_F(HwdSelect, UnknownModeIsLoggedAndMissingArgumentsChangeNothing)
{
    tt::set_detected({nv(1, 1, 1, 1)});
    tt::LogCapture log;
    probe_result src = {};
    std::strcpy(src.v_fmt, "h264");
    dst_codec_info dst = dest(1);
    hwd_info hwd = {5, 5, 5};
    EXPECT_EQ(get_cvt_hwd_type(7, &dst, &src, -1, &hwd), 1);
    EXPECT_EQ(log.count("get_cvt_hwd_type: cvt_info->usage_mode == ?"), 1);
    EXPECT_EQ(hwd.is_use_hw, 0);
    EXPECT_EQ(hwd.hwd_encoder, -1);

    hwd = {5, 5, 5};
    EXPECT_EQ(get_cvt_hwd_type(0, nullptr, &src, -1, &hwd), -1);
    EXPECT_EQ(hwd.is_use_hw + hwd.hwd_decoder + hwd.hwd_encoder, 15);  // untouched
}

// ---------------------------------------------------------------- trial decode rules

TEST(HwdTrialRules, PacketBudgetFromFrameCount)
{
    const struct {
        int64_t nb_frames;
        int budget;
    } cases[] = {
        {0, 30}, {-1, 30}, {1, 1}, {25, 25}, {250, 250},
        {int64_t(1) << 32, 30},       // taken as 32 bits: 0
        {(int64_t(1) << 32) + 5, 5},  // taken as 32 bits: 5
        {int64_t(0xffffffff), 30},    // taken as 32 bits: -1
    };
    for (const auto &c : cases) EXPECT_EQ(get_hwd_trial_packet_budget(c.nb_frames), c.budget) << c.nb_frames;
}

TEST(HwdTrialRules, VerdictNeedsFewTriesAndAnEarlyKeyFrame)
{
    const struct {
        int tries, packets, budget, verdict;
    } cases[] = {
        {1, 1, 30, 1},   // first packet decoded at once
        {1, 28, 30, 1},  // key frame within the first 28 packets of a budget of 30
        {1, 29, 30, 0},
        {0, 30, 30, 0},  // no key packet in the whole budget
        {29, 5, 30, 1},
        {30, 5, 30, 0},  // attempts used up
        {1, 1, 2, 0},
        {1, 1, 3, 1},
        {1, 1, 1, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(get_hwd_trial_verdict(c.tries, c.packets, c.budget), c.verdict)
            << c.tries << " tries, " << c.packets << " packets of " << c.budget;
}

}  // namespace
