// Identifier tables of containers and codecs: ids and names map to each
// other, the first row of a name wins, anything unknown gives the default.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "media/fmt_table.h"

namespace {

struct Kind {
    int kind, rows;  // ids 0 .. rows-1 are table rows
    int (*id_of)(const char *);
    const char *(*name_of)(int), *(*cmd_of)(int), *default_cmd;
} const kKinds[] = {{FMT_KIND_F, 10, get_f_fmt_id, get_f_fmt_name, get_f_fmt_cmd, "default"},
                    {FMT_KIND_V, 9, get_v_fmt_id, get_v_fmt_name, get_v_fmt_cmd, "libx264"},
                    {FMT_KIND_A, 4, get_a_fmt_id, get_a_fmt_name, get_a_fmt_cmd, "libfdk_aac"}};

// Each id maps back from its name ("mp4" is listed twice: the first row
// wins); names match whole and with their case; unknown ids give the default.
TEST(FmtTable, IdsAndNamesMapBothWays)
{
    init_fmt_table();
    for (const Kind &k : kKinds) {
        for (int id = 0; id < k.rows; id++) {
            const std::string name = k.name_of(id);
            std::string upper = name;
            for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(k.id_of(name.c_str()), k.kind == FMT_KIND_F && id == 9 ? 4 : id) << name;
            for (const std::string &near : {upper, name.substr(0, name.size() - 1), name + " ", std::string("default")})
                EXPECT_EQ(k.id_of(near.c_str()), 255) << near;
        }
        for (int id : {k.rows, 99, 255, 256, -1}) {
            EXPECT_STREQ(k.name_of(id), "default") << id;
            EXPECT_STREQ(k.cmd_of(id), k.default_cmd) << id;
        }
    }
    for (const char *cmd : {"libx264", "libx265", "libx264 -profile:v high", ""}) EXPECT_EQ(get_v_fmt_id(cmd), 255);
}

// Start-ups after clean-ups append the rows again until the tables are
// full; rows past the end, of unknown kinds or without a name are dropped.
TEST(FmtTable, RepeatedRegistrationFillsTheTablesSafely)
{
    const int before = (init_fmt_table(), fmt_table_count(FMT_KIND_V));
    add_fmt(FMT_KIND_V, 42, nullptr, "x");
    add_fmt(3, 42, "kind three", nullptr);
    add_fmt(-1, 42, "kind minus one", nullptr);
    EXPECT_EQ(fmt_table_count(FMT_KIND_V), before);
    for (int i = 0; i < 60; i++) init_fmt_table();
    for (const Kind &k : kKinds) {
        add_fmt(k.kind, 77, "past the end", "overflow");
        EXPECT_EQ(fmt_table_count(k.kind), FMT_TABLE_SIZE);
        EXPECT_EQ(k.id_of("past the end"), 255);
        EXPECT_STREQ(k.cmd_of(77), k.default_cmd);
    }
    EXPECT_EQ(get_v_fmt_id("h264 (High)"), 3);
}

}  // namespace
