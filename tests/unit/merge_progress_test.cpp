// The overall position of a merge, the common identifiers of its sources,
// their total duration, and passes of the temporary stage that start nothing.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "cvt/fmt_table.h"
#include "log_capture.h"
#include "sdk/job_records.h"
#include "sdk/merge_fmt.h"
#include "sdk/merge_tmp.h"
#include "sdk/merge_worker.h"
#include "processes.h"
#include "test_util.h"

namespace {

TEST(MergePosition, TemporaryStageIsNinetyFivePercentTruncated)
{
    struct Case {
        int average;
        int pos;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {35, 33}, {50, 47}, {99, 94}, {100, 95}};
    for (const Case &c : cases) EXPECT_EQ(merge_tmp_stage_pos(c.average), c.pos) << c.average;
}

TEST(MergePosition, JoiningAddsFivePercentOfItsOwn)
{
    struct Case {
        int start;
        int percent;
        int pos;
    } cases[] = {{95, 0, 95}, {95, 19, 95}, {95, 20, 96}, {95, 50, 97}, {95, 99, 99}, {95, 100, 100}, {33, 60, 36}};
    for (const Case &c : cases) EXPECT_EQ(merge_concat_pos(c.start, c.percent), c.pos) << c.start << " " << c.percent;
}

TEST(MergePosition, SixtyAndThirtySecondsExample)
{
    // Temporaries at 50 % and 20 %: the pass averages 35.
    EXPECT_EQ(merge_tmp_stage_pos((50 + 20) / 2), 33);
    EXPECT_EQ(merge_tmp_stage_pos(100), 95);
    // "time=" 45 s of 90 s is half the joining.
    EXPECT_EQ(merge_concat_pos(95, 45 * 100 / 90), 97);
}

// A source list built by hand from probe names.
class MergeSourceList : public ::testing::Test {
protected:
    void SetUp() override
    {
        static std::once_flag once;
        std::call_once(once, [] { init_fmt_table(); });
        list_ = adt_dlist_create(sizeof(file_info *));
    }
    void TearDown() override { clear(); }
    void clear()
    {
        for (file_info *f : sources_) delete f;
        sources_.clear();
        adt_dlist_destroy(list_);
        list_ = nullptr;
    }
    void add(const char *f_fmt, const char *v_fmt = "h264", const char *a_fmt = "aac", int duration = 0)
    {
        file_info *f = new file_info();
        str_copy(f->result.f_fmt, sizeof f->result.f_fmt, f_fmt);
        str_copy(f->result.v_fmt, sizeof f->result.v_fmt, v_fmt);
        str_copy(f->result.a_fmt, sizeof f->result.a_fmt, a_fmt);
        f->result.duration = duration;
        adt_dlist_add(list_, 0, &f);
        sources_.push_back(f);
    }

    adt_dlist *list_ = nullptr;
    std::vector<file_info *> sources_;
};

TEST_F(MergeSourceList, CommonContainerFormat)
{
    struct Case {
        std::vector<const char *> names;
        int id;
    } cases[] = {
        {{"mp4", "mp4", "mp4"}, 4},
        {{"mp4", "flv"}, 255},
        {{"flv"}, 7},
        {{}, 255},
        {{"", "mp4", "mp4"}, 4},
        {{"mp4", "", "mp4"}, 255},
        {{"", ""}, 255},
        {{"mov", "mov"}, 255},
    };
    for (const Case &c : cases) {
        clear();
        list_ = adt_dlist_create(sizeof(file_info *));
        for (const char *n : c.names) add(n);
        EXPECT_EQ(get_merge_f_fmt_id(list_), c.id) << c.names.size();
    }
}

TEST_F(MergeSourceList, CommonCodecsCompareTheirOwnField)
{
    add("mp4", "h264", "aac");
    add("flv", "h264", "mp3");
    EXPECT_EQ(get_merge_f_fmt_id(list_), 255);
    EXPECT_EQ(get_merge_v_fmt_id(list_), 1);
    EXPECT_EQ(get_merge_a_fmt_id(list_), 255);
    add("avi", "hevc", "mp3");
    EXPECT_EQ(get_merge_v_fmt_id(list_), 255);
}

TEST_F(MergeSourceList, CommonAudioCodec)
{
    add("mp4", "h264", "pcm_alaw");
    add("avi", "mpeg4", "pcm_alaw");
    EXPECT_EQ(get_merge_a_fmt_id(list_), 3);
}

TEST_F(MergeSourceList, NoListGivesMinusOne)
{
    tt::LogCapture log;
    EXPECT_EQ(get_merge_f_fmt_id(nullptr), -1);
    EXPECT_EQ(get_merge_v_fmt_id(nullptr), -1);
    EXPECT_EQ(get_merge_a_fmt_id(nullptr), -1);
    EXPECT_EQ(log.count(""), 3);
}

TEST_F(MergeSourceList, DurationIsTheSum)
{
    EXPECT_EQ(get_merge_duration(list_), 0);
    add("mp4", "h264", "aac", 60);
    add("mp4", "h264", "aac", 30);
    add("mp4", "h264", "aac", 0);
    EXPECT_EQ(get_merge_duration(list_), 90);
    tt::LogCapture log;
    EXPECT_EQ(get_merge_duration(nullptr), 0);
    EXPECT_EQ(log.count("ls_src_file == NULL"), 1);
}

TEST_F(MergeSourceList, PassOverNoListOrAnEmptyList)
{
    tt::LogCapture log;
    EXPECT_EQ(process_create_tmp_file(nullptr), -1);
    EXPECT_EQ(log.count("ls_src_file == NULL"), 1);
    EXPECT_EQ(process_create_tmp_file(list_), 0);
}

TEST_F(MergeSourceList, PassAveragesFinishedAndWaitingEntries)
{
    // Both slots taken elsewhere: the waiting entry stays waiting, counts 0.
    merge_info job{};
    job.tmp_slots.store(0);
    add("mp4");
    add("mp4");
    sources_[0]->merge_info = &job;
    sources_[0]->status.store(MERGE_STATUS_TYPE_DONE);
    sources_[0]->pos.store(100);
    sources_[1]->merge_info = &job;
    EXPECT_EQ(process_create_tmp_file(list_), 50);
    EXPECT_EQ(sources_[1]->status.load(), static_cast<uint32_t>(MERGE_STATUS_TYPE_NONE));
    EXPECT_EQ(adt_dlist_size(list_), 2);
}

TEST_F(MergeSourceList, OpeningAndClosingRefuseWrongStates)
{
    tt::LogCapture log;
    add("mp4");
    file_info *f = sources_[0];
    EXPECT_EQ(create_merge_tmp_file(nullptr), 0);
    EXPECT_EQ(close_merge_tmp_file(nullptr), 0);
    EXPECT_EQ(log.count("file_info == NULL"), 2);
    EXPECT_EQ(close_merge_tmp_file(f), 0);
    EXPECT_EQ(log.count("file_info->status == MERGE_STATUS_TYPE_NONE"), 1);
    EXPECT_EQ(create_merge_tmp_file(f), 0);  // no job
    EXPECT_EQ(log.count("merge_info == NULL"), 1);
    f->status.store(MERGE_STATUS_TYPE_DONE);
    EXPECT_EQ(create_merge_tmp_file(f), 0);
    EXPECT_EQ(log.count("file_info->status != MERGE_STATUS_TYPE_NONE"), 1);
}

}  // namespace
