// Trial decode: whether a hardware decoder can really decode the first key
// frame of a given source, before a command line is made to rely on it.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
}

#include <cstdio>
#include <cstring>

#include "media/hwd.h"
#include "core/rtkit.h"
#include "ff/ff_input_guard.h"

namespace {

// Decode attempts over the whole test, and the pause between them.
constexpr int k_max_try_num = 30;
constexpr int k_try_sleep_ms = 10;
constexpr int k_default_packet_budget = 30;

const char *decoder_suffix(int hwd_decoder)
{
    switch (get_hwd_codec_kind(hwd_decoder)) {
    case HWD_TYPE_NVIDIA: return "_cuvid";
    case HWD_TYPE_INTEL: return "_qsv";
    case HWD_TYPE_VAAPI: return "_vaapi";
    default: return nullptr;
    }
}

const char *codec_part(AVCodecID id)
{
    if (id == AV_CODEC_ID_H264) return "h264";
    if (id == AV_CODEC_ID_HEVC) return "hevc";
    return "";
}

// Everything the test opens; the destructor releases it on every path.
struct trial_state {
    AVFormatContext *fmt_ctx = nullptr;
    bool input_opened = false;
    AVStream *video = nullptr;
    AVStream *audio = nullptr;
    AVCodecContext *codec_ctx = nullptr;
    AVPacket *pkt = nullptr;
    AVDictionary *fmt_opts = nullptr;
    AVDictionary *codec_opts = nullptr;
    input_deadline deadline;

    trial_state() = default;
    trial_state(const trial_state &) = delete;
    trial_state &operator=(const trial_state &) = delete;
    ~trial_state()
    {
        if (video) video->discard = AVDISCARD_ALL;
        if (audio) audio->discard = AVDISCARD_ALL;
        av_packet_free(&pkt);
        avcodec_free_context(&codec_ctx);
        if (input_opened)
            avformat_close_input(&fmt_ctx);
        else
            avformat_free_context(fmt_ctx);
        av_dict_free(&fmt_opts);
        av_dict_free(&codec_opts);
    }
};

// One decode attempt of the key packet: 1 when it yields a picture, 0 when
// not, -1 when no frame could be allocated.
int decode_attempt(AVCodecContext *codec_ctx, const AVPacket *pkt)
{
    AVFrame *frame = av_frame_alloc();
    if (!frame) {
        LOG_INFO("is_use_hwd_decodec: frame == NULL");
        return -1;
    }
    // A decoder with delay may want the packet more than once before the
    // first picture comes out; a refused packet is simply offered again.
    avcodec_send_packet(codec_ctx, pkt);
    int got_picture = avcodec_receive_frame(codec_ctx, frame) == 0 ? 1 : 0;
    av_frame_free(&frame);
    return got_picture;
}

// Opens the hardware decoder for the source's video stream; false after
// logging why not.
bool open_decoder(trial_state &st, int hwd_decoder)
{
    const char *suffix = decoder_suffix(hwd_decoder);
    char name[64];
    std::snprintf(name, sizeof name, "%s%s", codec_part(st.video->codecpar->codec_id), suffix ? suffix : "");
    const AVCodec *codec = suffix ? avcodec_find_decoder_by_name(name) : nullptr;
    if (!codec) {
        LOG_INFO("codec == NULL");
        return false;
    }
    if (codec->id == AV_CODEC_ID_HEVC && std::strcmp(name, "hevc_qsv") == 0)
        av_dict_set(&st.codec_opts, "load_plugin", "hevc_hw", 0);
    st.codec_ctx = avcodec_alloc_context3(codec);
    if (!st.codec_ctx || avcodec_parameters_to_context(st.codec_ctx, st.video->codecpar) < 0 ||
        avcodec_open2(st.codec_ctx, codec, &st.codec_opts) < 0) {
        LOG_INFO("avcodec_open2(codec_ctx, codec, NULL) < 0");
        return false;
    }
    return true;
}

}  // namespace

int get_hwd_trial_packet_budget(int64_t nb_frames)
{
    const int32_t budget = static_cast<int32_t>(nb_frames);
    return budget < 1 ? k_default_packet_budget : budget;
}

int get_hwd_trial_verdict(int try_num, int packet_num, int packet_budget)
{
    return try_num < k_max_try_num && packet_num < packet_budget - 1 ? 1 : 0;
}

int is_use_hwd_decodec(const char *filename, int hwd_decoder)
{
    if (!filename) {
        LOG_INFO("filename == NULL");
        return 0;
    }
    if (!input_can_be_inspected(filename)) {
        LOG_INFO("%s is not a regular file, not read here", filename);
        return 0;
    }
    trial_state st;
    st.fmt_ctx = avformat_alloc_context();
    if (!st.fmt_ctx) {
        LOG_INFO("fmt_ctx == NULL");
        return 0;
    }
    st.deadline.arm(st.fmt_ctx);
    // Two seconds at most for network sources to answer.
    av_dict_set(&st.fmt_opts, "stimeout", "2000000", 0);
    if (avformat_open_input(&st.fmt_ctx, filename, nullptr, &st.fmt_opts) < 0) {
        // The library has freed the context already.
        LOG_INFO("avformat_open_input(fmt_ctx, filename, NULL, NULL) < 0");
        return 0;
    }
    st.input_opened = true;
    if (avformat_find_stream_info(st.fmt_ctx, nullptr) < 0) {
        LOG_INFO("avformat_find_stream_info(fmt_ctx, NULL) < 0");
        return 0;
    }
    for (unsigned i = 0; i < st.fmt_ctx->nb_streams; i++) {
        AVStream *s = st.fmt_ctx->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) st.video = s;
        if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) st.audio = s;
    }
    if (!st.video) {
        LOG_INFO("codec == NULL");
        return 0;
    }
    if (!open_decoder(st, hwd_decoder)) return 0;

    st.pkt = av_packet_alloc();
    if (!st.pkt) {
        LOG_INFO("pkt == NULL");
        return 0;
    }
    const int packet_budget = get_hwd_trial_packet_budget(st.video->nb_frames);
    int packet_num = 0;
    int try_num = 0;
    bool decoded = false;
    for (int n = 0; n < packet_budget && !decoded && try_num < k_max_try_num; n++) {
        if (av_read_frame(st.fmt_ctx, st.pkt) < 0) return 0;
        st.deadline.restart();
        packet_num++;
        // Only plain key packets are tried; packets with further flags are passed over.
        if (st.pkt->stream_index == st.video->index && st.pkt->flags == AV_PKT_FLAG_KEY) {
            for (;;) {
                try_num++;
                int got = decode_attempt(st.codec_ctx, st.pkt);
                if (got < 0) return 0;
                if (got > 0) {
                    decoded = true;
                    break;
                }
                if (try_num >= k_max_try_num) break;
                os_sleep(k_try_sleep_ms);
            }
        }
        av_packet_unref(st.pkt);
    }
    return get_hwd_trial_verdict(try_num, packet_num, packet_budget);
}
