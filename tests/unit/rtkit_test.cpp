// The support layer: lists, name conversion, bounded copies and the log.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.h"
#include "core/rtkit.h"

namespace {

std::vector<int *> walk(adt_dlist *list)
{
    std::vector<int *> out;
    for (adt_dlist_node *n = adt_dlist_head(list); n; n = adt_dlist_next(n))
        out.push_back(*static_cast<int **>(adt_dlist_getdata(n)));
    return out;
}

TEST(DList, LockSerialisesConcurrentAppends)
{
    adt_dlist *list = adt_dlist_create(sizeof(void *));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++) {
        threads.emplace_back([list] {
            for (int i = 0; i < 500; i++) {
                void *p = nullptr;
                adt_dlist_lock(list);
                adt_dlist_add(list, 0, &p);
                adt_dlist_unlock(list);
            }
        });
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(adt_dlist_size(list), 4000);
    EXPECT_EQ(walk(list).size(), 4000u);
    adt_dlist_destroy(list);
}

// Valid UTF-8 passes unchanged; other input is taken as GB18030; what is
// neither, or does not fit, gives 0 and an empty result.
TEST(CodeConvert, Utf8PassesGb18030IsConverted)
{
    const struct {
        std::string in;
        size_t room;
        int result;
        const char *out;
    } cases[] = {
        {"/tmp/vid\xC3\xA9o \xE4\xB8\xAD.mp4", 1024, 19, "/tmp/vid\xC3\xA9o \xE4\xB8\xAD.mp4"},  // "vidéo 中.mp4"
        {"a\xD6\xD0.mp4", 1024, 8, "a\xE4\xB8\xAD.mp4"},                                        // "a中.mp4"
        {std::string(40, 'x'), 16, 0, ""},
        {"\xFF\xFF", 16, 0, nullptr},
    };
    for (const auto &c : cases) {
        char out[1024];
        EXPECT_EQ(os_code_convert("utf-8", "GB18030", out, c.room, c.in.c_str(), c.in.size()), c.result) << c.in;
        if (c.out) {
            EXPECT_STREQ(out, c.out);
        }
    }
}

TEST(Log, LinesCarryStampLevelFileAndLineAndNeverInterleave)
{
    std::vector<std::string> raw;
    log_set_sink([](const char *line, void *ctx) { static_cast<std::vector<std::string> *>(ctx)->push_back(line); },
                 &raw);
    const int line = __LINE__ + 1;
    LOG_INFO("value:%d name:%s", 7, "x");
    log_msg("plain %s", "message");
    log_msg("ends with break\n");
    log_set_sink(nullptr, nullptr);
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_TRUE(std::regex_search(raw[0], std::regex(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} )"))) << raw[0];
    EXPECT_EQ(raw[0].substr(tt::kStampLen),
              "[info] file: rtkit_test.cpp line: " + std::to_string(line) + " value:7 name:x");
    EXPECT_EQ(raw[1].substr(tt::kStampLen), "plain message");
    EXPECT_EQ(raw[2].substr(tt::kStampLen), "ends with break");

    tt::LogCapture cap;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++) {
        threads.emplace_back([t] {
            const std::string payload(200, static_cast<char>('a' + t));
            for (int i = 0; i < 200; i++) LOG_INFO("t%d %s end", t, payload.c_str());
        });
    }
    for (auto &t : threads) t.join();
    const std::vector<std::string> lines = cap.lines();
    ASSERT_EQ(lines.size(), 1600u);
    const std::regex whole(R"(^\[info\] file: rtkit_test\.cpp line: \d+ t(\d) ([a-h])\2{199} end$)");
    for (const auto &l : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, whole)) << l;
        EXPECT_EQ(m[2].str()[0], 'a' + (m[1].str()[0] - '0'));
    }
}

TEST(LogDeathTest, FatalWritesLineAndEndsProcess)
{
    EXPECT_DEATH(LOG_FATAL("pipe_info == NULL"), "");
}

}  // namespace
