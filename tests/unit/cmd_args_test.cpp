// Exact argument lists the tools receive (P, SRC, DST: tool, source, destination; WM: watermark
// filter), then the escaped watermark text read back by FFmpeg's rules.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/cmd_fragments.h"
#include "media/cut_cmd.h"
#include "media/cvt_cmd.h"
#include "media/fmt_table.h"
#include "media/merge_cmd.h"
#include "media/query_cmd.h"
#include "media/watermark.h"
#include "drawtext_read.h"

namespace {

using Args = std::vector<std::string>;

const char kSoftH264High[] = " -c:v libx264 -profile:v high ";  // as the hardware choice writes it
const char kNvenc[] = "-c:v h264_nvenc -profile:v high";
const char kVaapiPre[] = "-vaapi_device /dev/dri/renderD128";
const char kVaapi[] = "-vf 'format=nv12,hwupload' -c:v h264_vaapi -profile:v high";
const char kWm[] = "drawtext=fontfile=tf.ttf:text='TARSA':x=w*0/2+0:y=h*0/1+5:fontcolor=white:fontsize=24:"
                   "alpha=0.800000:angle=0,drawtext=fontfile=tf.ttf:text='TARSA':x=w*1/2+0:y=h*0/1+5:"
                   "fontcolor=white:fontsize=24:alpha=0.800000:angle=0";

// An MP4 source with H.264 High and AAC, re-encoded into MP4 in software.
job_desc base()
{
    job_desc d;
    d.tool_path = "/opt/tarsa/ffmpeg", d.src_file = "/in/my \"clip\" 1.mp4", d.dst_file = "/out/dst.mp4";
    d.dst = {0, 0, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_MP4};
    d.src_f_fmt = "mov", d.src_v_fmt = "h264 (High)", d.hwd.encoder = kSoftH264High, d.quality = 23;
    return d;
}

Args expand(const std::string &words, const job_desc &d)
{
    Args args;
    append_words(args, words);
    for (std::string &a : args)
        a = a == "P" ? d.tool_path : a == "SRC" ? d.src_file : a == "DST" ? d.dst_file : a == "WM" ? kWm : a;
    return args;
}

TEST(CmdArgs, EveryCommandGetsExactlyItsArguments)
{
    static std::once_flag once;
    std::call_once(once, [] { init_fmt_table(); });
    const struct {
        const char *name;
        std::function<Args(job_desc &)> build;
        const char *expected;
    } rows[] = {
        // Conversion: P PRE DEC -i SRC <option block> -y DST.
        {"cvt copy, Annex B filter, encoder options ignored",
         [](job_desc &d) { d.dst.v_copy = 1; d.annexb = true; d.threads = 4; d.ppid = 99; return get_cvt_cmd(d); },
         "P -i SRC -c:v copy -bsf:v h264_mp4toannexb -c:a libfdk_aac -movflags faststart -f mp4 -y DST"},
        {"cvt encode with every option, faststart off", [](job_desc &d) {
             d.threads = 4; d.preset = "fast"; d.frame_num = 50; d.ppid = 1234; d.faststart = false; d.dst.a_copy = 1;
             return get_cvt_cmd(d); },
         "P -i SRC -threads 4 -preset fast -keyint_min 50 -g 50 -sc_threshold 0 -ppid 1234 -c:v libx264 "
         "-profile:v high -q:v 23 -c:a copy -f mp4 -y DST"},
        {"cvt NVENC takes quality 25 as 5, flv", [](job_desc &d) {
             d.hwd = {"", "-c:v h264_cuvid", kNvenc}; d.quality = video_quality(kNvenc, 25); d.dst.f_fmt_id = F_FMT_FLV;
             return get_cvt_cmd(d); },
         "P -c:v h264_cuvid -i SRC -c:v h264_nvenc -profile:v high -q:v 5 -c:a libfdk_aac -f flv -y DST"},
        {"cvt VA-API", [](job_desc &d) { d.hwd = {kVaapiPre, "-c:v h264_vaapi", kVaapi}; return get_cvt_cmd(d); },
         "P -vaapi_device /dev/dri/renderD128 -c:v h264_vaapi -i SRC -vf 'format=nv12,hwupload' -c:v h264_vaapi "
         "-profile:v high -q:v 23 -c:a libfdk_aac -movflags faststart -f mp4 -y DST"},
        {"cvt watermark grid 1x2, resized, no audio, format left to the tool", [](job_desc &d) {
             ot_ex mark = {};
             mark.row_num = 1; mark.col_num = 2; mark.font_size = 24; mark.transparency = 20; mark.y_offset = 5;
             std::strcpy(mark.font_color, "white"); std::strcpy(mark.text, "TARSA");
             d.watermark = mark; d.width = 640; d.height = 360; d.audio_enable = false; d.dst.f_fmt_id = 255;
             return get_cvt_cmd(d); },
         "P -i SRC -vf WM -c:v libx264 -profile:v high -q:v 23 -an -s 640*360 -y DST"},
        // Cut: templates by container (A none, B mp4 with faststart, C other) and video (1 copy from
        // a mov source, 2 copy, 3 encode).
        {"cut B1", [](job_desc &d) { d.dst.v_copy = 1; d.start_time = 65; d.cut_length = 10; return get_cut_cmd(d); },
         "P -accurate_seek -ss 65.0 -i SRC -t 10 -c:v copy -avoid_negative_ts 1 -c:a libfdk_aac -movflags faststart "
         "-f mp4 -y DST"},
        {"cut C1", [](job_desc &d) { d.dst.v_copy = 1; d.faststart = false; d.cut_length = 10; return get_cut_cmd(d); },
         "P -accurate_seek -ss 0.0 -i SRC -t 10 -c:v copy -avoid_negative_ts 1 -c:a libfdk_aac -y DST"},
        {"cut A2, flv from 0",
         [](job_desc &d) { d.src_f_fmt = "flv"; d.dst = {1, 1, 1, 2, 255}; d.cut_length = 7; return get_cut_cmd(d); },
         "P -ss 0.1 -accurate_seek -i SRC -accurate_seek -t 7 -c:v copy -c:a copy -y DST"},
        {"cut C2, no audio", [](job_desc &d) {
             d.src_f_fmt = "mpegts"; d.dst.v_copy = 1; d.dst.f_fmt_id = F_FMT_FLV; d.audio_enable = false;
             d.start_time = 3; d.cut_length = 5; return get_cut_cmd(d); },
         "P -accurate_seek -ss 3.0 -t 5 -i SRC -c:v copy -avoid_negative_ts 1 -an -y DST"},
        {"cut A3, no decoder fragment", [](job_desc &d) {
             d.hwd = {kVaapiPre, "-c:v h264_vaapi", kVaapi}; d.dst.f_fmt_id = 255; d.width = 640; d.height = 360;
             d.cut_length = 9; return get_cut_cmd(d); },
         "P -vaapi_device /dev/dri/renderD128 -ss 0.0 -t 9 -i SRC -vf 'format=nv12,hwupload' -c:v h264_vaapi "
         "-profile:v high -q:v 23 -c:a libfdk_aac -s 640*360 -y DST"},
        {"cut C3", [](job_desc &d) {
             d.hwd.decoder = "-c:v h264_cuvid"; d.dst.f_fmt_id = F_FMT_FLV; d.cut_length = 9; return get_cut_cmd(d); },
         "P -c:v h264_cuvid -ss 0.0 -t 9 -i SRC -c:v libx264 -profile:v high -q:v 23 -c:a libfdk_aac -f flv -y DST"},
        // Merge: P PRE DEC -i SRC V A R -y DST into a temporary, and the join's five templates.
        {"merge temporary, A-law becomes AAC", [](job_desc &d) {
             d.dst = merge_codecs({0, 1, 1, 3, 4}, true); d.width = 320; d.height = 240;
             d.hwd.encoder = " -c:v libx264 "; return get_merge_tmp_cmd(d); },
         "P -i SRC -c:v libx264 -q:v 23 -c:a libfdk_aac -s 320*240 -y DST"},
        {"merge temporary, HEVC copy", [](job_desc &d) {
             d.dst = {1, 1, 6, 2, 4}; d.src_v_fmt = "hevc"; d.annexb = true; return get_merge_tmp_cmd(d); },
         "P -i SRC -c:v copy -bsf:v hevc_mp4toannexb -c:a copy -y DST"},
        {"merge temporary fitted into the first source's size, VA-API", [](job_desc &d) {
             d.fit_width = 160; d.fit_height = 120; d.hwd = {kVaapiPre, "", kVaapi}; return get_merge_tmp_cmd(d); },
         "P -vaapi_device /dev/dri/renderD128 -i SRC -vf scale=160:120:force_original_aspect_ratio=decrease,"
         "pad=160:120:(ow-iw)/2:(oh-ih)/2,'format=nv12,hwupload' -c:v h264_vaapi -profile:v high -q:v 23 "
         "-c:a libfdk_aac -y DST"},
        {"merge temporary fitted, software", [](job_desc &d) {
             d.fit_width = 160; d.fit_height = 120; return get_merge_tmp_cmd(d); },
         "P -i SRC -c:v libx264 -profile:v high -q:v 23 -c:a libfdk_aac "
         "-vf scale=160:120:force_original_aspect_ratio=decrease,pad=160:120:(ow-iw)/2:(oh-ih)/2 -y DST"},
        {"join, format by name", [](job_desc &d) { d.dst.f_fmt_id = 255; return get_merge_cmd(d, {"a", "b"}); },
         "P -i concat:a|b -c:v copy -y DST"},
        {"join into mp4, A-law became AAC",
         [](job_desc &d) { d.dst = merge_codecs({1, 1, 3, 3, 4}, true); return get_merge_cmd(d, {"a.ts", "b.ts"}); },
         "P -i concat:a.ts|b.ts -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac -movflags faststart -f mp4 -y DST"},
        {"join into mp4, MP3", [](job_desc &d) { d.dst.a_codec_id = A_FMT_MP3; return get_merge_cmd(d, {"a"}); },
         "P -i concat:a -c copy -movflags faststart -f mp4 -y DST"},
        {"join into sdv, AAC",
         [](job_desc &d) { d.dst.f_fmt_id = F_FMT_SDV; d.dst_file = "/out/d.sdv"; return get_merge_cmd(d, {"a"}); },
         "P -i concat:a -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac -ar 48000 -f sdv -y DST"},
        {"join into flv, MP3",
         [](job_desc &d) { d.dst.a_codec_id = A_FMT_MP3; d.dst.f_fmt_id = F_FMT_FLV; return get_merge_cmd(d, {"a"}); },
         "P -i concat:a -c copy -f flv -y DST"},
        {"probe", [](job_desc &d) { return get_probe_cmd("/opt/ffprobe", d.src_file); }, "/opt/ffprobe -i SRC"},
        {"version", [](job_desc &) { return get_version_cmd("/opt/tarsa/"); }, "/opt/tarsa/ffmpeg -version"},
    };
    for (const auto &row : rows) {
        job_desc d = base();
        const Args got = row.build(d);
        EXPECT_EQ(got, expand(row.expected, d)) << row.name;
    }
}

TEST(WatermarkText, FfmpegReadsBackExactlyTheText)
{
    const char *texts[] = {"TARSA", "It's 50%: a\\b, c; \"d\"", "tab\there", "\r edge \r",
                           " lead and trail ", "'", "\\", "\\'", "%{pts}", "a'b'c:d", "[out];x=1,y", "\\\\%\\"};
    for (const char *text : texts) {
        ot_ex mark = {};
        mark.row_num = mark.col_num = 1;
        std::strcpy(mark.font_color, "white"), std::strcpy(mark.text, text);
        std::string graph;
        ASSERT_TRUE(watermark_filter(mark, &graph));
        EXPECT_EQ(tt::drawn_text(graph), text) << graph;
    }
    // A line break stands as backslash, backslash, "n" in the text.
    ot_ex mark = {};
    mark.row_num = mark.col_num = 1;
    std::strcpy(mark.font_color, "white"), std::strcpy(mark.text, "line1\nline2");
    std::string graph;
    ASSERT_TRUE(watermark_filter(mark, &graph));
    EXPECT_NE(graph.find("text='line1\\\\nline2'"), std::string::npos) << graph;
}

}  // namespace
