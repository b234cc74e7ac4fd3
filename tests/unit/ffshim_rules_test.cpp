// The tool layer's rules that need no process: how the library's arguments
// become the stock program's, and how status lines get line breaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ffshim_args.h"
#include "line_breaks.h"

namespace {

using Args = std::vector<std::string>;

const char kNoteFdk[] = "ffshim: libfdk_aac is not in this build, using aac";
const char kNoteSeek[] = "ffshim: -accurate_seek after the last input dropped (input option in output position)";
const char kNoPpid[] = "ffshim: -ppid without a process id ignored";

struct PlanCase {
    const char *name;
    Args in;
    bool has_fdk;
    Args out;
    pid_t owner;
    Args notes;
};

const PlanCase kPlanCases[] = {
    {"plain_job_untouched",
     {"-i", "in.mp4", "-c:v", "libx264", "-c:a", "aac", "-y", "out.mp4"}, false,
     {"-i", "in.mp4", "-c:v", "libx264", "-c:a", "aac", "-y", "out.mp4"}, 0, {}},
    {"ppid_taken_out_and_watched",
     {"-ppid", "4321", "-i", "in.mp4", "out.mp4"}, false, {"-i", "in.mp4", "out.mp4"}, 4321, {}},
    {"ppid_between_options", {"-i", "in.mp4", "-threads", "2", "-ppid", "77", "out.mp4"}, false,
     {"-i", "in.mp4", "-threads", "2", "out.mp4"}, 77, {}},
    {"ppid_without_value", {"-i", "in.mp4", "out.mp4", "-ppid"}, false, {"-i", "in.mp4", "out.mp4"}, 0,
     {kNoPpid}},
    {"ppid_not_a_number", {"-ppid", "12abc", "-i", "a", "b"}, false, {"-i", "a", "b"}, 0,
     {"ffshim: -ppid 12abc is not a process id, ignored"}},
    {"ppid_zero", {"-ppid", "0", "-i", "a", "b"}, false, {"-i", "a", "b"}, 0,
     {"ffshim: -ppid 0 is not a process id, ignored"}},
    {"ppid_negative", {"-ppid", "-5", "-i", "a", "b"}, false, {"-i", "a", "b"}, 0,
     {"ffshim: -ppid -5 is not a process id, ignored"}},
    {"ppid_too_large", {"-ppid", "99999999999", "-i", "a", "b"}, false, {"-i", "a", "b"}, 0,
     {"ffshim: -ppid 99999999999 is not a process id, ignored"}},
    {"fdk_mapped_when_missing", {"-i", "a", "-c:a", "libfdk_aac", "-b:a", "64k", "b"}, false,
     {"-i", "a", "-c:a", "aac", "-b:a", "64k", "b"}, 0, {kNoteFdk}},
    {"fdk_kept_when_present", {"-i", "a", "-c:a", "libfdk_aac", "b"}, true,
     {"-i", "a", "-c:a", "libfdk_aac", "b"}, 0, {}},
    {"fdk_only_as_whole_argument", {"-i", "libfdk_aac.mp4", "-c:a", "libfdk_aac_he", "b"}, false,
     {"-i", "libfdk_aac.mp4", "-c:a", "libfdk_aac_he", "b"}, 0, {}},
    // The cut template that seeks both before and after the input.
    {"seek_after_last_input_dropped",
     {"-ss", "1.0", "-accurate_seek", "-i", "in.mp4", "-accurate_seek", "-t", "5", "-y", "out.mp4"}, false,
     {"-ss", "1.0", "-accurate_seek", "-i", "in.mp4", "-t", "5", "-y", "out.mp4"}, 0, {kNoteSeek}},
    {"seek_before_input_kept", {"-accurate_seek", "-ss", "1.0", "-i", "in.mp4", "-t", "5", "out.mp4"}, false,
     {"-accurate_seek", "-ss", "1.0", "-i", "in.mp4", "-t", "5", "out.mp4"}, 0, {}},
    {"seek_between_inputs_kept", {"-i", "a.mp4", "-accurate_seek", "-i", "b.mp4", "out.mp4"}, false,
     {"-i", "a.mp4", "-accurate_seek", "-i", "b.mp4", "out.mp4"}, 0, {}},
    {"input_named_like_the_option_kept", {"-i", "-accurate_seek", "out.mp4"}, false,
     {"-i", "-accurate_seek", "out.mp4"}, 0, {}},
    {"seek_without_input_kept", {"-accurate_seek", "-version"}, false, {"-accurate_seek", "-version"}, 0, {}},
    {"drawtext_angle_dropped", {"-i", "a", "-vf", "drawtext=fontfile=tf.ttf:text='hi':x=1:angle=30", "b"}, false,
     {"-i", "a", "-vf", "drawtext=fontfile=tf.ttf:text='hi':x=1", "b"}, 0,
     {"ffshim: drawtext angle=30 not rendered (text drawn unrotated)"}},
    {"drawtext_angle_zero", {"-vf", "drawtext=text='hi':angle=0"}, false, {"-vf", "drawtext=text='hi'"}, 0,
     {"ffshim: drawtext angle=0 dropped (nothing to rotate)"}},
    {"everything_at_once",
     {"-ppid", "9", "-ss", "2", "-i", "in.mp4", "-accurate_seek", "-vf", "drawtext=text=a:angle=-15", "-c:a",
      "libfdk_aac", "out.mp4"},
     false, {"-ss", "2", "-i", "in.mp4", "-vf", "drawtext=text=a", "-c:a", "aac", "out.mp4"}, 9,
     {kNoteSeek, "ffshim: drawtext angle=-15 not rendered (text drawn unrotated)", kNoteFdk}},
};

TEST(PlanArgs, GivesTheStockProgramWhatItTakes)
{
    for (const PlanCase &c : kPlanCases) {
        SCOPED_TRACE(c.name);
        ffshim::StockFeatures stock;
        stock.has_libfdk_aac = c.has_fdk;
        const ffshim::ArgPlan plan = ffshim::plan_args(c.in, stock);
        EXPECT_EQ(plan.args, c.out);
        EXPECT_EQ(plan.owner_pid, c.owner);
        EXPECT_EQ(plan.notes, c.notes);
    }
}

struct AngleCase {
    const char *name;
    std::string in;
    std::string out;
    Args angles;
};

const AngleCase kAngleCases[] = {
    // Two watermarks as the conversion command writes them (command-line quotes already removed).
    {"two_watermarks",
     "drawtext=fontfile=tf.ttf:text='A':x=w*0/2+10:y=h*0/1+10:fontcolor=white:fontsize=24:alpha=0.800000:angle=30,"
     "drawtext=fontfile=tf.ttf:text='B':x=w*1/2+10:y=h*0/1+10:fontcolor=white:fontsize=24:alpha=0.800000:angle=0",
     "drawtext=fontfile=tf.ttf:text='A':x=w*0/2+10:y=h*0/1+10:fontcolor=white:fontsize=24:alpha=0.800000,"
     "drawtext=fontfile=tf.ttf:text='B':x=w*1/2+10:y=h*0/1+10:fontcolor=white:fontsize=24:alpha=0.800000",
     {"30", "0"}},
    {"angle_in_the_middle", "drawtext=text=x:angle=45:x=3", "drawtext=text=x:x=3", {"45"}},
    {"negative_angle", "drawtext=text=x:angle=-90", "drawtext=text=x", {"-90"}},
    {"other_filter_keeps_its_angle", "rotate=angle=30,drawtext=text=x:angle=5", "rotate=angle=30,drawtext=text=x",
     {"5"}},
    {"angle_of_another_filter_in_same_argument", "rotate=out_w=320:angle=1,drawtext=text=x",
     "rotate=out_w=320:angle=1,drawtext=text=x", {}},
    {"no_drawtext_untouched", "scale=320:240:angle=5", "scale=320:240:angle=5", {}},
    {"with_link_labels", "[in]drawtext=text=x:angle=10[out]", "[in]drawtext=text=x[out]", {"10"}},
    {"filter_chain_with_semicolon", "[0:v]scale=320:240[s];[s]drawtext=text=x:angle=10",
     "[0:v]scale=320:240[s];[s]drawtext=text=x", {"10"}},
    {"named_instance", "drawtext@wm=text=x:angle=7", "drawtext@wm=text=x", {"7"}},
    {"whole_options_quoted", "drawtext='text=x:angle=12'", "drawtext='text=x'", {"12"}},
    // A fractional or symbolic angle is not an integer: left for the stock program to refuse.
    {"fractional_angle_kept", "drawtext=text=x:angle=0.5", "drawtext=text=x:angle=0.5", {}},
    {"symbolic_angle_kept", "drawtext=text=x:angle=PI/4", "drawtext=text=x:angle=PI/4", {}},
    {"empty_angle_kept", "drawtext=text=x:angle=", "drawtext=text=x:angle=", {}},
    {"trailing_letters_kept", "drawtext=text=x:angle=30x", "drawtext=text=x:angle=30x", {}},
    {"longer_key_kept", "drawtext=text=x:angles=3", "drawtext=text=x:angles=3", {}},
    // Text that merely looks like the option.
    {"in_quoted_text", "drawtext=text='a\\:angle=5':x=1", "drawtext=text='a\\:angle=5':x=1", {}},
    {"in_doubly_escaped_text", "drawtext=text=a\\\\\\:angle=5:x=1", "drawtext=text=a\\\\\\:angle=5:x=1", {}},
    {"in_escaped_quotes", "drawtext=text=\\'a:angle=5\\':x=1", "drawtext=text=\\'a:angle=5\\':x=1", {}},
    // An escape at the graph level only still leaves a separator for the filter.
    {"graph_escaped_separator", "drawtext=text=a\\:angle=5", "drawtext=text=a", {"5"}},
};

TEST(DrawtextAngle, RemovesOnlyTheAngleOption)
{
    for (const AngleCase &c : kAngleCases) {
        Args angles;
        EXPECT_EQ(ffshim::strip_drawtext_angles(c.in, angles), c.out) << c.name;
        EXPECT_EQ(angles, c.angles) << c.name;
    }
}

struct BreakCase {
    const char *name;
    // Each chunk fed and what must come out for it at once.
    std::vector<std::pair<std::string, std::string>> steps;
};

const BreakCase kBreakCases[] = {
    {"pair_split_between_chunks", {{"a\rb\r", "a\nb\n"}, {"\nc", "c"}}},
    {"pair_in_one_chunk", {{"a\r\nb", "a\nb"}}},
    {"status_lines",
     {{"frame=1 time=00:00:00.04\rframe=2 time=00:00:00.08\r",
       "frame=1 time=00:00:00.04\nframe=2 time=00:00:00.08\n"}}},
    {"plain_lines_untouched", {{"one\ntwo\n", "one\ntwo\n"}}},
    {"lf_after_pair_is_a_break", {{"a\r", "a\n"}, {"\n", ""}, {"\n", "\n"}}},
    {"two_crs_then_lf", {{"\r\r\n", "\n\n"}}},
    {"crs_one_per_chunk", {{"\r", "\n"}, {"\r", "\n"}, {"\n", ""}}},
    {"empty_chunk_keeps_the_pending_cr", {{"x\r", "x\n"}, {"", ""}, {"\ny", "y"}}},
    {"cr_then_text_in_next_chunk", {{"x\r", "x\n"}, {"y", "y"}}},
    {"binary_zero_passes", {{std::string("a\0b\r", 4), std::string("a\0b\n", 4)}}},
};

TEST(LineBreaks, LoneCrBecomesLfAndCrLfStaysOne)
{
    for (const BreakCase &c : kBreakCases) {
        ffshim::LineBreakFilter filter;
        for (const auto &step : c.steps)
            EXPECT_EQ(filter.feed(step.first.data(), step.first.size()), step.second)
                << c.name << ", chunk: " << step.first;
    }
}

}  // namespace
