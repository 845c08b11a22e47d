// A read-only block device over an open file descriptor: the shared body of
// the image-file and Linux block-device backends.
#pragma once

#include <cstdint>

#include "wfs/device/block_device.h"

// Opens `path` with O_RDONLY|O_CLOEXEC; the capacity is the file size, or
// the kernel's 64-bit size for a block device. With `want_block_device`
// anything else is refused (ENOTBLK). 0 and *out, or an errno value.
int fd_device_open(const char *path, bool want_block_device, BlockDevice **out);
