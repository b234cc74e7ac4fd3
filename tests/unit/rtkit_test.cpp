// The support layer: the list lock and the log.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/rtkit.h"
#include "log_capture.h"

namespace {

// Eight threads append under the list lock and log long lines: nothing is
// lost and no line is interleaved with another.
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
    const std::vector<std::string> lines = cap.lines();
    ASSERT_EQ(lines.size(), 1600u);
    const std::regex whole(R"(\[info\] file: rtkit_test\.cpp line: \d+ t(\d) ([a-h])\2{199} end)");
    std::smatch m;
    for (const auto &l : lines) {
        ASSERT_TRUE(std::regex_match(l, m, whole)) << l;
        ASSERT_EQ(m[2].str()[0], 'a' + (m[1].str()[0] - '0'));
    }
}

TEST(RtKitDeathTest, FatalEndsTheProcess) { EXPECT_DEATH(LOG_FATAL("fatal"), ""); }

}  // namespace
