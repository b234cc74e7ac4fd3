// The support layer: lists, name conversion and the log.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/rtkit.h"
#include "log_capture.h"

namespace {

// Appends of eight threads under the list lock, and eight threads logging
// long lines: nothing lost, no line interleaved with another.
TEST(RtKit, ListLockAndLogLinesHoldUnderThreads)
{
    adt_dlist *list = adt_dlist_create(sizeof(void *));
    tt::LogCapture cap;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([list, t] {
            for (int i = 0; i < 200; i++) {
                void *p = nullptr;
                adt_dlist_lock(list);
                adt_dlist_add(list, 0, &p);
                adt_dlist_unlock(list);
                LOG_INFO("t%d %s end", t, std::string(200, char('a' + t)).c_str());
            }
        });
    for (auto &t : threads) t.join();
    int walked = 0;
    for (adt_dlist_node *n = adt_dlist_head(list); n; n = adt_dlist_next(n)) walked++;
    EXPECT_EQ(adt_dlist_size(list), 1600);
    EXPECT_EQ(walked, 1600);
    adt_dlist_destroy(list);
    const std::regex whole(R"(t(\d) ([a-h])\2{199} end)");
    std::smatch m;
    ASSERT_EQ(cap.messages().size(), 1600u);
    for (const auto &l : cap.messages()) {
        ASSERT_TRUE(std::regex_match(l, m, whole)) << l;
        ASSERT_EQ(m[2].str()[0], 'a' + (m[1].str()[0] - '0'));
    }
    // A line carries stamp, level, file and line before the message.
    std::vector<std::string> raw;
    log_set_sink([](const char *line, void *ctx) { static_cast<std::vector<std::string> *>(ctx)->push_back(line); },
                 &raw);
    LOG_INFO("value:%d", 7); raw.push_back(std::to_string(__LINE__));  // one line: the same line number
    log_set_sink(nullptr, nullptr);
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_TRUE(std::regex_match(raw[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} .*)"))) << raw[0];
    EXPECT_EQ(raw[0].substr(tt::kStampLen), "[info] file: rtkit_test.cpp line: " + raw[1] + " value:7");
}

// Valid UTF-8 passes unchanged; other input is taken as GB18030; what is
// neither, or does not fit, gives 0 and the empty text.
TEST(RtKit, CodeConvert)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/tmp/vid\xC3\xA9o \xE4\xB8\xAD.mp4", "/tmp/vid\xC3\xA9o \xE4\xB8\xAD.mp4"},
        {"a\xD6\xD0.mp4", "a\xE4\xB8\xAD.mp4"}, {std::string(40, 'x'), ""}, {"\xFF\xFF", ""}};
    for (const auto &c : cases) {
        char out[20] = "junk";
        EXPECT_EQ(os_code_convert("utf-8", "GB18030", out, sizeof out, c.first.c_str(), c.first.size()),
                  static_cast<int>(c.second.size())) << c.first;
        EXPECT_EQ(out, c.second);
    }
}

TEST(RtKitDeathTest, FatalEndsTheProcess) { EXPECT_DEATH(LOG_FATAL("fatal"), ""); }

}  // namespace
