#include "media/query_cmd.h"

std::vector<std::string> get_probe_cmd(const std::string &ffprobe_path, const std::string &filename)
{
    return {ffprobe_path, "-i", filename};
}

std::vector<std::string> get_version_cmd(const std::string &module_dir)
{
    return {module_dir + "ffmpeg", "-version"};
}
