// An in-memory block device for tests. Sparse: only sectors that were put
// hold storage, every other sector inside the capacity reads as zeros.
// Reads past the capacity fail (-1).
#pragma once

#include "wfs/device/block_device.h"

BlockDevice *memory_device_create(uint64_t capacity_sectors);

// Fills sectors (setting up the device's content, not the write entry:
// the device itself stays read-only). Bytes beyond the capacity are refused
// with -1; `len` need not be a multiple of 512 (the rest of the last sector
// keeps what it held).
int memory_device_put(BlockDevice *dev, uint64_t byte_offset, const void *data, size_t len);

// Number of sectors that hold storage.
size_t memory_device_stored_sectors(BlockDevice *dev);
