// The host program `tarsa` as a user runs it: exit status, messages, files left, JSON, stop signals.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <atomic>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#include "processes.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using json_object = std::map<std::string, std::string>;

std::string tarsa() { return tt::bin_dir() + "tarsa"; }

// One flat JSON object per line: key -> value (strings unquoted and unescaped, anything else as
// written, arrays whole); false unless the line is exactly {"key":value,...}.
bool parse_object(const std::string &line, json_object *out)
{
    static const std::regex pair(R"re("([^"\\]*)":("(?:[^"\\]|\\.)*"|\[[^\]]*\]|[^,"{}\[\]]+))re");
    std::string rebuilt;
    for (std::sregex_iterator it(line.begin(), line.end(), pair), end; it != end; ++it) {
        rebuilt += (rebuilt.empty() ? "{" : ",") + it->str();
        const std::string value = (*it)[2];
        (*out)[(*it)[1]] = value[0] != '"' ? value
                                           : std::regex_replace(value.substr(1, value.size() - 2),
                                                                std::regex(R"(\\(.))"), "$1");
    }
    return !rebuilt.empty() && rebuilt + "}" == line;
}

std::string container_of(const std::string &path)
{
    probe_result r = {};
    return tarsa_sdk_probe_ex(path.c_str(), &r) ? r.f_fmt : "(not media)";
}

std::set<std::string> names_in(const std::string &dir)
{
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// Processes started for the host with this pid (the library marks its tools).
int tools_of(pid_t host)
{
    int n = 0;
    const std::string mark = "TARSASDK_HOST=" + std::to_string(host) + ":";
    for (const auto &e : fs::directory_iterator("/proc"))
        n += tt::read_file(e.path().string() + "/environ").find(mark) != std::string::npos;
    return n;
}

struct Row {
    std::vector<std::string> args;
    int exit_code;
    std::string says;       // in the output, when not empty
    std::string made;       // a file the run leaves, when not empty
    std::string container;  // what `made` probes as
};

class HostProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new tt::TempDir;
        logs_ = new tt::TempDir;
        ASSERT_TRUE(tt::make_h264_aac(file("a.mp4"), 3) && tt::make_h264_aac(file("b.mp4"), 2));
        ASSERT_TRUE(tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=duration=1", file("tone.mp3")}));
        ASSERT_TRUE(tt::write_file(file("notes.txt"), "not media\n"));
        ASSERT_EQ(symlink("a.mp4", file("link.mp4").c_str()), 0);
        tt::sdk_startup();
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        delete logs_;
    }
    static std::string file(const std::string &name) { return dir_->file(name); }
    // The program keeps its own log (in TMPDIR) when TARSASDK_LOG is empty; a loaded machine
    // may take longer than the default probe deadline.
    static std::vector<std::string> env()
    {
        return {"TARSASDK_LOG=", "TMPDIR=" + logs_->path(), "TARSASDK_PROBE_TIMEOUT=120"};
    }
    static tt::Finished run(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = {tarsa()};
        argv.insert(argv.end(), args.begin(), args.end());
        return tt::run(argv, env(), dir_->path());
    }
    static tt::TempDir *dir_, *logs_;
};
tt::TempDir *HostProgram::dir_ = nullptr, *HostProgram::logs_ = nullptr;

// The rows run side by side (two at a time); nothing but the files the rows
// made is left in the folder, and an existing file is never lost.
TEST_F(HostProgram, RunsAndRefusals)
{
    const std::string old_bytes = "an older file the user keeps\n";
    ASSERT_TRUE(tt::write_file(file("old.mp4"), old_bytes));
    const std::string same = "both a source and the destination", refused = "supported destinations are";
    const std::vector<Row> rows = {
        // Never lose data: the source as destination, by any name (checked before "exists"); an existing destination.
        {{"convert", "a.mp4", "link.mp4"}, 1, same, "", ""},
        {{"merge", "-y", "b.mp4", "a.mp4", "./b.mp4"}, 1, same, "", ""},
        {{"convert", "a.mp4", "old.mp4"}, 1, "-y", "", ""},
        {{"convert", "-n", "a.mp4", "old.mp4"}, 1, "exists", "", ""},
        // What the library cannot make is refused before anything starts.
        {{"convert", "a.mp4", "t.m4a"}, 1, refused, "", ""},
        {{"cut", "--length", "1", "a.mp4", "t.webm"}, 1, refused, "", ""},
        // Each reason its own message; a failed job names the tool's error and keeps the run's log.
        {{"convert", "missing.mp4", "r.mp4"}, 1, "does not exist", "", ""},
        {{"convert", "notes.txt", "r.mp4"}, 1, "not a media file", "", ""},
        {{"convert", "a.mp4", "nowhere/r.mp4"}, 1, "folder", "", ""},
        {{"convert", "--size", "641x360", "a.mp4", "r.mp4"}, 2, "even", "", ""},
        {{"convert", "--size", "640", "a.mp4", "r.mp4"}, 2, "both", "", ""},
        {{"convert", "--size", "8x8", "a.mp4", "r.mp4"}, 2, "16 to 8192", "", ""},
        {{"convert", "--type", "sdv", "a.mp4", "f.mp4"}, 1, "tool: " + file("f.mp4"), "", ""},
        {{"convert", "--bogus", "a.mp4", "r.mp4"}, 2, "unknown option", "", ""},
        {{"convert", "a.mp4"}, 2, "usage", "", ""},
        // Help and version on standard output, status 0.
        {{"--version"}, 0, "tarsa ", "", ""},
        {{"help", "cut"}, 0, "--length", "", ""},
        {{"merge", "--help"}, 0, "--strict", "", ""},
        {{"frobnicate"}, 2, "help", "", ""},
        // The destination's extension picks the type; --type takes names.
        {{"convert", "a.mp4", "t.flv"}, 0, "", "t.flv", "flv"},
        {{"convert", "a.mp4", "t.avi"}, 0, "", "t.avi", "avi"},
        {{"convert", "a.mp4", "t.mkv"}, 0, "", "t.mkv", "matroska"},
        {{"convert", "a.mp4", "t.ts"}, 0, "", "t.ts", "mpegts"},
        {{"convert", "a.mp4", "t.264"}, 0, "", "t.264", "h264"},
        {{"convert", "--quiet", "a.mp4", "t.m4v"}, 0, "", "t.m4v", "mov"},
        {{"convert", "--type", "flv", "a.mp4", "t2.mp4"}, 0, "", "t2.mp4", "flv"},
        {{"merge", "m.mov", "a.mp4", "b.mp4"}, 0, "", "m.mov", "mov"},
        // A source without pictures would vanish from the result: it is named as dropped.
        {{"merge", "d.mp4", "a.mp4", "tone.mp3", "b.mp4"}, 0, "dropped " + file("tone.mp3"), "d.mp4", "mov"},
        {{"merge", "--strict", "s.mp4", "a.mp4", "tone.mp3"}, 1, "--strict", "", ""},
        // Cut: the time forms, rounding, a start past the end.
        {{"cut", "--start", "1", "--length", "1", "a.mp4", "c1.mp4"}, 0, "", "c1.mp4", "mov"},
        {{"cut", "--start", "00:00:01.4", "--length", "0:01", "a.mp4", "c2.mp4"}, 0, "rounded", "c2.mp4", "mov"},
        {{"cut", "--copy", "--start=1.000", "--length", "1.6", "a.mp4", "c3.flv"}, 0, "rounded", "c3.flv", "flv"},
        {{"cut", "--start", "1:75", "--length", "1", "a.mp4", "c4.mp4"}, 2, "HH:MM:SS", "", ""},
        {{"cut", "a.mp4", "c4.mp4"}, 2, "--length", "", ""},
        {{"cut", "--start", "0:10", "--length", "1", "a.mp4", "c4.mp4"}, 1, "past the end", "", ""},
    };
    std::set<std::string> left = names_in(dir_->path());
    std::vector<tt::Finished> results(rows.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 2; w++)
        workers.emplace_back([&] {
            for (size_t i; (i = next++) < rows.size();) results[i] = run(rows[i].args);
        });
    for (std::thread &t : workers) t.join();
    for (size_t i = 0; i < rows.size(); i++) {
        const Row &row = rows[i];
        SCOPED_TRACE("tarsa " + testing::PrintToString(row.args));
        EXPECT_EQ(results[i].exit_code, row.exit_code) << results[i].output;
        EXPECT_NE(results[i].output.find(row.says), std::string::npos) << results[i].output;
        if (!row.made.empty()) { EXPECT_EQ(container_of(file(row.made)), row.container); }
        if (!row.made.empty()) left.insert(row.made);
    }
    EXPECT_EQ(names_in(dir_->path()), left);  // no refused destination, no work file
    EXPECT_EQ(tt::read_file(file("old.mp4")), old_bytes);
    EXPECT_EQ(container_of(file("b.mp4")), "mov");
    EXPECT_TRUE(fs::is_symlink(file("link.mp4")));
    // Only the failed jobs' logs stay; the other runs removed theirs.
    EXPECT_EQ(names_in(logs_->path()).size(), 2u);
    for (const std::string &name : names_in(logs_->path())) std::remove((logs_->path() + "/" + name).c_str());
    // -y replaces an existing destination with the result.
    const tt::Finished quiet = run({"convert", "-y", "--quiet", "a.mp4", "old.mp4"});
    ASSERT_EQ(quiet.exit_code, 0);
    EXPECT_EQ(quiet.output, "");
    EXPECT_EQ(container_of(file("old.mp4")), "mov");
    EXPECT_TRUE(names_in(logs_->path()).empty());
}

// Hosts merging into one folder at the same time keep their temporaries apart:
// each result holds its own sources (a.mp4 lasts 3 s, b.mp4 2 s).
TEST_F(HostProgram, ConcurrentMergesInOneFolderKeepTheirOwnSources)
{
    const std::vector<std::string> sources = {"a.mp4", "b.mp4", "a.mp4"};
    std::vector<tt::Finished> results(sources.size());
    std::vector<std::thread> hosts;
    for (size_t i = 0; i < sources.size(); i++)
        hosts.emplace_back([&, i] {
            const std::string dst = "twice" + std::to_string(i) + ".mp4";
            results[i] = run({"merge", "-y", "--size", "640x480", dst, sources[i], sources[i]});
        });
    for (std::thread &t : hosts) t.join();
    for (size_t i = 0; i < sources.size(); i++) {
        probe_result r = {};
        EXPECT_EQ(results[i].exit_code, 0) << results[i].output;
        EXPECT_EQ(tarsa_sdk_probe_ex(file("twice" + std::to_string(i) + ".mp4").c_str(), &r), 1);
        EXPECT_EQ(r.duration, sources[i] == "a.mp4" ? 6 : 4) << i;
    }
    for (const std::string &name : names_in(dir_->path())) EXPECT_NE(name.rfind("merge_tmp_file-", 0), 0u) << name;
}

// On a terminal the progress is one line redrawn in place that fits the terminal's width:
// percent, a bar when there is room, elapsed time, ETA and speed.
TEST_F(HostProgram, ProgressBarFitsTheTerminal)
{
    for (const unsigned short columns : {60, 24}) {
        SCOPED_TRACE(columns);
        int master = -1, slave = -1;
        const winsize size = {20, columns, 0, 0};
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
        tt::Spawned p({tarsa(), "convert", "-y", "--size", "640x480", "a.mp4", "bar.avi"}, env(), dir_->path(), slave);
        close(slave);
        std::string out;
        char buf[4096];
        for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
        close(master);
        EXPECT_EQ(p.wait(30000), 0) << out;
        std::vector<std::string> frames;
        for (size_t at = 0; (at = out.find('\r', at)) != std::string::npos; at++)  // the terminal sends "\r\n" for "\n"
            if (out[at + 1] != '\n') frames.push_back(out.substr(at + 1, out.find_first_of("\r\n", at + 1) - at - 1));
        ASSERT_FALSE(frames.empty()) << out;
        for (const std::string &frame : frames) EXPECT_EQ(frame.size(), columns - 1u) << frame;
        EXPECT_EQ(frames.back().find("100%"), 0u) << frames.back();
        EXPECT_NE(frames.back().find(" ETA 0:00"), std::string::npos) << frames.back();
        EXPECT_EQ(frames.back().find("[#"), columns > 40 ? 5u : std::string::npos) << frames.back();
    }
}

TEST_F(HostProgram, JsonOutputsParse)
{
    tt::Finished r = run({"probe", "--json", "a.mp4", "notes.txt"});
    EXPECT_EQ(r.exit_code, 1);
    std::vector<json_object> objects;
    for (const std::string &line : tt::split_lines(r.output))
        if (json_object o; parse_object(line, &o)) objects.push_back(o);
    ASSERT_EQ(objects.size(), 2u) << r.output;
    const json_object fields = {{"file", file("a.mp4")}, {"container", "mov"}, {"video", "h264 (High)"},
                                {"audio", "aac"}, {"width", "320"}, {"height", "240"}, {"duration", "3"}};
    for (const auto &f : fields) EXPECT_EQ(objects[0][f.first], f.second) << f.first;
    EXPECT_NE(objects[0]["video_stream"].find("Video: h264"), std::string::npos);
    EXPECT_NE(objects[0]["audio_stream"].find("Audio: aac"), std::string::npos);
    EXPECT_EQ(objects[1]["file"], file("notes.txt"));
    EXPECT_EQ(objects[1].count("error"), 1u);

    r = run({"convert", "--json", "a.mp4", "j.flv"});
    ASSERT_EQ(r.exit_code, 0) << r.output;
    int last_percent = -1;
    json_object last;
    for (const std::string &line : tt::split_lines(r.output)) {
        ASSERT_TRUE(parse_object(line, &last)) << "not a JSON object: " << line;
        if (last["event"] != "progress") continue;
        EXPECT_GE(std::stoi(last["percent"]), last_percent);
        last_percent = std::stoi(last["percent"]);
    }
    EXPECT_EQ(last_percent, 100);
    EXPECT_EQ(last["event"] + last["destination"] + "|" + last["type"], "done" + file("j.flv") + "|6");

    r = run({"hw", "--json"});
    json_object hw;
    ASSERT_TRUE(r.exit_code == 0 && parse_object(tt::split_lines(r.output).back(), &hw)) << r.output;
    EXPECT_TRUE(hw["found"] == "true" || hw["found"] == "false");
    EXPECT_EQ(hw["devices"].front(), '[');
}

// A stop signal stops the job through the library; nothing of the run stays and an existing
// destination keeps its bytes. A host killed outright (converting or merging) leaves no tool
// running a second later.
TEST_F(HostProgram, StopSignalsLeaveNoPartialFileAndKillLeavesNoTool)
{
    ASSERT_TRUE(tt::make_h264_aac(file("long.mp4"), 20));  // long enough to be stopped while it runs
    using Job = std::vector<std::string>;
    const Job convert = {"convert", "-y", "--size", "1280x720", "long.mp4", "stopped.avi"},
              merge = {"merge", "-y", "--size", "1280x720", "stopped.avi", "long.mp4", "long.mp4"};
    const struct { int sig, exit_code; bool existing; Job job; } cases[] = {
        {SIGINT, 130, false, convert}, {SIGTERM, 143, true, convert}, {SIGHUP, 129, false, convert},
        {SIGKILL, 128 + SIGKILL, false, convert}, {SIGKILL, 128 + SIGKILL, false, merge}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sig);
        const std::string dst = file("stopped.avi");
        std::remove(dst.c_str());
        if (c.existing) { ASSERT_TRUE(tt::write_file(dst, "keep me\n")); }
        const std::set<std::string> before = names_in(dir_->path());
        Job argv = {tarsa()};
        argv.insert(argv.end(), c.job.begin(), c.job.end());
        tt::Spawned p(argv, env(), dir_->path());
        std::string line;
        while (p.read_line(line, 30000) && line.rfind("progress", 0) != 0) {
        }
        ASSERT_EQ(line.rfind("progress", 0), 0u) << line;  // the job runs
        ASSERT_TRUE(tt::wait_until([&] { return tools_of(p.pid()) > 0; }, 5000));
        ASSERT_EQ(kill(p.pid(), c.sig), 0);
        EXPECT_EQ(p.wait(30000), c.exit_code);
        if (c.sig == SIGKILL) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        EXPECT_EQ(tools_of(p.pid()), 0);
        if (c.sig == SIGKILL) continue;  // nobody is left to clean up
        EXPECT_EQ(tt::file_exists(dst), c.existing);
        if (c.existing) { EXPECT_EQ(tt::read_file(dst), "keep me\n"); }
        EXPECT_EQ(names_in(dir_->path()), before);
        EXPECT_TRUE(names_in(logs_->path()).empty());  // a stop is not a failure
    }
}

}  // namespace
