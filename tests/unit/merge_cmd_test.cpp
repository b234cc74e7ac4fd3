// The command lines of a merge: the line of each temporary and the joining
// line with its five templates, as exact strings.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "media/cmd_buffer.h"
#include "media/fmt_table.h"
#include "media/merge_cmd.h"
#include "hwd_fixture.h"
#include "media/opt_param.h"
#include "job/job_records.h"
#include "core/globals.h"
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

TEST_F(MergeCmd, TemporaryLines)
{
    const struct {
        const char *what;
        const char *v_fmt;
        uint32_t annexb;
        uint32_t audio_enable;
        dst_codec_info chosen;  // v_copy, a_copy, v_codec_id, a_codec_id, f_fmt_id
        const char *block;      // between the input and " -y"
    } cases[] = {
        // The copied-video and audio fragments are the conversion's (see its tests).
        {"h264 flagged", "h264", 1, 1, {1, 0, 1, 2, F_FMT_MP4}, "-c:v copy -bsf:v h264_mp4toannexb  -c:a libfdk_aac "},
        {"h264 not flagged", "h264", 0, 1, {1, 0, 1, 2, F_FMT_MP4}, "-c:v copy  -c:a libfdk_aac "},
        // Audio.
        {"audio dropped", "h264", 0, 0, {1, 0, 1, 2, F_FMT_MP4}, "-c:v copy  -an "},
        {"audio dropped although copyable", "h264", 0, 0, {1, 1, 1, 3, F_FMT_MP4}, "-c:v copy  -an "},
        {"audio copied", "h264", 0, 1, {1, 1, 1, 2, F_FMT_MP4}, "-c:v copy  -c:a copy "},
        // Re-encoded: the software encoder fragment is " -c:v <encoder> ".
        {"re-encoded", "h264", 1, 1, {0, 0, 1, 2, F_FMT_MP4}, " -c:v libx264  -q:v 23 -c:a libfdk_aac "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        job_.merge_param.audio_enable = c.audio_enable;
        job_.dst_codec_info = c.chosen;
        file_info *f = add("/in/a.mp4", "/out/merge_tmp_file-0.ts", c.v_fmt, c.annexb);
        EXPECT_EQ(tmp_line(f), kFf + "   -i \"/in/a.mp4\" " + c.block + " -y \"/out/merge_tmp_file-0.ts\" ");
    }
}

TEST_F(MergeCmd, ResizedTemporary)
{
    job_.merge_param.width = 1280;
    job_.merge_param.height = 720;
    job_.dst_codec_info = {0, 0, 1, 2, F_FMT_MP4};
    file_info *f = add("/in/a.mp4", "/out/t.ts");
    EXPECT_EQ(tmp_line(f),
              kFf + "   -i \"/in/a.mp4\"  -c:v libx264  -q:v 23 -c:a libfdk_aac -s 1280*720 -y \"/out/t.ts\" ");
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

// ---------------------------------------------------------------- joining

TEST_F(MergeCmd, JoiningTemplates)
{
    for (int i = 0; i < 3; i++)
        add(("/in/" + std::to_string(i) + ".mp4").c_str(),
            ("/out/merge_tmp_file-" + std::to_string(i) + ".ts").c_str());
    const std::string list =
        "concat:\"/out/merge_tmp_file-0.ts|/out/merge_tmp_file-1.ts|/out/merge_tmp_file-2.ts\"";
    const std::string aac = " -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac ";
    const struct {
        const char *what;
        const char *dst;
        int f_fmt_id, a_codec_id;
        int faststart;  // option 7: -1 not stored, -2 no option list at all
        std::string tail;
    } cases[] = {
        {"mp4 with aac, faststart unset", "/out/all.mp4", F_FMT_MP4, 2, -1, aac + " -movflags faststart -f mp4"},
        {"the second mp4 row checks as mp4", "/out/all.mp4", F_FMT_MP4_2, 2, -1, aac + " -movflags faststart -f mp4"},
        {"mp4 with aac, faststart off", "/out/all.mp4", F_FMT_MP4, 2, 0, aac + " -f mp4"},
        {"mp4 with other audio", "/out/all.mp4", F_FMT_MP4, 0, -1, " -c copy -movflags faststart -f mp4"},
        {"a job without options keeps faststart", "/out/all.mp4", F_FMT_MP4, 0, -2,
         " -c copy -movflags faststart -f mp4"},
        {"flv with aac ignores faststart", "/out/all.flv", F_FMT_FLV, 2, 1, aac + " -f flv"},
        {"flv with mp3 copies everything", "/out/all.flv", F_FMT_FLV, 1, -1, " -c copy -f flv"},
        {"the default format leaves format and audio to the tool", "/out/all.mkv", FMT_ID_DEFAULT, 2, -1, " -c:v copy"},
        {"sdv gets the sample rate", "/out/all.sdv", F_FMT_SDV, 2, -1, aac + "-ar 48000 -f sdv"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        opt_param_destroy(job_.opt_param);
        job_.opt_param = c.faststart == -2 ? nullptr : opt_param_create();
        if (c.faststart >= 0) set_faststart(c.faststart);
        set_dst(c.dst);
        job_.dst_codec_info.f_fmt_id = c.f_fmt_id;
        job_.dst_codec_info.a_codec_id = c.a_codec_id;
        EXPECT_EQ(join_line(), kFf + " -i " + list + c.tail + " -y \"" + c.dst + "\" ");
    }
}

TEST_F(MergeCmd, LinesAreLogged)
{
    tt::LogCapture log;
    file_info *f = add("/in/a.mp4", "/out/t.ts");
    EXPECT_TRUE(log.has_line(tmp_line(f)));
    EXPECT_TRUE(log.has_line(join_line()));
}

}  // namespace
