// Hardware acceleration: detection of usable hardware codecs, and the
// choice of hardware decoder/encoder and command fragments for a job.
#ifndef TARSA_CVT_HWD_H
#define TARSA_CVT_HWD_H

#include <cstdint>

#include "tarsasdk.h"

struct dst_codec_info;
struct AVCodecContext;
struct AVBufferRef;

// ---- detection
struct hwd_env {
    int32_t is_check_driver;
    int32_t driver_type;
    char driver_path[260];
    int32_t env_num;
    char env[3][260];
};

extern hwd_dev_info s_hwd_dev_info;
extern int32_t is_chech_hwd;
extern hwd_env s_hwd_env[4];

int register_hwd(void);
int find_usr_hwd(hwd_dev_info *dev_info);
int set_hwd_env(int hwd_type);
int find_driver_exist(int hwd_type);
int try_open_hwd(int hwd_type, hwd_dev *dev);
int try_ff_open_hwd_nvcuda(hwd_dev *dev);
int try_ff_open_hwd_intel(hwd_dev *dev);
int try_ff_open_hwd_vaapi(hwd_dev *dev);
int try_ff_open_decoder_hwd(const char *name);
int try_ff_open_encoder_hwd(const char *name);
// Gives a test codec context a VA-API frame pool on the device: 0 or more
// on success, negative on failure.
int set_hwframe_ctx(AVCodecContext *codec_ctx, AVBufferRef *hw_device_ctx, int width, int height);

// ---- selection
enum hwd_codec {
    HWD_CODEC_H264_QSV = 0,
    HWD_CODEC_HEVC_QSV = 1,
    HWD_CODEC_H264_NV = 2,
    HWD_CODEC_HEVC_NV = 3,
    HWD_CODEC_H264_VAAPI = 4,
    HWD_CODEC_HEVC_VAAPI = 5
};

struct hwd_info {
    int32_t is_use_hw;
    int32_t hwd_decoder;
    int32_t hwd_encoder;
};

int get_cvt_hwd_type(uint32_t usage_mode, const dst_codec_info *info, const probe_result *result,
                     int32_t hwd_type, hwd_info *hwd);
int is_use_hwd_decodec(const char *filename, int hwd_decoder);
int get_hwd_cmd(hwd_info *hwd, const dst_codec_info *info, char *hwd_pre_cmd, char *hwd_decoder_cmd,
                char *hwd_encoder_cmd);

// Size the fragment buffers of get_hwd_cmd must have at least.
#define HWD_CMD_SIZE 256

// Hardware codec code of a kind for H.264 or HEVC; -1 for other kinds.
int get_hwd_codec_code(int hwd_type, bool is_hevc);
// Kind of a hardware codec code; -1 for no code.
int get_hwd_codec_kind(int hwd_codec);

// Trial decode rules: the packet budget from the stream's frame count (30
// when the count is below 1), and the verdict after the packet loop.
int get_hwd_trial_packet_budget(int64_t nb_frames);
int get_hwd_trial_verdict(int try_num, int packet_num, int packet_budget);

#endif
