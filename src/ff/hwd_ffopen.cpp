// Opening one hardware decoder or encoder through libavcodec as a test of
// whether the machine can use it. Every context and buffer made here is
// released before returning, whatever the outcome.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstring>
#include <memory>

#include "media/hwd.h"
#include "core/rtkit.h"

namespace {

// The test frame size: a common full-HD stream.
constexpr int k_test_width = 1920;
constexpr int k_test_height = 1080;

struct codec_ctx_deleter {
    void operator()(AVCodecContext *ctx) const { avcodec_free_context(&ctx); }
};
struct buffer_ref_deleter {
    void operator()(AVBufferRef *ref) const { av_buffer_unref(&ref); }
};
using codec_ctx_ptr = std::unique_ptr<AVCodecContext, codec_ctx_deleter>;
using buffer_ref_ptr = std::unique_ptr<AVBufferRef, buffer_ref_deleter>;

bool is_vaapi_name(const char *name)
{
    return std::strcmp(name, "h264_vaapi") == 0 || std::strcmp(name, "hevc_vaapi") == 0;
}

// Gives `ctx` a VA-API device and frame pool. The device reference stays
// with the caller, which releases it after the context. The device is the
// render node detection found (the one the tools are given), else
// libavutil's own choice.
bool attach_vaapi(AVCodecContext *ctx, const char *name, buffer_ref_ptr &device)
{
    char node[sizeof s_hwd_env[HWD_TYPE_VAAPI].driver_path + 1];
    str_copy(node, sizeof node, s_hwd_env[HWD_TYPE_VAAPI].driver_path);
    AVBufferRef *dev = nullptr;
    if (av_hwdevice_ctx_create(&dev, AV_HWDEVICE_TYPE_VAAPI, node[0] ? node : nullptr, nullptr, 0) < 0) {
        LOG_INFO("msg encoder av_hwdevice_ctx_create err code_name:%s", name);
        return false;
    }
    device.reset(dev);
    if (set_hwframe_ctx(ctx, device.get(), k_test_width, k_test_height) < 0) {
        LOG_INFO("Failed to set hwframe contex code_name:%s", name);
        return false;
    }
    return true;
}

bool is_qsv_name(const char *name)
{
    return std::strcmp(name, "h264_qsv") == 0 || std::strcmp(name, "hevc_qsv") == 0;
}

// libavcodec's Quick Sync decoders open without touching the hardware (their
// session is made with the first packet), so opening one proves nothing.
// Making the Quick Sync device first does reach the driver.
bool attach_qsv(AVCodecContext *ctx, const char *name)
{
    AVBufferRef *dev = nullptr;
    if (av_hwdevice_ctx_create(&dev, AV_HWDEVICE_TYPE_QSV, nullptr, nullptr, 0) < 0) {
        LOG_INFO("msg decoder av_hwdevice_ctx_create err code_name:%s", name);
        return false;
    }
    ctx->hw_device_ctx = dev;  // the context releases it
    return true;
}

}  // namespace

int set_hwframe_ctx(AVCodecContext *codec_ctx, AVBufferRef *hw_device_ctx, int width, int height)
{
    buffer_ref_ptr frames(av_hwframe_ctx_alloc(hw_device_ctx));
    if (!frames) {
        LOG_INFO("Failed to create VAAPI frame context");
        return -1;
    }
    auto *frames_ctx = reinterpret_cast<AVHWFramesContext *>(frames->data);
    frames_ctx->format = AV_PIX_FMT_VAAPI;
    frames_ctx->sw_format = AV_PIX_FMT_NV12;
    frames_ctx->width = width;
    frames_ctx->height = height;
    frames_ctx->initial_pool_size = 20;
    int err = av_hwframe_ctx_init(frames.get());
    if (err < 0) {
        LOG_INFO("Failed to initialize VAAPI frame context Error err:%d", err);
        return err;
    }
    codec_ctx->hw_frames_ctx = av_buffer_ref(frames.get());
    return codec_ctx->hw_frames_ctx ? 0 : -1;
}

int try_ff_open_decoder_hwd(const char *name)
{
    if (!name) return 0;
    const AVCodec *codec = avcodec_find_decoder_by_name(name);
    if (!codec) {
        LOG_INFO("msg not avcodec_find_decoder_by_name:%s", name);
        return 0;
    }
    // Declared before the context: the context lets go of the device first.
    buffer_ref_ptr device;
    codec_ctx_ptr ctx(avcodec_alloc_context3(codec));
    if (!ctx) {
        LOG_INFO("msg decoder not avcodec_alloc_context3:%s", name);
        return 0;
    }
    if (is_vaapi_name(name) && !attach_vaapi(ctx.get(), name, device)) return 0;
    if (is_qsv_name(name) && !attach_qsv(ctx.get(), name)) return 0;
    if (avcodec_open2(ctx.get(), codec, nullptr) != 0) {
        LOG_INFO("msg decoder not avcodec_open2:%s", name);
        return 0;
    }
    return 1;
}

int try_ff_open_encoder_hwd(const char *name)
{
    if (!name) return 0;
    const AVCodec *codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        LOG_INFO("msg encoder not avcodec_find_decoder_by_name:%s", name);
        return 0;
    }
    buffer_ref_ptr device;
    codec_ctx_ptr ctx(avcodec_alloc_context3(codec));
    if (!ctx) {
        LOG_INFO("msg encoder not avcodec_alloc_context3:%s", name);
        return 0;
    }
    ctx->time_base = AVRational{1, 25};
    if (codec->pix_fmts) ctx->pix_fmt = codec->pix_fmts[0];
    ctx->width = k_test_width;
    ctx->height = k_test_height;
    if (std::strcmp(name, "hevc_qsv") == 0) {
        // The numeric form of the "hevc_hw" plug-in choice.
        char plugin[16];
        std::snprintf(plugin, sizeof plugin, "%d", 2);
        av_opt_set(ctx->priv_data, "load_plugin", plugin, 0);
    } else if (is_vaapi_name(name) && !attach_vaapi(ctx.get(), name, device)) {
        return 0;
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) != 0) {
        LOG_INFO("msg encoder not avcodec_open2 code_name:%s", name);
        return 0;
    }
    return 1;
}
