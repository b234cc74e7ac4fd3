#include "media/cmd_fragments.h"

#include <cstdio>
#include <cstring>

#include "media/fmt_table.h"
#include "core/rtkit.h"

namespace {

constexpr int kAacCodecId = 2;
constexpr int kAlawCodecId = 3;
constexpr size_t kAudioCmdSize = 256;

}  // namespace

void append_words(arg_list &args, const std::string &fragment)
{
    size_t at = 0;
    for (;;) {
        at = fragment.find_first_not_of(" \t", at);
        if (at == std::string::npos) return;
        const size_t end = fragment.find_first_of(" \t", at);
        args.push_back(fragment.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) return;
        at = end;
    }
}

void append_all(arg_list &args, const arg_list &more) { args.insert(args.end(), more.begin(), more.end()); }

bool is_nvenc_fragment(const std::string &encoder)
{
    return encoder.size() >= 15 && encoder.compare(10, 5, "nvenc") == 0;
}

int32_t video_quality(const std::string &encoder, int32_t quality)
{
    return is_nvenc_fragment(encoder) ? quality % 10 : quality;
}

dst_codec_info merge_codecs(const dst_codec_info &chosen, bool audio_enable)
{
    dst_codec_info out = chosen;
    if (audio_enable && out.a_codec_id == kAlawCodecId) {
        out.a_codec_id = kAacCodecId;
        out.a_copy = 0;
    }
    return out;
}

arg_list video_encode_args(const job_desc &d)
{
    arg_list args;
    append_words(args, d.hwd.encoder);
    args.push_back("-q:v");
    args.push_back(std::to_string(d.quality));
    return args;
}

arg_list video_copy_args(bool annexb, const std::string &v_fmt)
{
    if (annexb && v_fmt.compare(0, 4, "h264") == 0) return {"-c:v", "copy", "-bsf:v", "h264_mp4toannexb"};
    if (annexb && v_fmt.compare(0, 4, "hevc") == 0) return {"-c:v", "copy", "-bsf:v", "hevc_mp4toannexb"};
    return {"-c:v", "copy"};
}

int cvt_use_audio_cmd(const char *dst_file, int a_codec_id, char *audio_cmd, size_t size)
{
    if (!dst_file || !audio_cmd) {
        LOG_INFO("cvt_use_audio_cmd: !f_fmt || !audio_cmd");
        return 0;
    }
    const char *cmd = get_a_fmt_cmd(a_codec_id);
    if (!cmd[0]) LOG_INFO("cvt_use_audio_cmd: !cmd");
    const char *audio_samp = std::strstr(dst_file, ".sdv") ? "-ar 48000" : "";
    std::snprintf(audio_cmd, size, "%s %s", cmd, audio_samp);
    return 1;
}

arg_list audio_encoder_args(const std::string &dst_file, int a_codec_id)
{
    char audio_cmd[kAudioCmdSize] = {0};
    if (!cvt_use_audio_cmd(dst_file.c_str(), a_codec_id, audio_cmd, sizeof audio_cmd)) return {"copy"};
    arg_list args;
    append_words(args, audio_cmd);
    return args;
}

arg_list job_audio_args(const job_desc &d)
{
    if (!d.audio_enable) return {"-an"};
    arg_list args = {"-c:a"};
    if (d.dst.a_copy != 0) args.push_back("copy");
    else append_all(args, audio_encoder_args(d.dst_file, d.dst.a_codec_id));
    return args;
}

std::string fit_filter(const job_desc &d)
{
    const std::string size = std::to_string(d.fit_width) + ":" + std::to_string(d.fit_height);
    return "scale=" + size + ":force_original_aspect_ratio=decrease,pad=" + size + ":(ow-iw)/2:(oh-ih)/2";
}

arg_list size_args(const job_desc &d)
{
    if (d.width == 0 || d.height == 0) return {};
    return {"-s", std::to_string(static_cast<int>(d.width)) + "*" + std::to_string(static_cast<int>(d.height))};
}
