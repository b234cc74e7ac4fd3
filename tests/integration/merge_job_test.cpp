// Merge job records and their source lists through the exports: creation,
// adding and removing sources, temporary names, start refusals, stop and
// destroy. The fake tool plays the probe.
#include <functional>
#include <string>
#include <vector>

#include "merge_fake.h"
#include "sdk/merge_sources.h"

namespace {

using mt::FakeMerge;

std::vector<std::string> temporary_names(void *handle)
{
    std::vector<std::string> out;
    adt_dlist *list = static_cast<merge_info *>(handle)->ls_src_file;
    for (adt_dlist_node *n = adt_dlist_head(list); n; n = adt_dlist_next(n))
        out.push_back((*static_cast<file_info **>(adt_dlist_getdata(n)))->dst_file);
    return out;
}

std::vector<std::string> source_names(void *handle)
{
    std::vector<std::string> out;
    adt_dlist *list = static_cast<merge_info *>(handle)->ls_src_file;
    for (adt_dlist_node *n = adt_dlist_head(list); n; n = adt_dlist_next(n))
        out.push_back((*static_cast<file_info **>(adt_dlist_getdata(n)))->src_file);
    return out;
}

std::string tmp_name(const std::string &dir, int n) { return dir + "merge_tmp_file-" + std::to_string(n) + ".ts"; }

using MergeCreate = FakeMerge;

TEST_F(MergeCreate, RefusalsAndTheirConditions)
{
    merge_param p = param();
    merge_param_v1 v1;
    std::memset(&v1, 0, sizeof v1);
    v1.merge_param = p;
    const std::string long_name = "/out/" + std::string(255, 'a');
    struct Case {
        std::function<void *()> create;
        const char *message;
    } cases[] = {
        {[&] { return tarsa_sdk_merge_create(nullptr, &p); }, "tarsa_sdk_merge_create:!dst_file || !param"},
        {[&] { return tarsa_sdk_merge_create("/out/all.mp4", nullptr); }, "tarsa_sdk_merge_create:!dst_file || !param"},
        {[&] { return tarsa_sdk_merge_create_v1(nullptr, &v1); }, "dst_file == NULL || param == NULL"},
        {[&] { return tarsa_sdk_merge_create_v1("/out/all.mp4", nullptr); }, "dst_file == NULL || param == NULL"},
        {[&] { return tarsa_sdk_merge_create("all.mp4", &p); }, "!get_file_path(dst_file, dst_path)"},
        {[&] { return tarsa_sdk_merge_create("/out/a\"b.mp4", &p); }, "strchr(dst_file, '\"') != NULL"},
        {[&] { return tarsa_sdk_merge_create(long_name.c_str(), &p); }, "strlen(dst_file) >= MAX_PATH"},
    };
    for (const Case &c : cases) {
        log_.clear();
        EXPECT_EQ(c.create(), TARSA_INVALID_HANDLE) << c.message;
        EXPECT_EQ(tt::log_messages(log_), std::vector<std::string>{c.message});
    }
}

TEST_F(MergeCreate, WidthAndHeightGoTogether)
{
    const char *message = "(param->merge_param.width == 0 && param->merge_param.height != 0) || "
                          "(param->merge_param.width != 0 && param->merge_param.height == 0)";
    merge_param p = param();
    p.width = 640;
    EXPECT_EQ(tarsa_sdk_merge_create("/out/all.mp4", &p), TARSA_INVALID_HANDLE);
    p.width = 0;
    p.height = 480;
    EXPECT_EQ(tarsa_sdk_merge_create("/out/all.mp4", &p), TARSA_INVALID_HANDLE);
    EXPECT_EQ(tt::count_message(log_, message), 2);
    p.height = 0;
    void *job = tarsa_sdk_merge_create("/out/all.mp4", &p);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeCreate, RecordOfANewJob)
{
    merge_param p = param(6);
    p.width = 320;
    p.height = 240;
    void *job = tarsa_sdk_merge_create("C:/out/all.flv", &p);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    const merge_info *info = static_cast<merge_info *>(job);
    EXPECT_EQ(info->kind, static_cast<uint32_t>(TARSA_JOB_MERGE));
    EXPECT_STREQ(info->dst_file, "C:/out/all.flv");
    EXPECT_STREQ(info->dst_path, "C:/out/");
    EXPECT_EQ(info->merge_param.dst_file_type, 6u);
    EXPECT_EQ(info->merge_param.width, 320u);
    EXPECT_EQ(info->merge_param.quality, 23);
    EXPECT_EQ(info->usage_mode, static_cast<uint32_t>(HWD_USAGE_AUTO));
    EXPECT_EQ(info->hwd_type, -1);
    EXPECT_EQ(info->tmp_slots.load(), 2u);
    EXPECT_EQ(info->running.load(), 0u);
    EXPECT_NE(info->opt_param, nullptr);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(job), 0);
    EXPECT_EQ(adt_dlist_size(info->ls_src_file), 0);
    tarsa_sdk_merge_destroy(job);

    merge_param_v1 v1;
    std::memset(&v1, 0, sizeof v1);
    v1.merge_param = param();
    v1.usage_mode = HWD_USAGE_TYPE;
    v1.hwd_type = HWD_TYPE_INTEL;
    job = tarsa_sdk_merge_create_v1("D:\\out\\all.mp4", &v1);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    EXPECT_STREQ(static_cast<merge_info *>(job)->dst_path, "D:\\out\\");
    EXPECT_EQ(static_cast<merge_info *>(job)->usage_mode, static_cast<uint32_t>(HWD_USAGE_TYPE));
    EXPECT_EQ(static_cast<merge_info *>(job)->hwd_type, HWD_TYPE_INTEL);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeCreate, NullHandles)
{
    EXPECT_EQ(tarsa_sdk_merge_get_pos(nullptr), -1);
    EXPECT_EQ(tarsa_sdk_merge_get_pos(TARSA_INVALID_HANDLE), -1);
    EXPECT_EQ(tarsa_sdk_merge_add_file(nullptr, "/in/a.mp4"), 0);
    EXPECT_EQ(tarsa_sdk_merge_del_file(nullptr, "/in/a.mp4"), 0);
    EXPECT_EQ(tarsa_sdk_merge_start(nullptr), 0);
    EXPECT_EQ(tarsa_sdk_merge_stop(nullptr), 0);
    EXPECT_EQ(tarsa_sdk_merge_destroy(nullptr), 0);
    EXPECT_EQ(tt::count_message(log_, "merge_info == NULL"), 7);
}

using MergeSources = FakeMerge;

TEST_F(MergeSources, SixtyFourSourcesAtMost)
{
    void *job = job_with_sources(63);
    const std::string extra = source("extra.mp4");
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, extra.c_str()), 1);
    const int32_t next = s_tmp_file_index.load();
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, extra.c_str()), 0);
    EXPECT_EQ(tt::count_message(log_, "size >= MAX_MERGE_FILE_NUM"), 1);
    EXPECT_EQ(adt_dlist_size(static_cast<merge_info *>(job)->ls_src_file), 64);
    EXPECT_EQ(s_tmp_file_index.load(), next);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeSources, JobsNumberTheirTemporariesFromOneCounter)
{
    const int32_t n = s_tmp_file_index.load();
    void *first = job_with_sources(2);
    merge_param p = param();
    void *second = tarsa_sdk_merge_create(dir_.file("sub/other.mp4").c_str(), &p);
    for (const char *s : {"x.mp4", "y.mp4"}) ASSERT_EQ(tarsa_sdk_merge_add_file(second, source(s).c_str()), 1);
    const std::string dir = dir_.path() + "/";
    EXPECT_EQ(temporary_names(first), (std::vector<std::string>{tmp_name(dir, n), tmp_name(dir, n + 1)}));
    EXPECT_EQ(temporary_names(second), (std::vector<std::string>{tmp_name(dir + "sub/", n + 2), tmp_name(dir + "sub/", n + 3)}));
    tarsa_sdk_merge_destroy(first);
    tarsa_sdk_merge_destroy(second);
}

TEST_F(MergeSources, DirectorySetLaterMovesOnlyLaterSources)
{
    char saved[MAX_PATH];
    str_copy(saved, sizeof saved, s_tmp_path);
    s_tmp_path[0] = '\0';
    void *job = job_with_sources(1);
    const std::vector<std::string> before = temporary_names(job);
    ASSERT_EQ(tarsa_sdk_merge_set_tmp_path(dir_.file("tmp").c_str()), 1);
    const int32_t n = s_tmp_file_index.load();
    ASSERT_EQ(tarsa_sdk_merge_add_file(job, source("later.mp4").c_str()), 1);
    str_copy(s_tmp_path, sizeof s_tmp_path, saved);

    const std::vector<std::string> names = temporary_names(job);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], before[0]);
    EXPECT_EQ(names[1], tmp_name(dir_.file("tmp") + "/", n));
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeSources, RefusedSourcesTakeNoNumber)
{
    void *job = job_with_sources(0);
    const int32_t n = s_tmp_file_index.load();
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, ("/in/" + std::string(256, 'a')).c_str()), 0);
    EXPECT_EQ(tt::count_message(log_, "strlen(src_file) >= MAX_PATH"), 1);
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, source("a\"b.mp4").c_str()), 0);
    EXPECT_EQ(tt::count_message(log_, "strchr(src_file, '\"') != NULL"), 1);
    script("print not a media file\nexit 1\n");
    EXPECT_EQ(tarsa_sdk_merge_add_file(job, source("bad.mp4").c_str()), 0);
    EXPECT_EQ(tt::count_message(log_, "!internal_probe(src_file, &result, &h2645_mp4toannexb)"), 1);
    EXPECT_EQ(s_tmp_file_index.load(), n);
    EXPECT_EQ(adt_dlist_size(static_cast<merge_info *>(job)->ls_src_file), 0);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeSources, AddedSourceKeepsItsNameAndProbe)
{
    void *job = job_with_sources(0);
    const std::string a = source("a.mp4");
    ASSERT_EQ(tarsa_sdk_merge_add_file(job, a.c_str()), 1);
    const file_info *f = *static_cast<file_info **>(
        adt_dlist_getdata(adt_dlist_head(static_cast<merge_info *>(job)->ls_src_file)));
    EXPECT_EQ(f->merge_info, static_cast<merge_info *>(job));
    EXPECT_STREQ(f->src_file, a.c_str());
    EXPECT_STREQ(f->result.f_fmt, "mov");
    EXPECT_STREQ(f->result.v_fmt, "h264 (High)");
    EXPECT_EQ(f->result.duration, 10);
    EXPECT_EQ(f->status.load(), static_cast<uint32_t>(MERGE_STATUS_TYPE_NONE));
    EXPECT_EQ(f->h2645_mp4toannexb, 0u);  // not media: the stream test says no
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeSources, DelFileRemovesTheFirstMatchOnly)
{
    void *job = job_with_sources(0);
    const std::string a = source("a.mp4"), b = source("b.mp4");
    for (const std::string &s : {a, b, a}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, s.c_str()), 1);
    const std::vector<std::string> tmps = temporary_names(job);

    EXPECT_EQ(tarsa_sdk_merge_del_file(job, dir_.file("none.mp4").c_str()), 1);
    EXPECT_EQ(source_names(job), (std::vector<std::string>{a, b, a}));
    EXPECT_EQ(tarsa_sdk_merge_del_file(job, a.c_str()), 1);
    EXPECT_EQ(source_names(job), (std::vector<std::string>{b, a}));
    EXPECT_EQ(temporary_names(job), (std::vector<std::string>{tmps[1], tmps[2]}));
    EXPECT_EQ(tarsa_sdk_merge_del_file(job, std::string(260, 'a').c_str()), 0);
    EXPECT_EQ(tt::count_message(log_, "strlen(src_file) >= MAX_PATH"), 1);
    EXPECT_EQ(source_names(job).size(), 2u);
    tarsa_sdk_merge_destroy(job);
}

using MergeStart = FakeMerge;

TEST_F(MergeStart, NeedsTwoSources)
{
    void *job = job_with_sources(1);
    EXPECT_EQ(tarsa_sdk_merge_start(job), 0);
    EXPECT_EQ(tt::count_message(log_, "size < 2"), 1);
    EXPECT_EQ(adt_dlist_size(static_cast<merge_info *>(job)->ls_src_file), 1);
    EXPECT_EQ(static_cast<merge_info *>(job)->running.load(), 0u);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeStart, StopEmptiesTheListSoTheNextStartNeedsNewSources)
{
    void *job = job_with_sources(2);
    script("pid\nticker 3000 20\n");
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    EXPECT_EQ(tarsa_sdk_merge_start(job), 0);
    EXPECT_EQ(tt::count_message(log_, "merge_info->running"), 1);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);
    EXPECT_EQ(static_cast<merge_info *>(job)->running.load(), 0u);
    EXPECT_EQ(adt_dlist_size(static_cast<merge_info *>(job)->ls_src_file), 0);
    EXPECT_EQ(tarsa_sdk_merge_start(job), 0);
    EXPECT_EQ(tt::count_message(log_, "size < 2"), 1);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);  // a second stop does nothing more
    expect_nothing_left(job);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeStart, DstInfoTellsTheChoice)
{
    merge_param p = param(6);
    p.width = 160;
    p.height = 120;
    void *job = tarsa_sdk_merge_create(dir_.file("all.flv").c_str(), &p);
    for (const char *s : {"a.mp4", "b.mp4"}) ASSERT_EQ(tarsa_sdk_merge_add_file(job, source(s).c_str()), 1);
    script("pid\nticker 3000 20\n");
    dst_info info;
    std::memset(&info, 0, sizeof info);
    ASSERT_EQ(tarsa_sdk_merge_start_ex(job, &info), 1);
    EXPECT_EQ(tarsa_sdk_merge_stop(job), 1);
    // A resize encodes both streams; type 6 is flv and takes H.264 High.
    EXPECT_EQ(info.video_copy, 0u);
    EXPECT_EQ(info.audio_copy, 0u);
    EXPECT_STREQ(info.f_fmt, "flv");
    EXPECT_STREQ(info.v_fmt, "h264 (High)");
    EXPECT_STREQ(info.a_fmt, "aac");
    const dst_codec_info &d = static_cast<merge_info *>(job)->dst_codec_info;
    EXPECT_EQ(d.f_fmt_id, F_FMT_FLV);
    EXPECT_EQ(d.v_codec_id, 3);
    EXPECT_EQ(d.a_codec_id, 2);
    tarsa_sdk_merge_destroy(job);
}

TEST_F(MergeStart, DestroyOfARunningJobStopsIt)
{
    void *job = job_with_sources(3);
    script("pid\nappend $DST 10\nprint frame=25 time=00:00:01.00 bitrate=1\nticker 3000 20\n");
    ASSERT_EQ(tarsa_sdk_merge_start(job), 1);
    ASSERT_TRUE(tt::wait_until([&] { return temporaries().size() == 2; }, 10000));
    EXPECT_EQ(tarsa_sdk_merge_destroy(job), 1);
    EXPECT_TRUE(temporaries().empty());
    EXPECT_EQ(tt::count_children("ffmpeg"), 0);
    EXPECT_EQ(recorder_.count(TARSA_EVENT_MERGE_POS, 100), 0);
}

}  // namespace
