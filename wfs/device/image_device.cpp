#include "wfs/device/block_device.h"
#include "wfs/device/fd_device.h"

int image_device_open(const char *path, BlockDevice **out) { return fd_device_open(path, false, out); }
