// The support layer: lists, threads, name conversion and the log.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/rtkit.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

std::vector<int *> walk(adt_dlist *list)
{
    std::vector<int *> out;
    for (adt_dlist_node *n = adt_dlist_head(list); n; n = adt_dlist_next(n))
        out.push_back(*static_cast<int **>(adt_dlist_getdata(n)));
    return out;
}

TEST(DList, KeepsInsertionOrderAndDeletesInPlace)
{
    int a = 1, b = 2, c = 3;
    adt_dlist *list = adt_dlist_create(sizeof(int *));
    ASSERT_NE(list, nullptr);
    for (int *p : {&a, &b, &c}) ASSERT_EQ(adt_dlist_add(list, 0, &p), 1);
    EXPECT_EQ(adt_dlist_size(list), 3);
    EXPECT_EQ(walk(list), (std::vector<int *>{&a, &b, &c}));

    // Deleting the middle node returns the one after it; head and tail stay linked.
    adt_dlist_node *second = adt_dlist_next(adt_dlist_head(list));
    adt_dlist_node *after = adt_dlist_delete_ex(list, second);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(*static_cast<int **>(adt_dlist_getdata(after)), &c);
    EXPECT_EQ(walk(list), (std::vector<int *>{&a, &c}));

    adt_dlist_delete(list, adt_dlist_head(list));
    EXPECT_EQ(walk(list), (std::vector<int *>{&c}));
    EXPECT_EQ(adt_dlist_delete_ex(list, adt_dlist_head(list)), nullptr);
    EXPECT_EQ(adt_dlist_size(list), 0);
    EXPECT_EQ(adt_dlist_head(list), nullptr);
    // Appending after emptying works again (tail was reset).
    int *pa = &a;
    adt_dlist_add(list, 0, &pa);
    EXPECT_EQ(walk(list), (std::vector<int *>{&a}));
    adt_dlist_destroy(list);
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
    int walked = 0;
    for (adt_dlist_node *n = adt_dlist_head(list); n; n = adt_dlist_next(n)) walked++;
    EXPECT_EQ(walked, 4000);
    adt_dlist_destroy(list);
}

int set_flag(void *arg)
{
    static_cast<std::atomic<int> *>(arg)->store(42);
    return 0;
}

TEST(Thread, CreateRunsFunctionAndJoinWaits)
{
    std::atomic<int> flag{0};
    os_thread_t thr = 0;
    ASSERT_NE(os_thread_create(&thr, nullptr, set_flag, &flag), 0);
    EXPECT_EQ(os_thread_join(&thr), 0);
    EXPECT_EQ(flag.load(), 42);
}

TEST(CodeConvert, Utf8PassesUnchanged)
{
    char out[1024];
    const char *name = "/tmp/vid\xC3\xA9o \xE4\xB8\xAD.mp4";  // "vidéo 中.mp4"
    EXPECT_EQ(os_code_convert("utf-8", "GB18030", out, sizeof out, name, std::strlen(name)),
              static_cast<int>(std::strlen(name)));
    EXPECT_STREQ(out, name);
}

TEST(CodeConvert, Gb18030BecomesUtf8)
{
    char out[1024];
    const char gb[] = "a\xD6\xD0.mp4";  // "a中.mp4" in GB18030
    EXPECT_EQ(os_code_convert("utf-8", "GB18030", out, sizeof out, gb, std::strlen(gb)), 8);
    EXPECT_STREQ(out, "a\xE4\xB8\xAD.mp4");
}

TEST(CodeConvert, RefusesWhatDoesNotFitOrIsNotText)
{
    char out[16];
    std::string long_name(40, 'x');
    EXPECT_EQ(os_code_convert("utf-8", "GB18030", out, sizeof out, long_name.c_str(), long_name.size()), 0);
    EXPECT_EQ(out[0], '\0');
    const char bad[] = "\xFF\xFF";  // neither UTF-8 nor GB18030
    EXPECT_EQ(os_code_convert("utf-8", "GB18030", out, sizeof out, bad, 2), 0);
}

TEST(StrCopy, BoundedAndTerminated)
{
    char small[5];
    EXPECT_EQ(str_copy(small, sizeof small, "abcdefgh"), 4u);
    EXPECT_STREQ(small, "abcd");
    EXPECT_EQ(str_copy(small, sizeof small, nullptr), 0u);
    EXPECT_STREQ(small, "");
}

TEST(Log, InfoLineCarriesStampLevelFileAndLine)
{
    tt::LogCapture cap;
    std::vector<std::string> raw;
    log_set_sink([](const char *line, void *ctx) { static_cast<std::vector<std::string> *>(ctx)->push_back(line); },
                 &raw);
    int line = __LINE__ + 1;
    LOG_INFO("value:%d name:%s", 7, "x");
    log_msg("plain %s", "message");
    log_set_sink(nullptr, nullptr);
    ASSERT_EQ(raw.size(), 2u);
    std::regex stamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} )");
    EXPECT_TRUE(std::regex_search(raw[0], stamp)) << raw[0];
    EXPECT_EQ(raw[0].substr(tt::kStampLen),
              "[info] file: rtkit_test.cpp line: " + std::to_string(line) + " value:7 name:x");
    EXPECT_EQ(raw[1].substr(tt::kStampLen), "plain message");
}

TEST(Log, MessageWithOwnLineBreakIsOneLine)
{
    tt::LogCapture cap;
    log_msg("ends with break\n");
    EXPECT_TRUE(cap.has_line("ends with break"));
}

TEST(Log, ConcurrentLinesNeverInterleave)
{
    tt::LogCapture cap;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++) {
        threads.emplace_back([t] {
            std::string payload(200, static_cast<char>('a' + t));
            for (int i = 0; i < 200; i++) LOG_INFO("t%d %s end", t, payload.c_str());
        });
    }
    for (auto &t : threads) t.join();
    auto lines = cap.lines();
    ASSERT_EQ(lines.size(), 1600u);
    std::regex whole(R"(^\[info\] file: rtkit_test\.cpp line: \d+ t(\d) ([a-h])\2{199} end$)");
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
