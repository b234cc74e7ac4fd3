// The command lines of a merge: the line of each temporary and the joining
// line with its five templates, as exact strings.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "cvt/cmd_buffer.h"
#include "cvt/fmt_table.h"
#include "cvt/merge_cmd.h"
#include "hwd_fixture.h"
#include "opt/opt_param.h"
#include "sdk/job_records.h"
#include "sdk/sdk_globals.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

const std::string kFf = "\"/opt/ff/ffmpeg\"";

// A merge job record built by hand, with its sources in a list.
class MergeCmd : public ::testing::Test {
protected:
    void SetUp() override
    {
        static std::once_flag once;
        std::call_once(once, [] { init_fmt_table(); });
        str_copy(saved_ff_path_, sizeof saved_ff_path_, s_ff_path);
        set_ff_path("/opt/ff/");
        job_.kind = TARSA_JOB_MERGE;
        job_.ls_src_file = adt_dlist_create(sizeof(file_info *));
        job_.opt_param = opt_param_create();
        job_.merge_param.audio_enable = 1;
        job_.merge_param.quality = 23;
        job_.usage_mode = HWD_USAGE_NONE;
        job_.hwd_type = -1;
        set_dst("/out/all.mp4");
        job_.dst_codec_info = {1, 0, 1, 2, F_FMT_MP4};
        job_.tmp_slots.store(2);
        cmd_ = make_cmd_buffer();
    }
    void TearDown() override
    {
        for (file_info *f : sources_) delete f;
        adt_dlist_destroy(job_.ls_src_file);
        opt_param_destroy(job_.opt_param);
        set_ff_path(saved_ff_path_);
    }

    void set_dst(const char *dst) { str_copy(job_.dst_file, sizeof job_.dst_file, dst); }

    file_info *add(const char *src, const char *tmp, const char *v_fmt = "h264", uint32_t annexb = 1)
    {
        file_info *f = new file_info();
        f->merge_info = &job_;
        str_copy(f->src_file, sizeof f->src_file, src);
        str_copy(f->dst_file, sizeof f->dst_file, tmp);
        str_copy(f->result.v_fmt, sizeof f->result.v_fmt, v_fmt);
        f->h2645_mp4toannexb = annexb;
        adt_dlist_add(job_.ls_src_file, 0, &f);
        sources_.push_back(f);
        return f;
    }

    std::string tmp_line(file_info *f)
    {
        EXPECT_EQ(get_merge_tmp_cmd(&job_, f, cmd_.get()), 1);
        return cmd_.get();
    }

    std::string join_line()
    {
        EXPECT_EQ(get_merge_cmd(&job_, job_.ls_src_file, cmd_.get()), 1);
        return cmd_.get();
    }

    void set_faststart(int32_t value)
    {
        ASSERT_EQ(opt_param_set(job_.opt_param, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &value, sizeof value), 1);
    }

    char saved_ff_path_[MAX_PATH];
    merge_info job_{};
    std::vector<file_info *> sources_;
    cmd_buffer cmd_;
};

// ---------------------------------------------------------------- temporaries

TEST_F(MergeCmd, CopiedLengthPrefixedH264GetsTheAnnexBFilter)
{
    file_info *f = add("/in/a.mp4", "/out/merge_tmp_file-0.ts");
    EXPECT_EQ(tmp_line(f), kFf + "   -i \"/in/a.mp4\" -c:v copy -bsf:v h264_mp4toannexb  -c:a libfdk_aac  -y "
                                 "\"/out/merge_tmp_file-0.ts\" ");
}

TEST_F(MergeCmd, VideoCopyFragmentByNameAndFlag)
{
    struct Case {
        const char *v_fmt;
        uint32_t annexb;
        const char *video;
    } cases[] = {
        {"h264", 0, "-c:v copy "},
        {"hevc", 1, "-c:v copy -bsf:v hevc_mp4toannexb "},
        {"h264 (High)", 1, "-c:v copy -bsf:v h264_mp4toannexb "},
        {"mpeg4", 1, "-c:v copy "},
    };
    for (const Case &c : cases) {
        file_info *f = add("/in/a.mp4", "/out/t.ts", c.v_fmt, c.annexb);
        EXPECT_EQ(tmp_line(f), kFf + "   -i \"/in/a.mp4\" " + c.video + " -c:a libfdk_aac  -y \"/out/t.ts\" ")
            << c.v_fmt << " " << c.annexb;
    }
}

TEST_F(MergeCmd, ReencodeWithSizeAndQuality)
{
    job_.merge_param.width = 1280;
    job_.merge_param.height = 720;
    job_.dst_codec_info = {0, 0, 1, 2, F_FMT_MP4};
    file_info *f = add("/in/a.mp4", "/out/t.ts");
    // The software encoder fragment is " -c:v <encoder> ".
    EXPECT_EQ(tmp_line(f), kFf + "   -i \"/in/a.mp4\"  -c:v libx264  -q:v 23 -c:a libfdk_aac -s 1280*720 -y "
                                 "\"/out/t.ts\" ");
}

TEST_F(MergeCmd, AudioFragmentOfTheTemporary)
{
    struct Case {
        uint32_t audio_enable;
        int a_copy;
        int a_codec_id;
        const char *audio;
    } cases[] = {
        {0, 0, 2, "-an"},
        {0, 1, 3, "-an"},
        {1, 1, 2, "-c:a copy"},
        {1, 0, 0, "-c:a mp2"},
        {1, 0, 2, "-c:a libfdk_aac"},
    };
    for (const Case &c : cases) {
        job_.merge_param.audio_enable = c.audio_enable;
        job_.dst_codec_info.a_copy = c.a_copy;
        job_.dst_codec_info.a_codec_id = c.a_codec_id;
        file_info *f = add("/in/a.mp4", "/out/t.ts", "h264", 0);
        EXPECT_EQ(tmp_line(f), kFf + "   -i \"/in/a.mp4\" -c:v copy  " + c.audio + "  -y \"/out/t.ts\" ")
            << c.audio_enable << " " << c.a_copy << " " << c.a_codec_id;
    }
}

TEST_F(MergeCmd, AlawBecomesAacForThisAndEveryLaterLine)
{
    job_.dst_codec_info.a_codec_id = 3;
    job_.dst_codec_info.a_copy = 1;
    file_info *f = add("/in/a.avi", "/out/t.ts", "mpeg4", 0);
    const std::string expected = kFf + "   -i \"/in/a.avi\" -c:v copy  -c:a libfdk_aac  -y \"/out/t.ts\" ";
    EXPECT_EQ(tmp_line(f), expected);
    EXPECT_EQ(job_.dst_codec_info.a_codec_id, 2);
    EXPECT_EQ(job_.dst_codec_info.a_copy, 0);
    EXPECT_EQ(tmp_line(f), expected);
    // The joining line sees AAC as well.
    EXPECT_NE(join_line().find("-bsf:a aac_adtstoasc -c:a libfdk_aac "), std::string::npos);
}

TEST_F(MergeCmd, NvidiaEncoderTakesQualityModuloTen)
{
    tt::HwdStateGuard guard;
    tt::set_detected({tt::make_hwd_dev(HWD_TYPE_NVIDIA, 0, 0, 1, 0)});
    job_.usage_mode = HWD_USAGE_TYPE;
    job_.hwd_type = HWD_TYPE_NVIDIA;
    job_.merge_param.quality = 25;
    job_.dst_codec_info = {0, 0, 1, 2, F_FMT_MP4};
    file_info *f = add("/in/a.mp4", "/out/t.ts", "mpeg4", 0);
    const std::string expected =
        kFf + "   -i \"/in/a.mp4\" -c:v h264_nvenc -q:v 5 -c:a libfdk_aac  -y \"/out/t.ts\" ";
    EXPECT_EQ(tmp_line(f), expected);
    EXPECT_EQ(job_.merge_param.quality, 5);
    EXPECT_EQ(tmp_line(f), expected);
}

TEST_F(MergeCmd, TemporaryLineIsLogged)
{
    tt::LogCapture log;
    file_info *f = add("/in/a.mp4", "/out/t.ts");
    std::string line = tmp_line(f);
    EXPECT_TRUE(log.has_line(line));
}

TEST_F(MergeCmd, TemporaryLineRefusesMissingArguments)
{
    tt::LogCapture log;
    file_info *f = add("/in/a.mp4", "/out/t.ts");
    EXPECT_EQ(get_merge_tmp_cmd(nullptr, f, cmd_.get()), 0);
    EXPECT_EQ(get_merge_tmp_cmd(&job_, nullptr, cmd_.get()), 0);
    EXPECT_EQ(get_merge_tmp_cmd(&job_, f, nullptr), 0);
    EXPECT_EQ(log.count("merge_info == NULL || file_info == NULL || cmd == NULL"), 3);
}

// ---------------------------------------------------------------- joining

class MergeJoin : public MergeCmd {
protected:
    void SetUp() override
    {
        MergeCmd::SetUp();
        add("/in/a.mp4", "/out/merge_tmp_file-0.ts");
        add("/in/b.mp4", "/out/merge_tmp_file-1.ts");
        add("/in/c.mp4", "/out/merge_tmp_file-2.ts");
    }
    const std::string kList = "concat:\"/out/merge_tmp_file-0.ts|/out/merge_tmp_file-1.ts|/out/merge_tmp_file-2.ts\"";
};

TEST_F(MergeJoin, Mp4WithAacAndFaststartUnset)
{
    EXPECT_EQ(join_line(), kFf + " -i " + kList +
                               " -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac  -movflags faststart -f mp4 -y "
                               "\"/out/all.mp4\" ");
}

TEST_F(MergeJoin, SecondMp4RowChecksAsMp4)
{
    job_.dst_codec_info.f_fmt_id = F_FMT_MP4_2;
    EXPECT_EQ(join_line(), kFf + " -i " + kList +
                               " -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac  -movflags faststart -f mp4 -y "
                               "\"/out/all.mp4\" ");
}

TEST_F(MergeJoin, JobWithoutOptionsKeepsFaststart)
{
    opt_param_destroy(job_.opt_param);
    job_.opt_param = nullptr;
    job_.dst_codec_info.a_codec_id = 0;
    EXPECT_EQ(join_line(), kFf + " -i " + kList + " -c copy -movflags faststart -f mp4 -y \"/out/all.mp4\" ");
    job_.opt_param = opt_param_create();
}

TEST_F(MergeJoin, Mp4WithOtherAudioAndFaststart)
{
    job_.dst_codec_info.a_codec_id = 0;
    EXPECT_EQ(join_line(), kFf + " -i " + kList + " -c copy -movflags faststart -f mp4 -y \"/out/all.mp4\" ");
}

TEST_F(MergeJoin, Mp4WithAacAndFaststartOff)
{
    set_faststart(0);
    EXPECT_EQ(join_line(),
              kFf + " -i " + kList + " -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac  -f mp4 -y \"/out/all.mp4\" ");
}

TEST_F(MergeJoin, FlvWithAacIgnoresFaststart)
{
    set_dst("/out/all.flv");
    job_.dst_codec_info.f_fmt_id = F_FMT_FLV;
    set_faststart(1);
    EXPECT_EQ(join_line(),
              kFf + " -i " + kList + " -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac  -f flv -y \"/out/all.flv\" ");
}

TEST_F(MergeJoin, FlvWithMp3CopiesEverything)
{
    set_dst("/out/all.flv");
    job_.dst_codec_info.f_fmt_id = F_FMT_FLV;
    job_.dst_codec_info.a_codec_id = 1;
    EXPECT_EQ(join_line(), kFf + " -i " + kList + " -c copy -f flv -y \"/out/all.flv\" ");
}

TEST_F(MergeJoin, DefaultFormatLeavesFormatAndAudioToTheTool)
{
    set_dst("/out/all.mkv");
    job_.dst_codec_info.f_fmt_id = FMT_ID_DEFAULT;
    EXPECT_EQ(join_line(), kFf + " -i " + kList + " -c:v copy -y \"/out/all.mkv\" ");
}

TEST_F(MergeJoin, SdvDestinationGetsTheSampleRate)
{
    set_dst("/out/all.sdv");
    job_.dst_codec_info.f_fmt_id = F_FMT_SDV;
    EXPECT_EQ(join_line(), kFf + " -i " + kList +
                               " -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac -ar 48000 -f sdv -y \"/out/all.sdv\" ");
}

TEST_F(MergeJoin, LineIsLoggedAndMissingArgumentsRefused)
{
    tt::LogCapture log;
    std::string line = join_line();
    EXPECT_TRUE(log.has_line(line));
    EXPECT_EQ(get_merge_cmd(&job_, nullptr, cmd_.get()), 0);
    EXPECT_EQ(get_merge_cmd(&job_, job_.ls_src_file, nullptr), 0);
    EXPECT_EQ(log.count("ls_file_list == NULL || cmd == NULL"), 2);
}

}  // namespace
