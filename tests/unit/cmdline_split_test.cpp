// Splitting command lines into arguments by the Windows C runtime rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

struct SplitCase {
    const char *name;
    const char *line;
    std::vector<std::string> args;
};

const SplitCase k_cases[] = {
    {"quoted program path with blanks", R"("/a b/ffmpeg" -i "x y.mp4")", {"/a b/ffmpeg", "-i", "x y.mp4"}},
    {"quote inside a token", R"(-i concat:"a.ts|b.ts" -c copy)", {"-i", "concat:a.ts|b.ts", "-c", "copy"}},
    {"two drawtext filters are one argument",
     R"(-vf drawtext="fontfile=tf.ttf:text='a b':x=1",drawtext="fontfile=tf.ttf:text='c d':y=2" out.mp4)",
     {"-vf", "drawtext=fontfile=tf.ttf:text='a b':x=1,drawtext=fontfile=tf.ttf:text='c d':y=2", "out.mp4"}},
    {"one backslash before a quote: literal quote", R"(a\"b)", {R"(a"b)"}},
    {"two backslashes before a quote: one backslash, quote acts", R"(a\\"b c")", {R"(a\b c)"}},
    {"three backslashes before a quote: one backslash and a literal quote", R"(a\\\"b)", {R"(a\"b)"}},
    {"four backslashes before a quote: two backslashes, quote acts", R"(a\\\\"b c")", {R"(a\\b c)"}},
    {"backslashes closing a quoted path", R"("C:\dir\\" next)", {R"(C:\dir\)", "next"}},
    {"backslashes elsewhere are literal", R"(C:\dir\file.txt \\server\share\ a\\b)",
     {R"(C:\dir\file.txt)", R"(\\server\share\)", R"(a\\b)"}},
    {"empty quoted argument between others", R"(a "" b)", {"a", "", "b"}},
    {"only empty quoted arguments", R"("" "")", {"", ""}},
    {"empty quotes glued to a token add nothing", R"(a"" b)", {"a", "b"}},
    {"doubled quote inside quotes toggles twice", R"("a""b")", {"ab"}},
    {"quoted part in the middle of a token", R"(ab"c d"ef)", {"abc def"}},
    {"unterminated quote runs to the end", "\"a b\t c", {"a b\t c"}},
    {"runs of blanks and tabs separate once", "a \t\t b  \tc", {"a", "b", "c"}},
    {"leading and trailing blanks", " \t a b \t ", {"a", "b"}},
    {"tab inside quotes is kept", "\"a\tb\"", {"a\tb"}},
    {"empty line", "", {}},
    {"blanks only", " \t  ", {}},
};

TEST(CmdlineSplit, GivesTheArguments)
{
    for (const SplitCase &c : k_cases) {
        std::vector<std::string> args = {"left over"};
        ASSERT_TRUE(os_cmdline_split(c.line, &args)) << c.name;
        EXPECT_EQ(args, c.args) << c.name << ": " << c.line;
    }
    std::vector<std::string> args = {"left over"};
    EXPECT_TRUE(os_cmdline_split(nullptr, &args));  // a null line gives no arguments
    EXPECT_TRUE(args.empty());
    EXPECT_FALSE(os_cmdline_split("a", nullptr));
}

}  // namespace
