// Hardware detection and the trial decode on a machine without a GPU: the
// hardware codecs are in the FFmpeg build but none opens.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "hwd_fixture.h"
#include "media/hwd.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

TEST(HwdDetect, NothingFoundAndAFailedDetectionRunsAgain)
{
    tt::HwdStateGuard guard;
    is_chech_hwd = 0;
    for (int round = 0; round < 2; round++) {  // the record emptied each time: a failed detection runs again
        s_hwd_dev_info.hwd_num = 2;
        EXPECT_EQ(tarsa_register_hwd(), 0);
        EXPECT_EQ(s_hwd_dev_info.hwd_num + is_chech_hwd, 0);
    }
    is_chech_hwd = 1;  // after a success none runs: the record stays as it is
    s_hwd_dev_info.hwd_num = 2;
    EXPECT_EQ(tarsa_register_hwd(), 1);
    EXPECT_EQ(s_hwd_dev_info.hwd_num, 2);
    std::memset(&s_hwd_dev_info, 0x5c, sizeof s_hwd_dev_info);  // a host's record leaves the library's alone
    hwd_dev_info before = s_hwd_dev_info, host;
    std::memset(&host, 0x33, sizeof host);
    EXPECT_EQ(tarsa_sdk_find_usr_hwd(&host), 0);
    EXPECT_EQ(host.hwd_num, 0);
    EXPECT_EQ(std::memcmp(&before, &s_hwd_dev_info, sizeof before), 0);
    for (int i = 0; i < 10; i++) ASSERT_EQ(find_usr_hwd(&host), 0);  // sanitizer build: everything released
    // Hardware codecs do not open here (the detection above tried the NVIDIA and Intel ones), nor does an
    // unknown name, while the same set-up opens those that need none.
    for (const char *name : {"no_such_codec", "h264_vaapi"})
        EXPECT_EQ(try_ff_open_decoder_hwd(name) + try_ff_open_encoder_hwd(name), 0) << name;
    EXPECT_EQ(try_ff_open_decoder_hwd("h264") + try_ff_open_encoder_hwd("mpeg4"), 2);
}

// Each early return (no decoder, no video, no file, not media) must close
// what it opened: checked by the sanitizer build.
TEST(HwdTrialDecode, NothingDecodesWithoutHardware)
{
    tt::TempDir dir;
    const std::string ts = dir.file("h.ts"), avi = dir.file("m.avi"), m4a = dir.file("a.m4a"), junk = dir.file("j.mp4");
    ASSERT_TRUE(tt::make_media(ts, 1, {"-c:v", "libx264", "-f", "mpegts"}, 160, 120, false) &&
                tt::make_media(avi, 1, {"-c:v", "mpeg4"}, 160, 120, false) &&
                tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", m4a}) &&
                tt::write_file(junk, std::string(64, '\x11')));
    const int NV = HWD_CODEC_H264_NV;
    const std::pair<std::string, int> cases[] = {{ts, NV}, {ts, HWD_CODEC_HEVC_NV}, {ts, HWD_CODEC_H264_VAAPI},
                                                 {ts, 9}, {avi, NV}, {m4a, NV}, {dir.file("none"), NV}, {junk, NV}};
    for (const auto &c : cases) EXPECT_EQ(is_use_hwd_decodec(c.first.c_str(), c.second), 0) << c.first;
    const auto start = std::chrono::steady_clock::now();  // Quick Sync opens, fails when fed: 30 tries 10 ms apart
    EXPECT_EQ(is_use_hwd_decodec(ts.c_str(), HWD_CODEC_H264_QSV), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
}

}  // namespace
