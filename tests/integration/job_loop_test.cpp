// The monitor loop of every job tool, run for conversion, cut, merge temporaries and merge joining; loops of
// whole lifecycles that leave nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "jobs.h"
#include "processes.h"

namespace {

using Clock = std::chrono::steady_clock;
using tt::status_line;

enum Kind { kConvert, kCut, kMergeTmp, kMergeJoin };
const char *const kKindNames[] = {"conversion", "cut", "merge temporary", "merge joining"};

// A tool run that writes its output and reports the whole 10 seconds.
const std::string kDone = "pid\nappend $DST 188\nprint " + status_line(10) + "\nexit 0\n";

std::string prefixed(const std::string &prefix, const std::string &script)
{
    std::istringstream in(script);
    std::string out;
    for (std::string line; std::getline(in, line);) out += prefix + line + "\n";
    return out;
}

std::string progress(const std::vector<int> &times)
{
    std::string s;
    for (int t : times) s += "print " + status_line(t) + "\n";
    return s;
}

const uint32_t kPos[] = {TARSA_EVENT_CVT_POS, TARSA_EVENT_CUT_POS, TARSA_EVENT_MERGE_POS, TARSA_EVENT_MERGE_POS};
const uint32_t kFail[] = {TARSA_EVENT_CVT_FAIL, TARSA_EVENT_CUT_FAIL, TARSA_EVENT_MERGE_FAIL, TARSA_EVENT_MERGE_FAIL};
int (*const kStart[])(void *) = {tarsa_sdk_start, tarsa_sdk_cut_start, tarsa_sdk_merge_start, tarsa_sdk_merge_start};
int (*const kStop[])(void *) = {tarsa_sdk_stop, tarsa_sdk_cut_stop, tarsa_sdk_merge_stop, tarsa_sdk_merge_stop};
int (*const kDestroy[])(void *) = {tarsa_sdk_destroy, tarsa_sdk_cut_destroy, tarsa_sdk_merge_destroy, tarsa_sdk_merge_destroy};

class JobLoop : public tt::FakeJobTest {
public:
    // Starts a job of kind k whose tool under test plays `body` (a merge's other stage plays kDone).
    void *start(Kind k, const std::string &body)
    {
        kind_ = k;
        events_.clear();
        if (k == kMergeTmp) tools_.script(prefixed("on .ts ", body) + prefixed("on .mp4 ", kDone));
        else if (k == kMergeJoin) tools_.script(prefixed("on .ts ", kDone) + prefixed("on .mp4 ", body));
        else tools_.script(body);
        void *job = k == kConvert ? conversion() : k == kCut ? cut() : merge_of();
        EXPECT_EQ(kStart[k](job), 1);
        return job;
    }
    // Milliseconds a stop (or destroy) took.
    static double timed(int (*call)(void *), void *job)
    {
        const Clock::time_point t0 = Clock::now();
        EXPECT_EQ(call(job), 1);
        return tt::ms_since(t0);
    }
    // The kind's final events have come: success or failure (a conversion ends with 100 either way).
    bool ended(bool failed) const
    {
        if (kind_ == kMergeTmp && failed) return events_.count(TARSA_EVENT_MERGE_SRC_FAIL) == 2;
        return events_.count(kPos[kind_], 100) + (kind_ == kConvert ? 0 : events_.count(kFail[kind_])) > 0;
    }
    // Waits until the tool under test has shown progress.
    bool running_with_progress() const
    {
        // A merge's temporary stage ends at 95; the joining repeats 95 for its first seconds.
        if (kind_ == kMergeJoin) return events_.wait_for(TARSA_EVENT_MERGE_POS, 95, 10000, 2);
        return tt::wait_until([&] { return !tt::positions(events_.all()).empty() && events_.count(kPos[kind_]) > 0; }, 10000);
    }
    // What every run of the kind must report for its outcome.
    void expect_outcome(void *job, bool failed)
    {
        const std::vector<tt::JobEvent> ev = events_.all();
        ASSERT_FALSE(ev.empty());
        EXPECT_EQ(std::count_if(ev.begin(), ev.end(), [&](const tt::JobEvent &e) { return e.job != job; }), 0) << ev;
        const std::vector<uint32_t> pos = tt::positions(ev);
        // A dropped temporary changes the average the merge's position comes from.
        EXPECT_TRUE(failed || std::is_sorted(pos.begin(), pos.end())) << ev;
        if (kind_ == kMergeTmp && failed) {  // every source dropped: nothing to join, no final event
            std::vector<std::string> dropped;
            for (const tt::JobEvent &e : ev)
                if (e.code == TARSA_EVENT_MERGE_SRC_FAIL) dropped.push_back(e.name);
            std::sort(dropped.begin(), dropped.end());
            EXPECT_EQ(dropped, (std::vector<std::string>{dir_.file("a.mp4"), dir_.file("b.mp4")})) << ev;
            EXPECT_EQ(events_.count(kPos[kind_], 100) + events_.count(kFail[kind_]), 0);
            return;
        }
        EXPECT_EQ(events_.count(TARSA_EVENT_MERGE_SRC_FAIL), 0);
        // The final event is 100 or the failure naming the destination; a failed conversion still ends with 100.
        const bool ends_100 = !failed || kind_ == kConvert;
        EXPECT_EQ(events_.count(kPos[kind_], 100), ends_100 ? 1 : 0) << ev;
        ASSERT_EQ(events_.count(kFail[kind_]), failed ? 1 : 0) << ev;
        if (ends_100) { EXPECT_TRUE(ev.back().code == kPos[kind_] && ev.back().p2 == 100) << ev; }
        if (!failed) return;
        const tt::JobEvent &fail = ev[ev.size() - (kind_ == kConvert ? 2 : 1)];
        EXPECT_EQ(fail.code, kFail[kind_]) << ev;
        EXPECT_EQ(fail.name, kind_ == kConvert || kind_ == kCut ? dst_ : merge_dst_);
    }
    // The events a host's stop leaves: a conversion still ends with 100/100,
    // a merge stopped while joining ends as a success, others end silently.
    void expect_stopped()
    {
        const std::vector<tt::JobEvent> ev = events_.all();
        EXPECT_EQ(events_.count(kFail[kind_]) + events_.count(TARSA_EVENT_MERGE_SRC_FAIL), 0) << ev;
        EXPECT_EQ(events_.count(kPos[kind_], 100), kind_ == kConvert || kind_ == kMergeJoin ? 1 : 0) << ev;
    }
    void expect_nothing_left()
    {
        EXPECT_TRUE(tt::wait_until([] { return tt::child_pids().empty(); }, 2000));
        for (const auto &e : std::filesystem::directory_iterator(dir_.path()))  // no merge temporary
            EXPECT_NE(e.path().filename().string().rfind("merge_tmp_file-", 0), 0u) << e.path();
    }

    Kind kind_ = kConvert;
};

TEST_F(JobLoop, EndingsOfARunForEveryKind)
{
    const std::string kMarker = "print Conversion failed!\n";
    struct Case {
        const char *name;
        std::string body;
        const char *failed;  // per kind: conversion, cut, temporary, joining
        bool steps = false;  // a conversion or cut reports each of 2, 5, 8 of 10 seconds
    } cases[] = {
        {"progress, exit 0", "pid\nappend $DST 100\n" + progress({2, 5, 8}) + "exit 0\n", "----", true},
        {"no progress line", "pid\nprint Input #0, flv\nexit 0\n", "FFFF"},
        {"failure marker after progress", "pid\n" + progress({2}) + kMarker + "exit 0\n", "F-F-"},
        {"non-zero exit after progress", "pid\n" + progress({2, 5, 8}) + "exit 3\n", "FFFF"},
        {"killed by a signal after progress", "pid\n" + progress({2, 5}) + "signal 9\n", "FFFF"},
        // Output read in pieces, or not text at all: the lines after it still count.
        {"lines longer than 4096 bytes", "pid\nappend $DST 100\nflood 100000 9000\nbytes " + std::string(5000, 'x') + "\\n" +
         status_line(2) + "\\n" + status_line(5) + "\\n" + status_line(8) + "\\n\nexit 0\n", "----", true},
        {"NUL bytes and invalid UTF-8", "pid\nappend $DST 100\nbytes \\x00\\xff\\xfe\\xc3(\\x00\\x80\\xf0\\x9f\\r\\n\\x00\\n\\xc0\\xaf\\n\n" +
         progress({2, 5, 8}) + "exit 0\n", "----", true},
    };
    for (const Case &c : cases) {
        for (Kind k : {kConvert, kCut, kMergeTmp, kMergeJoin}) {
            SCOPED_TRACE(std::string(c.name) + " / " + kKindNames[k]);
            const bool failed = c.failed[k] == 'F';
            void *job = start(k, c.body);
            ASSERT_TRUE(tt::wait_until([&] { return ended(failed); }, 15000)) << events_.all();
            expect_outcome(job, failed);
            if (c.steps && (k == kConvert || k == kCut)) {
                EXPECT_EQ(tt::positions(events_.all()), (std::vector<uint32_t>{20, 50, 80}));
            }
            const size_t count = events_.all().size();
            EXPECT_EQ(kDestroy[k](job), 1);
            EXPECT_EQ(events_.all().size(), count);  // nothing after the final event
            expect_nothing_left();
        }
    }
}

TEST_F(JobLoop, StopReturnsWithinASecondInEveryPhase)
{
    struct Phase {
        const char *name;
        std::string body;
        bool wait_progress, destroy;
        bool in_final = false;  // the host's callback is busy with the final event while the host stops
    } phases[] = {
        {"silent before the first line", "hang\n", false, false},
        {"silent after progress", "pid\nprint PID = 0\n" + progress({2}) + "hang\n", true, false},
        {"stopped by SIGSTOP", "pid\n" + progress({2}) + "signal 19\n", true, false},
        {"printing without progress", "pid\n" + progress({2}) + "flood 1000000000\n", true, false},
        {"destroyed while silent", "pid\n" + progress({2}) + "hang\n", true, true},
        {"during the final event", "pid\n" + progress({2, 5, 8}) + "exit 0\n", false, false, true},
    };
    std::atomic<bool> hold{false}, held{false};
    events_.on_event([&](const tt::JobEvent &e) -> int32_t {
        if (hold && e.p2 == 100 && e.name.empty()) {
            held = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return 0;
    });
    for (const Phase &p : phases) {
        for (Kind k : {kConvert, kCut, kMergeTmp, kMergeJoin}) {
            SCOPED_TRACE(std::string(p.name) + " / " + kKindNames[k]);
            hold = p.in_final;
            held = false;
            void *job = start(k, p.body);
            if (p.in_final) ASSERT_TRUE(tt::wait_until([&] { return held.load(); }, 15000));
            else if (p.wait_progress) ASSERT_TRUE(running_with_progress()) << events_.all();
            else if (k == kMergeJoin) ASSERT_TRUE(events_.wait_for(TARSA_EVENT_MERGE_POS, 95, 10000));
            else std::this_thread::sleep_for(std::chrono::milliseconds(150));
            // A conversion's tool pid is answered at once from what the job knows, before the tool said
            // anything, and never from its output (a later "PID =" line is the media's text).
            if (k == kConvert && !p.in_final) {
                const Clock::time_point t0 = Clock::now();
                const int tool = tarsa_sdk_get_ffmpeg_pid(job);
                EXPECT_LT(tt::ms_since(t0), 100.0);
                EXPECT_TRUE(tool > 0 && tt::process_running(tool)) << tool;
            }
            EXPECT_LT(timed(p.destroy ? kDestroy[k] : kStop[k], job), 1000.0);
            if (p.in_final) expect_outcome(job, false);  // the run ends as if never stopped
            else expect_stopped();
            if (!p.destroy) {  // a second stop
                if (k == kConvert) { EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(job), -1); }
                const size_t count = events_.all().size();
                EXPECT_LT(timed(kStop[k], job), 1000.0);
                EXPECT_EQ(events_.all().size(), count);
                EXPECT_EQ(kDestroy[k](job), 1);
            }
            expect_nothing_left();
        }
    }
    events_.on_event(nullptr);
}

// Runs to the end, stops, starts again and is destroyed, a few times over for every kind, leaving nothing behind.
TEST_F(JobLoop, LifecycleLoopsLeaveNothingBehind)
{
    std::thread([] {}).join();  // a sanitizer's helper thread appears at the first thread start: not one left behind
    const int threads = tt::thread_count();
    const size_t fds = tt::open_fds().size();
    for (int round = 0; round < 3; round++) {
        for (Kind k : {kConvert, kCut, kMergeTmp}) {
            SCOPED_TRACE(kKindNames[k]);
            void *job = start(k, kDone);
            if (k == kConvert) { EXPECT_EQ(kStart[k](job), 0); }  // already running
            ASSERT_TRUE(tt::wait_until([&] { return ended(false); }, 10000)) << events_.all();
            EXPECT_EQ(kStop[k](job), 1);
            EXPECT_EQ(kStart[k](job), k == kMergeTmp ? 0 : 1);  // a stopped job starts again; a merge gave its sources back
            EXPECT_EQ(kDestroy[k](job), 1);
        }
    }
    EXPECT_TRUE(tt::wait_until([] { return tt::child_pids().empty(); }, 2000));
    EXPECT_TRUE(tt::wait_until([&] { return tt::thread_count() <= threads; }, 2000));
    EXPECT_EQ(tt::open_fds().size(), fds);
}

}  // namespace
