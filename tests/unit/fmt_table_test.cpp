// The identifier tables of container formats, video codecs and audio codecs.
// The tables are process-wide: the suite registers them once more, which
// appends duplicates behind any earlier rows; lookups take the first match,
// so every expectation below holds however often the tables were filled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "media/fmt_table.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

struct Row {
    int id;
    const char *name;
    const char *cmd_name;
};

const std::vector<Row> kFormats = {
    {0, "sdv", "sdv"},       {1, "hik", "hik"},       {2, "dh", "dh"},         {3, "h264", "h264"},
    {4, "mp4", "mp4"},       {5, "asf", "asf"},       {6, "mpegts", "mpegts"}, {7, "flv", "flv"},
    {8, "avi", "avi"},       {9, "mp4", "mp4"},       {255, "default", "default"},
};

const std::vector<Row> kVideoCodecs = {
    {0, "mpeg2video", "mpeg2video"},
    {1, "h264", "libx264"},
    {2, "h264 (Baseline)", "libx264 -profile:v baseline"},
    {3, "h264 (High)", "libx264 -profile:v high"},
    {4, "h264 (Main)", "libx264 -profile:v main"},
    {5, "mpeg4", "mpeg4"},
    {6, "hevc", "libx265"},
    {7, "traw", "traw"},
    {8, "tdaw", "tdaw"},
    {255, "default", "libx264"},
};

const std::vector<Row> kAudioCodecs = {
    {0, "mp2", "mp2"},           {1, "mp3", "mp3"},          {2, "aac", "libfdk_aac"},
    {3, "pcm_alaw", "pcm_alaw"}, {255, "default", "libfdk_aac"},
};

struct Kind {
    const char *label;
    int kind;
    const std::vector<Row> *rows;
    int (*id_of)(const char *);
    const char *(*name_of)(int);
    const char *(*cmd_of)(int);
};

const Kind kKinds[] = {
    {"formats", FMT_KIND_F, &kFormats, get_f_fmt_id, get_f_fmt_name, get_f_fmt_cmd},
    {"video codecs", FMT_KIND_V, &kVideoCodecs, get_v_fmt_id, get_v_fmt_name, get_v_fmt_cmd},
    {"audio codecs", FMT_KIND_A, &kAudioCodecs, get_a_fmt_id, get_a_fmt_name, get_a_fmt_cmd},
};

class FmtTable : public ::testing::Test {
protected:
    static void SetUpTestSuite() { init_fmt_table(); }
};

// Every row reads as registered; a name shared by two rows resolves to the
// earlier one.
void expect_every_row(bool names_too)
{
    for (const Kind &k : kKinds) {
        for (const Row &r : *k.rows) {
            SCOPED_TRACE(std::string(k.label) + " id " + std::to_string(r.id));
            EXPECT_STREQ(k.name_of(r.id), r.name);
            EXPECT_STREQ(k.cmd_of(r.id), r.cmd_name);
            if (names_too) {
                EXPECT_EQ(k.id_of(r.name), std::find_if(k.rows->begin(), k.rows->end(), [&](const Row &o) {
                                               return std::string(o.name) == r.name;
                                           })->id);
            }
        }
    }
}

TEST_F(FmtTable, EveryRowResolvesByIdAndByName) { expect_every_row(true); }

// Names match whole and with their letter case: no prefix, no trailing
// slack, no other case; command names are never matched.
TEST_F(FmtTable, NamesMatchWholeAndCaseSensitive)
{
    for (const Kind &k : kKinds) {
        for (const Row &r : *k.rows) {
            std::string upper = r.name;
            for (char &ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            const std::string name = r.name;
            for (const std::string &other : {upper, name.substr(0, name.size() - 1), name + " "})
                EXPECT_EQ(k.id_of(other.c_str()), 255) << k.label << " '" << other << "'";
        }
    }
    for (const char *name : {"libx264", "libx264 -profile:v high", "libx265", ""}) EXPECT_EQ(get_v_fmt_id(name), 255);
    EXPECT_EQ(get_a_fmt_id("libfdk_aac"), 255);
    EXPECT_EQ(get_f_fmt_id("mov"), 255);
}

TEST_F(FmtTable, UnknownIdsYieldTheDefaultRow)
{
    for (int id : {10, 99, 254, 256, -1}) {
        SCOPED_TRACE(id);
        EXPECT_STREQ(get_f_fmt_name(id), "default");
        EXPECT_STREQ(get_f_fmt_cmd(id), "default");
        EXPECT_STREQ(get_v_fmt_name(id), "default");
        EXPECT_STREQ(get_v_fmt_cmd(id), "libx264");
        EXPECT_STREQ(get_a_fmt_name(id), "default");
        EXPECT_STREQ(get_a_fmt_cmd(id), "libfdk_aac");
    }
}

TEST_F(FmtTable, UnknownKindsAndNullNamesAreNotRegistered)
{
    int before[3];
    for (int k = 0; k < 3; k++) before[k] = fmt_table_count(k);
    add_fmt(FMT_KIND_V, 42, nullptr, "x");
    add_fmt(3, 42, "kind three", nullptr);
    add_fmt(-1, 42, "kind minus one", nullptr);
    for (int k = 0; k < 3; k++) EXPECT_EQ(fmt_table_count(k), before[k]) << "kind " << k;
    EXPECT_STREQ(get_v_fmt_name(42), "default");
}

// Every start-up appends eleven, ten and five rows; duplicates behind the
// first rows change no lookup. Many start-up cycles in one process fill
// the tables: registration past the end is dropped and nothing next to a
// table is overwritten.
TEST_F(FmtTable, RepeatedRegistrationUntilTheTablesAreFull)
{
    int before[3];
    for (int k = 0; k < 3; k++) before[k] = fmt_table_count(k);
    init_fmt_table();
    EXPECT_EQ(fmt_table_count(FMT_KIND_F), std::min(before[0] + 11, FMT_TABLE_SIZE));
    EXPECT_EQ(fmt_table_count(FMT_KIND_V), std::min(before[1] + 10, FMT_TABLE_SIZE));
    EXPECT_EQ(fmt_table_count(FMT_KIND_A), std::min(before[2] + 5, FMT_TABLE_SIZE));
    expect_every_row(true);

    for (int i = 0; i < 60; i++) init_fmt_table();
    for (int k = 0; k < 3; k++) add_fmt(k, 77, "past the end", "overflow cmd");
    for (int k = 0; k < 3; k++) EXPECT_EQ(fmt_table_count(k), FMT_TABLE_SIZE) << "kind " << k;
    EXPECT_EQ(get_f_fmt_id("past the end"), 255);
    EXPECT_EQ(get_v_fmt_id("past the end"), 255);
    EXPECT_EQ(get_a_fmt_id("past the end"), 255);
    EXPECT_STREQ(get_v_fmt_cmd(77), "libx264");
    expect_every_row(false);
}

}  // namespace
