// Option lists of jobs: storing, replacing and reading typed byte blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "log_capture.h"
#include "media/opt_param.h"
#include "tarsasdk.h"

namespace {

struct OptList {
    opt_param *p = opt_param_create();
    ~OptList() { opt_param_destroy(p); }
    void set_int(uint32_t id, int32_t value) { EXPECT_EQ(opt_param_set(p, id, &value, sizeof value), 1); }
    // The value read into a buffer prefilled with `prefill`, and whether it was found.
    std::pair<int32_t, int> get_int(uint32_t id, int32_t prefill, int32_t capacity = 4)
    {
        int32_t value = prefill;
        const int found = opt_param_get(p, id, &value, capacity);
        return {value, found};
    }
};

TEST(OptParam, EntriesAreReplacedByIdAndKeptOnePerId)
{
    OptList o;
    ASSERT_NE(o.p, nullptr);
    EXPECT_EQ(o.p->param_num, 0);
    EXPECT_EQ(adt_dlist_size(o.p->ls_opt_param), 0);
    o.set_int(OPT_PARAM_TYPE_A_CODEC_ID, 1);
    o.set_int(OPT_PARAM_TYPE_V_CODEC_ID, 6);
    o.set_int(OPT_PARAM_TYPE_THREAD_NUM, 2);
    o.set_int(OPT_PARAM_TYPE_V_CODEC_ID, 3);
    EXPECT_EQ(o.p->param_num, 3);
    EXPECT_EQ(adt_dlist_size(o.p->ls_opt_param), 3);
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_A_CODEC_ID, -1), std::make_pair(1, 1));
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_V_CODEC_ID, -1), std::make_pair(3, 1));
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_THREAD_NUM, -1), std::make_pair(2, 1));

    // A negative size with data is refused and keeps the earlier value.
    int32_t v = 7;
    EXPECT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_THREAD_NUM, &v, -4), 0);
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_THREAD_NUM, 0), std::make_pair(2, 1));
    EXPECT_EQ(o.p->param_num, 3);
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

    // A larger buffer gets only the stored bytes.
    o.set_int(OPT_PARAM_TYPE_FRAME_NUM, 0x01020304);
    unsigned char buf[8];
    std::memset(buf, 0xee, sizeof buf);
    ASSERT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_FRAME_NUM, buf, sizeof buf), 1);
    int32_t got;
    std::memcpy(&got, buf, sizeof got);
    EXPECT_EQ(got, 0x01020304);
    for (int i = 4; i < 8; i++) EXPECT_EQ(buf[i], 0xee) << "byte " << i;
}

TEST(OptParam, PresenceOnlyEntryIsFoundAndCopiesNothing)
{
    OptList o;
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_IAUTO, nullptr, 0), 1);
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_IAUTO, 0x5a5a5a5a), std::make_pair(0x5a5a5a5a, 1));
    // A size without data stores no data either.
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_IAUTO, nullptr, 4), 1);
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_IAUTO, 77), std::make_pair(77, 1));
    EXPECT_EQ(o.p->param_num, 1);
    // Capacity 0 suffices for it.
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_IAUTO, 9, 0), std::make_pair(9, 1));
}

// A buffer smaller than the stored size is refused and left as prefilled;
// the comparison is signed, so a negative capacity is below every size.
TEST(OptParam, TooSmallBufferIsRefused)
{
    OptList o;
    std::vector<char> stored(120, 'x');
    stored.back() = '\0';
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_PRESET, stored.data(), 120), 1);
    o.set_int(OPT_PARAM_TYPE_THREAD_NUM, 5);
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_IAUTO, nullptr, 0), 1);
    ot_ex mark = {};
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);

    tt::LogCapture log;
    char preset[100];
    std::memset(preset, 'p', sizeof preset);
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_PRESET, preset, sizeof preset), 0);
    EXPECT_EQ(std::vector<char>(preset, preset + 100), std::vector<char>(100, 'p'));
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_THREAD_NUM, 9, -1), std::make_pair(9, 0));
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_IAUTO, 9, -1), std::make_pair(9, 0));
    ot small = {};
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_OT, &small, sizeof small), 0);  // an ot_ex does not fit an ot
    EXPECT_EQ(log.count("size < param_info->size"), 4);
}

TEST(OptParam, AbsentEntryKeepsThePrefilledDefaultSilently)
{
    OptList o;
    tt::LogCapture log;
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, 1), std::make_pair(1, 0));
    EXPECT_TRUE(log.lines().empty());
    o.set_int(OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, 0);
    EXPECT_EQ(o.get_int(OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, 1), std::make_pair(0, 1));
}

// Only the stored bytes are copied: a zeroed ot_ex keeps zero offsets.
TEST(OptParam, OtReadIntoOtExKeepsZeroOffsets)
{
    OptList o;
    ot mark = {2, 3, 24, 40, 15, "white", "tarsa"};
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);
    ot_ex read = {};
    ASSERT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_OT, &read, sizeof read), 1);
    EXPECT_EQ(std::memcmp(&read, &mark, sizeof mark), 0);
    EXPECT_EQ(read.x_offset, 0);
    EXPECT_EQ(read.y_offset, 0);
}

}  // namespace
