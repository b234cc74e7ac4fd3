// Choice of hardware codecs from a prepared detection record and their
// command fragments; the rules of the trial decode; the VA-API driver check.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "hwd_fixture.h"
#include "log_capture.h"
#include "media/codec_compat.h"
#include "media/fmt_table.h"
#include "media/hwd.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

// What a command builder does: choose, drop the decoder after a failed
// trial decode, then write the fragments.
TEST(HwdSelect, ChoiceAndFragments)
{
    init_fmt_table();
    tt::HwdStateGuard guard;
    const uint32_t AUTO = HWD_USAGE_AUTO, TYPE = HWD_USAGE_TYPE;
    // Detected devices as kind (0 NVIDIA, 1 Intel, 2 VA-API) and flags: decode h264, hevc, encode h264, hevc.
    const int NV = 1111, QSV = 11111, VA = 21111;
    struct Case { std::vector<int> detected; uint32_t mode; int job_kind; const char *v_fmt; int dst_v;
                  const char *pre, *dec, *enc; bool trial_ok = true; };
    const Case cases[] = {
        {{NV}, AUTO, -1, "h264 (High)", 3, "", "-c:v h264_cuvid", "-c:v h264_nvenc -profile:v high"},
        {{NV}, AUTO, -1, "h264 (High)", 3, "", "", "-c:v h264_nvenc -profile:v high", false},
        {{1100}, AUTO, -1, "h264", 1, "", "", " -c:v libx264 "},  // no encoder: no decoder either
        {{NV}, AUTO, -1, "mpeg4", 2, "", "", "-c:v h264_nvenc -profile:v baseline"},
        {{NV}, AUTO, -1, "h264", 0, "", "", " -c:v mpeg2video "},
        {{QSV}, AUTO, -1, "hevc (Main)", 1, "", "", "-c:v h264_qsv"},  // "hevc" matches whole only
        {{NV}, AUTO, -1, "hevc", 4, "", "-c:v hevc_cuvid", "-c:v h264_nvenc -profile:v main"},
        {{110}, AUTO, -1, "h264", 1, "", "", "-c:v h264_nvenc"},  // the flags of the other codec do not count
        {{QSV}, AUTO, -1, "hevc", 6, "", "-load_plugin hevc_hw -c:v hevc_qsv", "-c:v hevc_qsv -load_plugin hevc_hw"},
        {{VA}, AUTO, -1, "h264", 4, "-vaapi_device /dev/dri/renderD128", "-c:v h264_vaapi",
         "-vf 'format=nv12,hwupload' -c:v h264_vaapi -profile:v main"},
        // Several kinds: a pair with both codes wins, the first full pair ends the walk.
        {{10, QSV}, AUTO, -1, "h264", 1, "", "-c:v h264_qsv", "-c:v h264_qsv"},
        {{NV, QSV}, AUTO, -1, "h264", 1, "", "-c:v h264_cuvid", "-c:v h264_nvenc"},
        {{1000, 10010}, AUTO, -1, "h264", 1, "", "", "-c:v h264_qsv"},
        {{}, AUTO, -1, "h264", 1, "", "", " -c:v libx264 "},
        {{NV}, HWD_USAGE_NONE, -1, "h264", 3, "", "", " -c:v libx264 -profile:v high "},
        {{NV}, 7, -1, "h264", 1, "", "", " -c:v libx264 "},  // unknown mode: software
        {{NV}, TYPE, HWD_TYPE_NVIDIA, "hevc", 1, "", "-c:v hevc_cuvid", "-c:v h264_nvenc"},
        {{NV}, TYPE, HWD_TYPE_INTEL, "h264", 6, "", "", " -c:v libx265 "},  // that kind was not detected
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const Case &c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        s_hwd_dev_info = {};
        for (int d : c.detected)
            s_hwd_dev_info.dev[s_hwd_dev_info.hwd_num++] = {d / 10000, {}, {d / 1000 % 10, d / 100 % 10}, {d / 10 % 10, d % 10}};
        std::strcpy(s_hwd_env[HWD_TYPE_VAAPI].driver_path, "/dev/dri/renderD128");
        probe_result src = {};
        std::strcpy(src.v_fmt, c.v_fmt);
        dst_codec_info dst = {0, 0, c.dst_v, 2, 4};
        hwd_info hwd = {5, 5, 5};
        ASSERT_EQ(get_cvt_hwd_type(c.mode, &dst, &src, c.job_kind, &hwd), 1);
        if (!c.trial_ok) hwd.hwd_decoder = -1;
        char pre[HWD_CMD_SIZE] = "", dec[HWD_CMD_SIZE] = "", enc[HWD_CMD_SIZE] = "";
        ASSERT_EQ(get_hwd_cmd(&hwd, &dst, pre, dec, enc), 1);
        EXPECT_EQ(std::vector<std::string>({pre, dec, enc}), std::vector<std::string>({c.pre, c.dec, c.enc}));
        EXPECT_EQ(hwd.is_use_hw, (c.mode == AUTO && !c.detected.empty()) || c.mode == TYPE) << "is_use_hw";
    }
    hwd_info mixed = {5, 5, 5};
    EXPECT_EQ(get_cvt_hwd_type(AUTO, nullptr, nullptr, -1, &mixed), -1);
    EXPECT_EQ(std::vector<int>({mixed.is_use_hw, mixed.hwd_decoder, mixed.hwd_encoder}), std::vector<int>(3, 5));
}

TEST(HwdTrialRules, PacketBudgetAndVerdict)
{
    // The frame count is taken as 32 bits; none (or negative) gives 30 packets.
    const int64_t frames[][2] = {{0, 30}, {-1, 30}, {1, 1}, {250, 250}, {(int64_t(1) << 32) + 5, 5}, {0xffffffff, 30}};
    for (const auto &f : frames) EXPECT_EQ(get_hwd_trial_packet_budget(f[0]), f[1]) << f[0];
    // tries, packets, budget -> verdict: fewer than 30 tries and a key frame before the last two packets
    const int verdicts[][4] = {{1, 1, 30, 1}, {1, 28, 30, 1}, {1, 29, 30, 0}, {0, 30, 30, 0}, {29, 5, 30, 1},
                               {30, 5, 30, 0}, {1, 1, 2, 0},   {1, 1, 3, 1},   {1, 1, 1, 0}};
    for (const auto &v : verdicts)
        EXPECT_EQ(get_hwd_trial_verdict(v[0], v[1], v[2]), v[3]) << v[0] << "," << v[1] << "," << v[2];
}

// VA-API detection gets past its driver check only where a render node and a
// VA driver exist; both are faked here, since the test machine has neither.
TEST(HwdVaapi, DriverCheckFollowsRenderNodeAndDriverDirectory)
{
    tt::TempDir dir;
    const std::string node = dir.file("renderD128"), drivers = dir.file("dri"), empty = dir.file("empty");
    ASSERT_TRUE(tt::write_file(node, ""));
    std::filesystem::create_directories(drivers);
    std::filesystem::create_directories(empty);
    ASSERT_TRUE(tt::write_file(drivers + "/fake_drv_video.so", ""));
    const struct {
        std::string node, drivers;
        int found;
    } cases[] = {
        {node, drivers, 1},
        {dir.file("renderD129"), drivers, 0},  // no render node
        {node, empty, 0},                      // no VA driver
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.node + " " + c.drivers);
        tt::HwdStateGuard guard;
        tt::ScopedEnv device("TARSASDK_VAAPI_DEVICE", c.node), path("LIBVA_DRIVERS_PATH", c.drivers);
        tt::LogCapture log;
        EXPECT_EQ(set_hwd_env(HWD_TYPE_VAAPI), c.found);
        EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), c.found);
        EXPECT_EQ(std::string(s_hwd_env[HWD_TYPE_VAAPI].driver_path), c.found ? c.node : "");
        hwd_dev dev = {};
        // A fake node opens no codec, so the log is the only sign the codec tests ran.
        EXPECT_EQ(try_open_hwd(HWD_TYPE_VAAPI, &dev), 0);
        EXPECT_EQ(log.contains("try hwd vaapi support"), c.found == 1);
        EXPECT_EQ(log.contains("not find driver path:"), c.found == 0);
    }
}

}  // namespace
