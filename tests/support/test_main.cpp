// Test entry: the library's log goes nowhere unless TARSASDK_LOG says otherwise
// (tests that check log lines capture them in memory).
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("TARSASDK_LOG", "off", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
