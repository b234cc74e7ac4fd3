// The overall position of a merge, the common identifiers of its sources,
// their total duration, and passes of the temporary stage that start nothing.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "media/fmt_table.h"
#include "log_capture.h"
#include "job/job_records.h"
#include "job/merge_fmt.h"
#include "job/merge_tmp.h"
#include "job/merge_worker.h"
#include "processes.h"
#include "test_util.h"

namespace {

// The temporary stage counts for 95 %, truncated; the joining adds 5 % of
// its own. A temporary pass at 50 % and 20 % averages 35; "time=" 45 s of
// 90 s is half the joining.
TEST(MergePosition, StagesShareTheHundred)
{
    const int tmp[][2] = {{0, 0}, {1, 0}, {2, 1}, {35, 33}, {50, 47}, {99, 94}, {100, 95}, {(50 + 20) / 2, 33}};
    for (const auto &c : tmp) EXPECT_EQ(merge_tmp_stage_pos(c[0]), c[1]) << c[0];
    const int concat[][3] = {{95, 0, 95},  {95, 19, 95},  {95, 20, 96},  {95, 50, 97},
                             {95, 99, 99}, {95, 100, 100}, {33, 60, 36}, {95, 45 * 100 / 90, 97}};
    for (const auto &c : concat) EXPECT_EQ(merge_concat_pos(c[0], c[1]), c[2]) << c[0] << " " << c[1];
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

TEST_F(MergeSourceList, CommonFormatAndCodecs)
{
    struct Source {
        const char *f, *v, *a;
    };
    const struct {
        std::vector<Source> sources;
        int f_fmt, v_fmt, a_fmt;
    } cases[] = {
        {{{"mp4", "h264", "aac"}, {"mp4", "h264", "aac"}, {"mp4", "h264", "aac"}}, 4, 1, 2},
        {{{"flv", "h264", "aac"}}, 7, 1, 2},
        {{}, 255, 255, 255},
        // Each field is compared on its own.
        {{{"mp4", "h264", "aac"}, {"flv", "h264", "mp3"}}, 255, 1, 255},
        {{{"mp4", "h264", "mp3"}, {"flv", "h264", "mp3"}, {"avi", "hevc", "mp3"}}, 255, 255, 1},
        {{{"mp4", "h264", "pcm_alaw"}, {"avi", "mpeg4", "pcm_alaw"}}, 255, 255, 3},
        // An empty first name is skipped; an empty later one breaks the match.
        {{{"", "h264", "aac"}, {"mp4", "h264", "aac"}, {"mp4", "h264", "aac"}}, 4, 1, 2},
        {{{"mp4", "h264", "aac"}, {"", "h264", "aac"}, {"mp4", "h264", "aac"}}, 255, 1, 2},
        {{{"", "h264", "aac"}, {"", "h264", "aac"}}, 255, 1, 2},
        {{{"mov", "h264", "aac"}, {"mov", "h264", "aac"}}, 255, 1, 2},  // not a known format
    };
    for (const auto &c : cases) {
        clear();
        list_ = adt_dlist_create(sizeof(file_info *));
        for (const Source &src : c.sources) add(src.f, src.v, src.a);
        EXPECT_EQ(get_merge_f_fmt_id(list_), c.f_fmt) << c.sources.size();
        EXPECT_EQ(get_merge_v_fmt_id(list_), c.v_fmt) << c.sources.size();
        EXPECT_EQ(get_merge_a_fmt_id(list_), c.a_fmt) << c.sources.size();
    }
}

TEST_F(MergeSourceList, DurationIsTheSumAndAPassOverNothingIsZero)
{
    EXPECT_EQ(get_merge_duration(list_), 0);
    EXPECT_EQ(process_create_tmp_file(list_), 0);
    add("mp4", "h264", "aac", 60);
    add("mp4", "h264", "aac", 30);
    add("mp4", "h264", "aac", 0);
    EXPECT_EQ(get_merge_duration(list_), 90);
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
    EXPECT_EQ(close_merge_tmp_file(f), 0);
    EXPECT_EQ(log.count("file_info->status == MERGE_STATUS_TYPE_NONE"), 1);
    EXPECT_EQ(create_merge_tmp_file(f), 0);  // no job
    EXPECT_EQ(log.count("merge_info == NULL"), 1);
    f->status.store(MERGE_STATUS_TYPE_DONE);
    EXPECT_EQ(create_merge_tmp_file(f), 0);
    EXPECT_EQ(log.count("file_info->status != MERGE_STATUS_TYPE_NONE"), 1);
}

}  // namespace
