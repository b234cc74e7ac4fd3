// Facts about a source that the probe tool's text does not give: the length
// of a raw H.264 stream and the NAL framing of the first video stream. Read
// directly through libavformat; nothing but a null name is logged, every
// failure simply yields 0.
#include "ff/ff_func.h"

#include <cstring>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

#include "core/rtkit.h"
#include "ff/ff_input_guard.h"

namespace {

// "avc1" read as a little-endian 32-bit codec tag.
constexpr uint32_t kTagAvc1 = 0x31637661;

// An opened input; closing it also frees the context. Its open and reads
// end when the source stalls.
struct input_file {
    AVFormatContext *ctx = nullptr;
    input_deadline deadline;
    input_file() = default;
    input_file(const input_file &) = delete;
    input_file &operator=(const input_file &) = delete;
    ~input_file()
    {
        if (ctx) avformat_close_input(&ctx);
    }
};

struct packet_free {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using packet_ptr = std::unique_ptr<AVPacket, packet_free>;

// Allocate, open with no forced format and no options, read the stream
// information. False when any step fails (the holder frees what is left).
bool open_input(input_file &in, const char *src_file)
{
    if (!input_can_be_inspected(src_file)) return false;
    in.ctx = avformat_alloc_context();
    if (!in.ctx) return false;
    in.deadline.arm(in.ctx);
    // A failed open frees the context and clears the pointer itself.
    if (avformat_open_input(&in.ctx, src_file, nullptr, nullptr) < 0) return false;
    return avformat_find_stream_info(in.ctx, nullptr) >= 0;
}

int first_video_stream(const AVFormatContext *ctx)
{
    for (unsigned i = 0; i < ctx->nb_streams; i++)
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) return static_cast<int>(i);
    return -1;
}

// True when the input has reached its end with the last read.
bool input_at_end(const AVFormatContext *ctx) { return ctx->pb && avio_feof(ctx->pb); }

}  // namespace

double h264_duration_of(int64_t packets, int fps_num, int fps_den)
{
    int fps = fps_den != 0 ? fps_num / fps_den : 0;
    if (fps == 0) return 0;
    return static_cast<double>(packets / fps);
}

double get_h264_duration(const char *src_file)
{
    if (!src_file) {
        LOG_INFO("src_file == NULL");
        return 0;
    }
    input_file in;
    if (!open_input(in, src_file)) return 0;
    if (std::strcmp(in.ctx->iformat->name, "h264") != 0) return 0;
    int video = first_video_stream(in.ctx);
    if (video < 0) return 0;
    packet_ptr pkt(av_packet_alloc());
    if (!pkt) return 0;

    // Counted one by one and released at once, so memory stays flat however
    // long the stream is. Every packet counts, those that the stream
    // information already read included (the file's end may have been
    // reached while opening), except the last one, whose read ends the input.
    int64_t packets = 0;
    while (av_read_frame(in.ctx, pkt.get()) >= 0) {
        if (pkt->stream_index == video) packets++;
        av_packet_unref(pkt.get());
        in.deadline.restart();
    }
    if (packets > 0) packets--;
    AVRational rate = in.ctx->streams[video]->r_frame_rate;
    return h264_duration_of(packets, rate.num, rate.den);
}

int h2645_packet_is_length_prefixed(const uint8_t *data, int size)
{
    if (!data || size <= 4) return 0;
    uint32_t tmp = static_cast<uint32_t>(data[0]) << 24 | static_cast<uint32_t>(data[1]) << 16 |
                   static_cast<uint32_t>(data[2]) << 8 | data[3];
    uint32_t tmp_1 = tmp >> 8;
    if (tmp_1 != 1 && tmp != 1) return 1;
    // A start-code look-alike that is the length of the packet's only NAL unit.
    return tmp == static_cast<uint32_t>(size - 4) ? 1 : 0;
}

int is_h2645_mp4toannexb(const char *src_file)
{
    if (!src_file) {
        LOG_INFO("src_file == NULL");
        return 0;
    }
    input_file in;
    if (!open_input(in, src_file)) return 0;
    int video = first_video_stream(in.ctx);
    if (video < 0) return 0;
    const AVCodecParameters *par = in.ctx->streams[video]->codecpar;
    // MP4's avc1 sample entry always carries length-prefixed NAL units.
    if (par->codec_id == AV_CODEC_ID_H264 && par->codec_tag == kTagAvc1) return 1;

    packet_ptr pkt(av_packet_alloc());
    if (!pkt) return 0;
    for (;;) {
        av_packet_unref(pkt.get());
        if (av_read_frame(in.ctx, pkt.get()) < 0) return 0;
        if (input_at_end(in.ctx)) return 0;
        in.deadline.restart();
        if (pkt->stream_index == video && pkt->flags == AV_PKT_FLAG_KEY && pkt->data && pkt->size > 4)
            return h2645_packet_is_length_prefixed(pkt->data, pkt->size);
    }
}
