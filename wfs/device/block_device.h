// The block-device interface: one operations table per backend, a plain
// record per open device. Backends in this library (image file, split raw
// image, Expert Witness Format image set, Linux block device, in-memory,
// fault-injecting) are read-only: they open their source
// O_RDONLY|O_CLOEXEC and have no write operation. Only the writable image
// backend of the image-making tool (wfs/device/writable, a separate library)
// fills in `write`.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "wfs/device/sector.h"

struct BlockDevice;
struct DiskSourceInfo;

struct BlockDeviceOps {
    const char *name;  // "image", "blockdev", "memory", "fault" ...
    // Reads `count` whole sectors starting at physical sector `sector`.
    // 0 on success, -1 on any failure, a short read included.
    int (*read)(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf);
    // Writes `count` sectors; null for every read-only backend (the write
    // entry of the recorder-disk layer then discards the data).
    int (*write)(BlockDevice *dev, uint64_t sector, uint32_t count, const void *buf);
    // Size in 512-byte sectors (whole sectors only).
    uint64_t (*capacity)(BlockDevice *dev);
    // Releases the backend's state and the record itself.
    void (*close)(BlockDevice *dev);
    // Fills what the backend knows about its source (kind, image files and
    // their sizes, a block device's model and serial); null for test backends.
    void (*describe)(BlockDevice *dev, DiskSourceInfo *out);
};

struct BlockDevice {
    const BlockDeviceOps *ops;
    void *priv;                             // backend state
    std::atomic<uint64_t> read_calls{0};    // reads that reached the backend
    std::atomic<uint64_t> sectors_read{0};  // sectors those reads asked for
};

// Dispatch helpers. blockdev_read counts the call and returns 0 or -1;
// blockdev_write returns -1 on a read-only device. blockdev_close accepts null.
int blockdev_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf);
int blockdev_write(BlockDevice *dev, uint64_t sector, uint32_t count, const void *buf);
uint64_t blockdev_capacity(BlockDevice *dev);
void blockdev_close(BlockDevice *dev);

// Opens an image file (a whole disk with an MBR, or a bare WFS volume)
// read-only. 0 and *out set, or an errno value (ENOENT, EACCES ...).
int image_device_open(const char *path, BlockDevice **out);

// Opens a Linux block device (e.g. "/dev/sdb") read-only; its capacity comes
// from the kernel's 64-bit size query. 0 and *out set, or an errno value.
int linux_block_device_open(const char *path, BlockDevice **out);
