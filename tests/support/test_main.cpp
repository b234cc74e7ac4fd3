// Test entry: the library's log goes nowhere unless TARSASDK_LOG says otherwise
// (tests that check log lines capture them in memory).
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
#ifdef _WIN32
    if (!std::getenv("TARSASDK_LOG")) _putenv_s("TARSASDK_LOG", "off");
#else
    setenv("TARSASDK_LOG", "off", 0);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
