// Where this machine keeps what VA-API needs: a DRM render node and a
// directory of VA drivers.
#ifndef TARSA_FF_HWD_VAAPI_H
#define TARSA_FF_HWD_VAAPI_H

// Fills the VA-API record of the hardware environment table from the
// machine: driver file = the render node (TARSASDK_VAAPI_DEVICE, else the
// first of /dev/dri/renderD128..135), one assignment LIBVA_DRIVERS_PATH=
// the first directory holding a "*_drv_video.so" (from LIBVA_DRIVERS_PATH,
// else the usual library directories). Without either the record is left
// empty, so that VA-API counts as absent. 1 when both were found.
int hwd_vaapi_locate(void);

#endif
