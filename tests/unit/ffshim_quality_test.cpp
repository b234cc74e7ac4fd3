// The quality the library asks for with -q:v must reach encoders that use
// another scale: x264 and x265 take it as -crf, the rest keep -q:v.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ffshim_args.h"

namespace {

using Args = std::vector<std::string>;

TEST(ToolLayerQuality, QvBecomesCrfOnlyForX264AndX265)
{
    const struct {
        Args in, out;
    } cases[] = {
        {{"-i", "a.mp4", "-c:v", "libx264", "-q:v", "23", "b.mp4"}, {"-i", "a.mp4", "-c:v", "libx264", "-crf", "23", "b.mp4"}},
        {{"-i", "a.mp4", "-vcodec", "libx265", "-q:v", "5", "b.mkv"}, {"-i", "a.mp4", "-vcodec", "libx265", "-crf", "5", "b.mkv"}},
        {{"-i", "a.mp4", "-q:v", "30", "-c:v", "libx264", "b.ts"}, {"-i", "a.mp4", "-crf", "30", "-c:v", "libx264", "b.ts"}},
        {{"-i", "a.mp4", "-c:v", "mpeg4", "-q:v", "3", "b.avi"}, {"-i", "a.mp4", "-c:v", "mpeg4", "-q:v", "3", "b.avi"}},
        {{"-i", "a.mp4", "-c:v", "h264_nvenc", "-q:v", "5", "b.mp4"}, {"-i", "a.mp4", "-c:v", "h264_nvenc", "-q:v", "5", "b.mp4"}},
        {{"-i", "a.mp4", "-q:v", "5", "b.mp4"}, {"-i", "a.mp4", "-q:v", "5", "b.mp4"}},
    };
    for (const auto &c : cases) {
        ffshim::ArgPlan plan = ffshim::plan_args(c.in, ffshim::StockFeatures{});
        EXPECT_EQ(plan.args, c.out);
        // Every mapping is said in one line; an untouched line says nothing.
        EXPECT_EQ(plan.notes.size(), c.in == c.out ? 0u : 1u);
    }
}

}  // namespace
