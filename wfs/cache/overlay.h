// Per-disk overlay of written blocks. Recorder disks are never written: the
// device entry discards every write. So that what the volume layer writes
// through the cache (repairs, header changes) stays what it reads back, the
// cache's write path stores each written block here, and every read (bread
// and bread_multi) takes blocks found here instead of the device's. Bulk
// writes through bwrite_multi (the format path's area clearing) are not
// kept. Keys are device sectors (block number + the disk's sector offset).
//
// Memory is bounded: at most OVERLAY_MAX_BLOCKS per disk; a store beyond
// that is refused with a warning.
#pragma once

#include <cstddef>
#include <cstdint>

#define OVERLAY_MAX_BLOCKS 65536

// Stores a copy of one 512-byte block. 0, or -1 when the disk's overlay is
// full.
int overlay_store(uint32_t dev, uint64_t sector, const uint8_t *data);
// Copies the block into `out` when it is held; true then.
bool overlay_lookup(uint32_t dev, uint64_t sector, uint8_t *out);
// Lays every held block of [sector, sector + count) over `buffer`.
void overlay_apply(uint32_t dev, uint64_t sector, uint32_t count, uint8_t *buffer);
// Forgets what was stored for one disk, or for every disk.
void overlay_drop_disk(uint32_t dev);
void overlay_drop_all();
size_t overlay_block_count(uint32_t dev);
