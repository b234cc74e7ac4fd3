// Option lists of jobs: storing, replacing and reading typed byte blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/opt_param.h"
#include "tarsasdk.h"

namespace {

struct OptList {
    opt_param *p = opt_param_create();
    ~OptList() { opt_param_destroy(p); }
    int set(uint32_t id, int32_t value, int32_t size = 4) { return opt_param_set(p, id, &value, size); }
    // {value read into a buffer prefilled with `value`, found}
    std::pair<int32_t, int> get(uint32_t id, int32_t value, int32_t capacity = 4)
    {
        const int found = opt_param_get(p, id, &value, capacity);
        return {value, found};
    }
};

TEST(OptParam, StoresReplacesAndReadsBackExactlyTheStoredBytes)
{
    OptList o;
    EXPECT_EQ(o.set(OPT_PARAM_TYPE_A_CODEC_ID, 1) + o.set(OPT_PARAM_TYPE_V_CODEC_ID, 6), 2);
    EXPECT_EQ(o.set(OPT_PARAM_TYPE_THREAD_NUM, 4) + o.set(OPT_PARAM_TYPE_THREAD_NUM, 8), 2);
    EXPECT_EQ(o.set(OPT_PARAM_TYPE_THREAD_NUM, 7, -4), 0);  // a negative size is refused
    EXPECT_EQ(o.p->param_num, 3);                          // one entry per id, the last value wins
    EXPECT_EQ(o.get(OPT_PARAM_TYPE_A_CODEC_ID, -1), std::make_pair(1, 1));
    EXPECT_EQ(o.get(OPT_PARAM_TYPE_V_CODEC_ID, -1), std::make_pair(6, 1));
    EXPECT_EQ(o.get(OPT_PARAM_TYPE_THREAD_NUM, -1), std::make_pair(8, 1));
    EXPECT_EQ(o.get(OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, 1), std::make_pair(1, 0));  // absent: the default stays
    char preset[100] = "ultrafast", out[100] = {};
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_PRESET, preset, 10), 1);
    std::strcpy(preset, "veryslow");  // the list holds its own copy
    ASSERT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_PRESET, out, sizeof out), 1);
    EXPECT_STREQ(out, "ultrafast");
    ot mark = {2, 3, 24, 40, 15, "white", "tarsa"};  // an ot read into an ot_ex leaves the offsets alone
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);
    ot_ex read;
    std::memset(&read, 0x11, sizeof read);
    ASSERT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_OT, &read, sizeof read), 1);
    EXPECT_EQ(std::memcmp(&read, &mark, sizeof mark), 0);
    EXPECT_EQ(read.y_offset, 0x11111111);
    // Presence only (no data, with or without a size): found, nothing copied, capacity 0 suffices.
    for (int32_t size : {0, 4}) ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_IAUTO, nullptr, size), 1);
    EXPECT_EQ(o.get(OPT_PARAM_TYPE_IAUTO, 77, 0), std::make_pair(77, 1));
    // A buffer smaller than the stored size, or a negative capacity, is refused and left as prefilled.
    for (int32_t capacity : {3, -1}) EXPECT_EQ(o.get(OPT_PARAM_TYPE_THREAD_NUM, 9, capacity), std::make_pair(9, 0));
    EXPECT_EQ(o.get(OPT_PARAM_TYPE_IAUTO, 9, -1), std::make_pair(9, 0));
    std::vector<char> stored(120, 'x'), small(100, 'p');
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_PRESET, stored.data(), 120), 1);
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_PRESET, small.data(), 100), 0);
    EXPECT_EQ(small, std::vector<char>(100, 'p'));
    ASSERT_EQ(opt_param_set(o.p, OPT_PARAM_TYPE_OT, &read, sizeof read), 1);
    EXPECT_EQ(opt_param_get(o.p, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 0);  // an ot_ex does not fit an ot
}

}  // namespace
