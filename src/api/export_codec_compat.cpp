// Exports: which codecs a destination file type accepts.
#include "media/codec_compat.h"
#include "tarsasdk.h"

extern "C" TARSA_API int tarsa_sdk_get_vcodec_id_compatible(int32_t dst_file_type, int32_t v_codec_id)
{
    try {
        return find_v_codec_compat(dst_file_type, v_codec_id) != -1 ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" TARSA_API int tarsa_sdk_get_acodec_id_compatible(int32_t dst_file_type, int32_t a_codec_id)
{
    try {
        return find_a_codec_compat(dst_file_type, a_codec_id) != -1 ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
