// Every function that takes pointers refuses a missing one: it returns its
// failure value and logs exactly one line naming the condition.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/cmd_buffer.h"
#include "media/cut_cmd.h"
#include "media/cvt_cmd.h"
#include "media/fmt_table.h"
#include "media/hwd.h"
#include "media/merge_cmd.h"
#include "media/parsers.h"
#include "tool/probe.h"
#include "tool/runner.h"
#include "ff/ff_func.h"
#include "log_capture.h"
#include "job/job_records.h"
#include "job/merge_fmt.h"
#include "job/merge_sources.h"
#include "job/merge_tmp.h"
#include "job/merge_worker.h"
#include "tarsasdk.h"

namespace {

// The call as written, and the call; void calls give 0.
#define CALL(expr) #expr, [&]() -> long long { return (long long)(expr); }

TEST(NullArguments, AreRefusedWithOneLogLine)
{
    char buf[4096] = "  Stream #0:0: Video: h264 (High), yuv420p, 320x240\n";
    char out[MAX_PATH] = {};
    int w = 0, h = 0;
    int32_t v = 1;
    probe_result result = {};
    probe_result_ex result_ex = {};
    dst_codec_info dst = {};
    hwd_info hwd = {};
    cvt_info cvt = {};
    cut_info cut = {};
    merge_info merge = {};
    file_info file = {};
    merge.ls_src_file = adt_dlist_create(sizeof(file_info *));
    opt_param no_list = {nullptr, 0};
    opt_param *options = opt_param_create();
    const char *kCodecArgs = "f_fmt == NULL || a_fmt == NULL || v_fmt == NULL || dst_codec_info == NULL";
    const char *kHwdCmd = "!hwd_info || !hwd_pre_cmd || !hwd_decoder_cmd || !hwd_encoder_cmd || !dst_codec_info";
    const char *kTmpName = "dst_path == NULL || ext == NULL || dst_file == NULL";
    const char *kCutCreate = "tarsa_sdk_cut_create: !src_file|| !dst_file || !param";
    cut_param_v1 cut_v1 = {};
    merge_param merge_param = {3, 0, 0, 1, 23};
    merge_param_v1 merge_v1 = {};
    const struct {
        const char *what;
        std::function<long long()> call;
        long long result;
        const char *message;  // nullptr: nothing logged
    } rows[] = {
        // The runner.
        {CALL(pipe_popen(nullptr, "r")), 0, "cmd == NULL || mode == NULL"},
        {CALL(pipe_popen("x", nullptr)), 0, "cmd == NULL || mode == NULL"},
        {CALL(pipe_fgets(buf, 16, nullptr)), 0, "buf == NULL || count <= 0 || fp == NULL"},
        {CALL(pipe_feof(nullptr)), -1, "fp == NULL"},
        {CALL(pipe_pclose(nullptr)), -1, "fp == NULL"},
        {CALL(pipe_child_pid(nullptr)), -1, nullptr},
        {CALL(get_buf_pid(nullptr)), -1, "buf == NULL"},
        // The parsers.
        {CALL(get_buf_f_fmt(nullptr, out)), -1, "buf == NULL || f_fmt == NULL"},
        {CALL(get_buf_f_fmt(buf, nullptr)), -1, "buf == NULL || f_fmt == NULL"},
        {CALL(get_buf_header_info(nullptr)), 0, "buf == NULL"},
        {CALL(get_buf_duration(nullptr)), -1, "buf == NULL"},
        {CALL(get_buf_cur_time(nullptr)), -1, "buf == NULL"},
        {CALL(get_buf_resolution(nullptr, &w, &h)), -1, "buf == NULL"},
        {CALL(get_buf_resolution(buf, nullptr, &h)), -1, "buf == NULL"},
        {CALL(get_buf_v_fmt(nullptr, out)), -1, "buf == NULL"},
        {CALL(get_buf_v_fmt(buf, nullptr)), -1, "buf == NULL"},
        {CALL(get_buf_a_fmt(nullptr, out)), -1, "buf == NULL"},
        {CALL(get_video_detailed_param(nullptr)), -1, "get_video_detailed_param buf == NULL"},
        {CALL(get_audio_detailed_param(nullptr)), -1, "get_audio_detailed_param buf == NULL"},
        {CALL(get_buf_ffmpeg_version(nullptr, out)), -1, "buf == NULL || f_fmt == NULL"},
        {CALL(get_buf_ffmpeg_version("ffmpeg version 1 Copyright", nullptr)), -1, "buf == NULL || f_fmt == NULL"},
        // The tables and the destination choice.
        {CALL(get_f_fmt_id(nullptr)), -1, "fmt == NULL"},
        {CALL(get_v_fmt_id(nullptr)), -1, "fmt == NULL"},
        {CALL(get_a_fmt_id(nullptr)), -1, "fmt == NULL"},
        {CALL((add_fmt(FMT_KIND_V, 42, nullptr, "x"), 0)), 0, "fmt == NULL"},
        {CALL(get_dst_file_codec_id(4, 2, 1, 0, 3, 0, 0, nullptr, nullptr)), 0, "dst_codec_info == NULL"},
        {CALL(get_dst_file_codec_id_by_fmt(nullptr, "aac", "h264", 0, 3, 0, 0, nullptr, &dst)), 0, kCodecArgs},
        {CALL(get_dst_file_codec_id_by_fmt("mp4", nullptr, "h264", 0, 3, 0, 0, nullptr, &dst)), 0, kCodecArgs},
        {CALL(get_dst_file_codec_id_by_fmt("mp4", "aac", nullptr, 0, 3, 0, 0, nullptr, &dst)), 0, kCodecArgs},
        {CALL(get_dst_file_codec_id_by_fmt("mp4", "aac", "h264", 0, 3, 0, 0, nullptr, nullptr)), 0, kCodecArgs},
        {CALL(get_cvt_hwd_type(0, nullptr, &result, -1, &hwd)), -1, "get_cvt_hwd_type: !is_use_hw|| !hwd_type"},
        {CALL(get_cvt_hwd_type(0, &dst, nullptr, -1, &hwd)), -1, "get_cvt_hwd_type: !is_use_hw|| !hwd_type"},
        {CALL(get_cvt_hwd_type(0, &dst, &result, -1, nullptr)), -1, "get_cvt_hwd_type: !is_use_hw|| !hwd_type"},
        {CALL(get_hwd_cmd(nullptr, &dst, buf, out, out)), 0, kHwdCmd},
        {CALL(get_hwd_cmd(&hwd, nullptr, buf, out, out)), 0, kHwdCmd},
        {CALL(get_hwd_cmd(&hwd, &dst, nullptr, out, out)), 0, kHwdCmd},
        {CALL(get_hwd_cmd(&hwd, &dst, buf, nullptr, out)), 0, kHwdCmd},
        {CALL(get_hwd_cmd(&hwd, &dst, buf, out, nullptr)), 0, kHwdCmd},
        // The command builders.
        {CALL(get_cvt_cmd(nullptr, buf)), 0, "info == NULL || cmd == NULL"},
        {CALL(get_cvt_cmd(&cvt, nullptr)), 0, "info == NULL || cmd == NULL"},
        {CALL(cvt_use_audio_cmd(nullptr, A_FMT_AAC, out, sizeof out)), 0, "cvt_use_audio_cmd: !f_fmt || !audio_cmd"},
        {CALL(cvt_use_audio_cmd("o.mp4", A_FMT_AAC, nullptr, 256)), 0, "cvt_use_audio_cmd: !f_fmt || !audio_cmd"},
        {CALL(get_cut_cmd(nullptr, buf)), 0, "cut_info == NULL || cmd == NULL"},
        {CALL(get_cut_cmd(&cut, nullptr)), 0, "cut_info == NULL || cmd == NULL"},
        {CALL(get_merge_tmp_cmd(nullptr, &file, buf)), 0, "merge_info == NULL || file_info == NULL || cmd == NULL"},
        {CALL(get_merge_tmp_cmd(&merge, nullptr, buf)), 0, "merge_info == NULL || file_info == NULL || cmd == NULL"},
        {CALL(get_merge_tmp_cmd(&merge, &file, nullptr)), 0, "merge_info == NULL || file_info == NULL || cmd == NULL"},
        {CALL(get_merge_cmd(&merge, nullptr, buf)), 0, "ls_file_list == NULL || cmd == NULL"},
        {CALL(get_merge_cmd(&merge, merge.ls_src_file, nullptr)), 0, "ls_file_list == NULL || cmd == NULL"},
        // Option lists.
        {CALL(opt_param_set(nullptr, 1, &v, sizeof v)), 0, "p_opt_param == NULL"},
        {CALL(opt_param_set(&no_list, 1, &v, sizeof v)), 0, "p_opt_param == NULL"},
        {CALL(opt_param_get(nullptr, 1, &v, sizeof v)), 0, "opt_param == NULL || data == NULL"},
        {CALL(opt_param_get(&no_list, 1, &v, sizeof v)), 0, "opt_param == NULL || data == NULL"},
        {CALL(opt_param_get(options, 1, nullptr, 4)), 0, "opt_param == NULL || data == NULL"},
        {CALL(opt_param_destroy(nullptr)), 0, "opt_param == NULL"},
        // Sources, temporaries and paths of merges.
        {CALL(get_file_path("/a/b.mp4", nullptr)), 0, "path == NULL"},
        {CALL(get_tmp_file_name(nullptr, "ts", out)), 0, kTmpName},
        {CALL(get_tmp_file_name("/out/", nullptr, out)), 0, kTmpName},
        {CALL(get_tmp_file_name("/out/", "ts", nullptr)), 0, kTmpName},
        {CALL(get_merge_f_fmt_id(nullptr)), -1, ""},
        {CALL(get_merge_v_fmt_id(nullptr)), -1, ""},
        {CALL(get_merge_a_fmt_id(nullptr)), -1, ""},
        {CALL(get_merge_duration(nullptr)), 0, "ls_src_file == NULL"},
        {CALL(process_create_tmp_file(nullptr)), -1, "ls_src_file == NULL"},
        {CALL(create_merge_tmp_file(nullptr)), 0, "file_info == NULL"},
        {CALL(close_merge_tmp_file(nullptr)), 0, "file_info == NULL"},
        // Library state, probes and sources.
        {CALL(set_ff_path(nullptr)), 0, "path == NULL"},
        {CALL(set_ffmpeg_version(nullptr)), 0, "ffmpeg_version == NULL"},
        {CALL(get_h264_duration(nullptr)), 0, "src_file == NULL"},
        {CALL(is_h2645_mp4toannexb(nullptr)), 0, "src_file == NULL"},
        {CALL(is_use_hwd_decodec(nullptr, HWD_CODEC_H264_NV)), 0, "filename == NULL"},
        {CALL((dump_probe_result(nullptr, &result), 0)), 0, "filename == NULL || result == NULL"},
        {CALL((dump_probe_result("x.mp4", nullptr), 0)), 0, "filename == NULL || result == NULL"},
        // The exports.
        {CALL(tarsa_sdk_probe(nullptr)), 0, "filename == NULL"},
        {CALL(tarsa_sdk_probe_ex("/tmp/a.mp4", nullptr)), 0, "filename == NULL || result == NULL"},
        {CALL(tarsa_sdk_probe_ex(nullptr, &result)), 0, "filename == NULL || result == NULL"},
        {CALL(tarsa_sdk_probe_ex2("/tmp/a.mp4", nullptr)), 0, "filename == NULL || result == NULL"},
        {CALL(tarsa_sdk_probe_ex2(nullptr, &result_ex)), 0, "filename == NULL || result == NULL"},
        {CALL(tarsa_sdk_find_usr_hwd(nullptr)), 0, "err find_usr_hwd dev_info == NULL"},
        {CALL(tarsa_sdk_merge_set_tmp_path(nullptr)), 0, "path == NULL"},
        {CALL(tarsa_sdk_get_ffmpeg_pid(nullptr)), -1, "fd == NULL"},
        {CALL(tarsa_sdk_start(nullptr)), 0, "cvt_info == NULL"},
        {CALL(tarsa_sdk_stop(nullptr)), 0, "cvt_info == NULL"},
        {CALL(tarsa_sdk_destroy(nullptr)), 0, "cvt_info == NULL"},
        {CALL(tarsa_sdk_get_pos(nullptr)), -1, "cvt_info == NULL"},
        // Creations give the invalid handle, (void *)-1.
        {CALL(tarsa_sdk_cut_create_v1(nullptr, "/out/cut.mp4", &cut_v1)), -1, kCutCreate},
        {CALL(tarsa_sdk_cut_create("/in/a.mp4", nullptr, &cut_v1.cut_param)), -1, kCutCreate},
        {CALL(tarsa_sdk_cut_create("/in/a.mp4", "/out/cut.mp4", nullptr)), -1, kCutCreate},
        {CALL(tarsa_sdk_cut_create_v1("/in/a.mp4", "/out/cut.mp4", nullptr)), -1, kCutCreate},
        {CALL(tarsa_sdk_merge_create(nullptr, &merge_param)), -1, "tarsa_sdk_merge_create:!dst_file || !param"},
        {CALL(tarsa_sdk_merge_create("/out/all.mp4", nullptr)), -1, "tarsa_sdk_merge_create:!dst_file || !param"},
        {CALL(tarsa_sdk_merge_create_v1(nullptr, &merge_v1)), -1, "dst_file == NULL || param == NULL"},
        {CALL(tarsa_sdk_merge_create_v1("/out/all.mp4", nullptr)), -1, "dst_file == NULL || param == NULL"},
        {CALL(tarsa_sdk_merge_add_file(nullptr, "/in/a.mp4")), 0, "merge_info == NULL"},
        {CALL(tarsa_sdk_merge_del_file(nullptr, "/in/a.mp4")), 0, "merge_info == NULL"},
        {CALL(tarsa_sdk_merge_start(nullptr)), 0, "merge_info == NULL"},
        {CALL(tarsa_sdk_merge_stop(nullptr)), 0, "merge_info == NULL"},
        {CALL(tarsa_sdk_merge_destroy(nullptr)), 0, "merge_info == NULL"},
    };
    for (const auto &row : rows) {
        tt::LogCapture log;
        EXPECT_EQ(row.call(), row.result) << row.what;
        EXPECT_EQ(log.messages(), row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{})
            << row.what;
    }
    // The handle-taking exports also refuse the invalid handle.
    for (void *handle : {static_cast<void *>(nullptr), TARSA_INVALID_HANDLE}) {
        tt::LogCapture log;
        EXPECT_EQ(tarsa_sdk_merge_get_pos(handle), -1);
        EXPECT_EQ(tarsa_sdk_cut_get_pos(handle), -1);
        EXPECT_EQ(tarsa_sdk_cut_start(handle), 0);
        EXPECT_EQ(tarsa_sdk_cut_stop(handle), 0);
        EXPECT_EQ(tarsa_sdk_cut_destroy(handle), 0);
        EXPECT_EQ(log.messages(),
                  (std::vector<std::string>{"merge_info == NULL", "cut_info == NULL", "cut_info == NULL",
                                            "cut_info == NULL", "cut_info == NULL"}));
    }
    opt_param_destroy(options);
    adt_dlist_destroy(merge.ls_src_file);
}

}  // namespace
