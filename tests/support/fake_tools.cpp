#include "fake_tools.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "tool/runner.h"
#include "core/globals.h"

namespace tt {

#ifdef _WIN32
const std::string kExe = ".exe";
#else
const std::string kExe;
#endif

std::string copy_fake_tool(const std::string &path)
{
    std::error_code ec;
    std::filesystem::copy_file(bin_dir() + "fake_tool" + kExe, path, std::filesystem::copy_options::overwrite_existing,
                               ec);
    return !ec && chmod(path.c_str(), 0755) == 0 ? path : std::string();
}

std::string install_fake_tools(const std::string &dir)
{
    // The runner adds ".exe" on Windows.
    for (const char *name : {"ffmpeg", "ffprobe"}) copy_fake_tool(dir + "/" + name + kExe);
    return dir + "/";
}

FakeTools::FakeTools()
    : script_env_("TARSA_FAKE_SCRIPT", dir_.file("script.txt")),
      probe_env_("TARSA_FAKE_PROBE_SCRIPT", dir_.file("probe.txt"))
{
    script("exit 0\n");
    probe_media();
    set_ff_path(install_fake_tools(dir_.path()).c_str());
}

FakeTools::~FakeTools() { set_ff_path(s_module_path); }

static void replace_file(const std::string &path, const std::string &text)
{
    write_file(path + ".new", text);
    std::error_code ec;  // std::rename would not replace an existing file on Windows
    std::filesystem::rename(path + ".new", path, ec);
}

void FakeTools::script(const std::string &text) { replace_file(dir_.file("script.txt"), text); }
void FakeTools::probe(const std::string &text) { replace_file(dir_.file("probe.txt"), text); }

void FakeTools::probe_media(const std::string &format, const std::string &then)
{
    probe("print Input #0, " + format + ", from 'src':\n"
          "print   Duration: 00:00:10.00, start: 0.000000, bitrate: 300 kb/s\n"
          "print   Stream #0:0: Video: h264 (High), yuv420p(progressive), 320x240, 25 fps\n"
          "print   Stream #0:1: Audio: aac (LC), 48000 Hz, mono, fltp, 64 kb/s\n" +
          then);
}

std::string status_line(int seconds)
{
    char line[160];
    std::snprintf(line, sizeof line,
                  "frame=  %3d fps= 25 q=28.0 size=      12kB time=%02d:%02d:%02d.48 bitrate= 150.0kbits/s speed=1.0x",
                  seconds * 25, seconds / 3600, seconds / 60 % 60, seconds % 60);
    return line;
}

std::vector<std::string> fake_cmd(const std::vector<std::string> &script)
{
    std::vector<std::string> cmd = {bin_dir() + "fake_tool" + kExe, "--run"};
    cmd.insert(cmd.end(), script.begin(), script.end());
    return cmd;
}

std::vector<std::string> read_all(pipe_info *fp, int count)
{
    std::vector<std::string> lines;
    std::vector<char> buf(static_cast<size_t>(count));
    while (pipe_fgets(buf.data(), count, fp)) lines.emplace_back(buf.data());
    return lines;
}

}  // namespace tt
