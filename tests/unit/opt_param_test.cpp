// Option lists of jobs: storing, replacing and reading typed byte blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "log_capture.h"
#include "opt/opt_param.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

struct OptList {
    opt_param *p = opt_param_create();
    ~OptList() { opt_param_destroy(p); }
};

int32_t read_int(opt_param *p, uint32_t id, int32_t prefill, int *found = nullptr)
{
    int32_t value = prefill;
    int r = opt_param_get(p, id, &value, sizeof value);
    if (found) *found = r;
    return value;
}

TEST(OptParam, CreateStartsEmpty)
{
    OptList o;
    ASSERT_NE(o.p, nullptr);
    ASSERT_NE(o.p->ls_opt_param, nullptr);
    EXPECT_EQ(o.p->param_num, 0);
    EXPECT_EQ(adt_dlist_size(o.p->ls_opt_param), 0);
}

TEST(OptParam, ReplacingAnIdKeepsOneEntryWithTheNewValue)
{
    OptList o;
    int32_t four = 4, eight = 8;
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_THREAD_NUM, &four, sizeof four), 1);
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_THREAD_NUM, &eight, sizeof eight), 1);
    EXPECT_EQ(o.p->param_num, 1);
    EXPECT_EQ(adt_dlist_size(o.p->ls_opt_param), 1);
    int found = 0;
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_THREAD_NUM, -1, &found), 8);
    EXPECT_EQ(found, 1);
}

TEST(OptParam, ReplacingOneIdLeavesTheOthers)
{
    OptList o;
    int32_t a = 1, v = 6, t = 2, v2 = 3;
    opt_param_set(o.p, OPT_PARAM_TYPE_A_CODEC_ID, &a, sizeof a);
    opt_param_set(o.p, OPT_PARAM_TYPE_V_CODEC_ID, &v, sizeof v);
    opt_param_set(o.p, OPT_PARAM_TYPE_THREAD_NUM, &t, sizeof t);
    opt_param_set(o.p, OPT_PARAM_TYPE_V_CODEC_ID, &v2, sizeof v2);
    EXPECT_EQ(o.p->param_num, 3);
    EXPECT_EQ(adt_dlist_size(o.p->ls_opt_param), 3);
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_A_CODEC_ID, -1), 1);
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_V_CODEC_ID, -1), 3);
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_THREAD_NUM, -1), 2);
}

TEST(OptParam, StoresAPrivateCopyOfTheHostBytes)
{
    OptList o;
    char preset[100] = "ultrafast";
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_PRESET, preset, static_cast<int32_t>(std::strlen(preset) + 1)), 1);
    std::strcpy(preset, "veryslow");
    char out[100] = {};
    ASSERT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_PRESET, out, sizeof out), 1);
    EXPECT_STREQ(out, "ultrafast");
}

TEST(OptParam, PresenceOnlyEntryIsFoundAndCopiesNothing)
{
    OptList o;
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_IAUTO, nullptr, 0), 1);
    EXPECT_EQ(o.p->param_num, 1);
    int found = 0;
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_IAUTO, 0x5a5a5a5a, &found), 0x5a5a5a5a);
    EXPECT_EQ(found, 1);

    // A size without data stores no data either.
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_IAUTO, nullptr, 4), 1);
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_IAUTO, 77, &found), 77);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(o.p->param_num, 1);
}

TEST(OptParam, TooSmallBufferIsRefusedAndLeftAsPrefilled)
{
    OptList o;
    std::vector<char> stored(120, 'x');
    stored.back() = '\0';
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_PRESET, stored.data(), 120), 1);

    tt::LogCapture log;
    char preset[100];
    std::memset(preset, 'p', sizeof preset);
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_PRESET, preset, sizeof preset), 0);
    EXPECT_EQ(log.count("size < param_info->size"), 1);
    EXPECT_EQ(std::vector<char>(preset, preset + 100), std::vector<char>(100, 'p'));
}

TEST(OptParam, LargerBufferGetsOnlyTheStoredBytes)
{
    OptList o;
    int32_t value = 0x01020304;
    opt_param_set(o.p, OPT_PARAM_TYPE_FRAME_NUM, &value, sizeof value);
    unsigned char buf[8];
    std::memset(buf, 0xee, sizeof buf);
    ASSERT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_FRAME_NUM, buf, sizeof buf), 1);
    int32_t got;
    std::memcpy(&got, buf, sizeof got);
    EXPECT_EQ(got, 0x01020304);
    for (int i = 4; i < 8; i++) EXPECT_EQ(buf[i], 0xee) << "byte " << i;
}

TEST(OptParam, SizeComparisonIsSigned)
{
    OptList o;
    int32_t value = 5;
    opt_param_set(o.p, OPT_PARAM_TYPE_THREAD_NUM, &value, sizeof value);
    opt_param_set(o.p, OPT_PARAM_TYPE_IAUTO, nullptr, 0);
    int32_t buf = 9;
    tt::LogCapture log;
    // A negative capacity is below every stored size, even 0.
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_THREAD_NUM, &buf, -1), 0);
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_IAUTO, &buf, -1), 0);
    EXPECT_EQ(log.count("size < param_info->size"), 2);
    EXPECT_EQ(buf, 9);
    // Capacity 0 suffices for a presence-only entry.
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_IAUTO, &buf, 0), 1);
}

TEST(OptParam, AbsentFaststartKeepsThePrefilledDefault)
{
    OptList o;
    tt::LogCapture log;
    int found = -1;
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, 1, &found), 1);
    EXPECT_EQ(found, 0);
    EXPECT_TRUE(log.lines().empty());  // absence is not an error

    int32_t off = 0;
    opt_param_set(o.p, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &off, sizeof off);
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, 1, &found), 0);
    EXPECT_EQ(found, 1);
}

TEST(OptParam, OtReadIntoOtExKeepsZeroOffsets)
{
    OptList o;
    ot mark = {};
    mark.row_num = 2;
    mark.col_num = 3;
    mark.font_size = 24;
    mark.transparency = 40;
    mark.angle = 15;
    std::strcpy(mark.font_color, "white");
    std::strcpy(mark.text, "tarsa");
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);

    ot_ex read = {};
    ASSERT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_OT, &read, sizeof read), 1);
    EXPECT_EQ(read.row_num, 2);
    EXPECT_EQ(read.col_num, 3);
    EXPECT_EQ(read.font_size, 24);
    EXPECT_EQ(read.transparency, 40);
    EXPECT_EQ(read.angle, 15);
    EXPECT_STREQ(read.font_color, "white");
    EXPECT_STREQ(read.text, "tarsa");
    EXPECT_EQ(read.x_offset, 0);
    EXPECT_EQ(read.y_offset, 0);
}

TEST(OptParam, OtExDoesNotFitAnOtBuffer)
{
    OptList o;
    ot_ex mark = {};
    mark.x_offset = 10;
    opt_param_set(o.p, OPT_PARAM_TYPE_OT, &mark, sizeof mark);
    ot small = {};
    tt::LogCapture log;
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_OT, &small, sizeof small), 0);
    EXPECT_EQ(log.count("size < param_info->size"), 1);
}

TEST(OptParam, NegativeSizeWithDataIsRefusedAndKeepsTheEarlierValue)
{
    OptList o;
    int32_t v = 7;
    opt_param_set(o.p, OPT_PARAM_TYPE_THREAD_NUM, &v, sizeof v);
    EXPECT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_THREAD_NUM, &v, -4), 0);
    EXPECT_EQ(read_int(o.p, OPT_PARAM_TYPE_THREAD_NUM, 0), 7);
    EXPECT_EQ(o.p->param_num, 1);
}

TEST(OptParam, MissingListOrBufferIsLoggedAndRefused)
{
    tt::LogCapture log;
    int32_t v = 1;
    EXPECT_EQ(opt_param_set(nullptr, 1, &v, sizeof v), 0);
    opt_param no_list = {nullptr, 0};
    EXPECT_EQ(opt_param_set(&no_list, 1, &v, sizeof v), 0);
    EXPECT_EQ(log.count("p_opt_param == NULL"), 2);

    OptList o;
    EXPECT_EQ(opt_param_get(nullptr, 1, &v, sizeof v), 0);
    EXPECT_EQ(opt_param_get(&no_list, 1, &v, sizeof v), 0);
    EXPECT_EQ(opt_param_get(o.p, 1, nullptr, 4), 0);
    EXPECT_EQ(log.count("opt_param == NULL || data == NULL"), 3);

    EXPECT_EQ(opt_param_destroy(nullptr), 0);
    EXPECT_EQ(log.count("opt_param == NULL"), 1);
}

TEST(OptParam, DestroyFreesAllEntries)
{
    opt_param *p = opt_param_create();
    ASSERT_NE(p, nullptr);
    std::vector<char> big(4096, 'b');
    for (uint32_t id = 0; id < 8; id++) opt_param_set(p, id, big.data(), static_cast<int32_t>(big.size()));
    opt_param_set(p, OPT_PARAM_TYPE_IAUTO, nullptr, 0);
    EXPECT_EQ(p->param_num, 8);
    // Leaks here show up in the sanitizer build.
    EXPECT_EQ(opt_param_destroy(p), 1);
}

}  // namespace
