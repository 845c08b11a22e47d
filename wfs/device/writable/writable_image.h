// The writable image backend. Recorder disks are only ever read; the one
// program that writes is the image-making tool, which creates a sparse image
// file, opens it here and attaches it as a recorder disk explicitly. The
// drive scan never opens a device through this backend, and neither the
// player nor orvelle-cli link it.
#pragma once

#include <cstdint>

#include "wfs/device/block_device.h"

// Creates (or truncates) `path` as a sparse file of `sectors` 512-byte
// sectors and opens it for reading and writing. 0 and *out set, or an errno
// value.
int writable_image_create(const char *path, uint64_t sectors, BlockDevice **out);

// Opens an existing image for reading and writing; its capacity is the file
// size in whole sectors. 0 and *out set, or an errno value.
int writable_image_open(const char *path, BlockDevice **out);

// Makes the image's data reach the file system (fsync). 0 or an errno value.
int writable_image_sync(BlockDevice *dev);

// Attaches an open writable image as the next recorder disk, with its WFS
// volume at `base_lba` (the recorder-disk table takes ownership). Returns
// the disk number or -1.
int attach_writable_image(BlockDevice *dev, const char *path, uint32_t base_lba);
