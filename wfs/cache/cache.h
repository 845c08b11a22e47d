// The block buffer cache: 128 single-sector buffers for the volume layer's
// metadata, on hash chains (bucket = low 8 bits of the block number) and one
// circular free list through all of them. Runs of sectors move through the
// direct transfers bread_multi / bwrite_multi, bypassing the buffers.
//
// Block numbers are sectors relative to the disk's WFS volume. The head and
// parameter sectors of each disk are guarded by the write check; device
// errors are reported and, in a partition's system areas, mark it bad.
//
// What the write path writes for a disk is kept in the disk's overlay
// (overlay.h) and seen by every later read, because the device itself
// discards writes.
//
// No lock of its own: callers keep to one thread at a time.
#pragma once

#include <cstdint>

#include "wfs/device/sector.h"

// The cache holds NR_BUFFERS blocks of one sector (WFS_SECTOR_SIZE bytes).
#define NR_BUFFERS 128
#define NR_HASH 256
// Sectors of the shared scratch area for direct transfers.
#define MULTI_BUFFER_SECTORS 16
// Disks with a write-check flag.
#define WRITE_CHECK_DISKS 16
// Disks with a sector offset and a timer.
#define CACHE_DISK_SLOTS 32
// Blocks at or below this are protected when the disk has no valid
// key-parameter block.
#define WRITE_CHECK_DEFAULT_LIMIT 28
// Protected blocks reach the key-parameter offset plus this.
#define WRITE_CHECK_PARAM_SPAN 1052

struct BufferHead {
    uint32_t dev;        // disk number
    uint64_t blocknr;    // sector relative to the disk's volume
    uint8_t uptodate;    // 1: data holds the block's content
    uint8_t dirt;        // 1: data changed, must be written
    uint8_t count;       // current users
    BufferHead *hash_prev;
    BufferHead *hash_next;
    BufferHead *free_prev;
    BufferHead *free_next;
    uint8_t *data;       // the buffer's 512 bytes
};

// Per-disk power bookkeeping.
struct DiskTimer {
    uint32_t last_access;  // tick count (ms) of the last successful access
    uint32_t standby_ms;   // 0: never spins down
};

// Failing accesses that made a partition bad.
struct BadDiskRecord {
    uint32_t read_error_mask;                  // bit per disk
    uint32_t write_error_mask;                 // bit per disk
    uint64_t failing_block[CACHE_DISK_SLOTS];  // per disk, last failing block
    uint32_t bad_disk_mask;                    // bit per disk
};

extern BufferHead *hash_table[NR_HASH];
extern uint8_t *multi_buffer;  // 8 KiB, 512-byte aligned
extern uint8_t write_check[WRITE_CHECK_DISKS];
extern uint64_t disk_sector_offset[CACHE_DISK_SLOTS];
extern DiskTimer disk_timer[CACHE_DISK_SLOTS];
extern BadDiskRecord g_bad_disk;

// Sets up the 128 buffers (free list in address order, empty hash table),
// write_check on for all 16 disks, the disk timers stamped with standby 0,
// the bad-disk record cleared, and drops every disk's overlay: each volume
// initialisation starts from what is on the disks.
void init_buffers();
// Stamps every timer with the current tick and sets standby to 0.
void init_disk_timers();

BufferHead *getblk(uint32_t dev, uint64_t blocknr);
BufferHead *bread(uint32_t dev, uint64_t blocknr);
void release_block(BufferHead *bh);
BufferHead *find_cached_block(uint32_t dev, uint64_t blocknr);

// Writes a dirty buffer: 0 when written (or clean), 1 when refused by the
// write check or the device failed (the buffer stays dirty then).
int sync_buffer(BufferHead *bh);
void sync_disk_buffers(uint32_t dev);
void sync_all_buffers();
// sync_buffer with the disk's write check off for the duration.
int sync_buffer_unchecked(BufferHead *bh);

// Direct transfers of `count` sectors at `sector`; a null buffer means
// multi_buffer (then count is at most MULTI_BUFFER_SECTORS). bread_multi
// returns 0 or the device result (-1); bwrite_multi 0, 1 (refused by the
// write check) or the device result.
int bread_multi(uint32_t dev, uint32_t count, uint64_t sector, void *buffer);
int bwrite_multi(uint32_t dev, uint32_t count, uint64_t sector, const void *buffer);

// Lists every buffer, along the free list, then bucket by bucket.
void print_buffers();

// The highest protected block: writes at or below it are refused while the
// disk's write check is on. The volume layer supplies it (28, or the
// key-parameter offset + 1052 when the disk's key-parameter block is valid);
// without a hook it is WRITE_CHECK_DEFAULT_LIMIT.
typedef uint64_t (*WriteCheckLimitHook)(uint32_t dev);
void set_write_check_limit_hook(WriteCheckLimitHook hook);
uint64_t write_check_limit(uint32_t dev);

// Where partition 0 of a disk lies, for device-error reporting, in blocks:
// below `system_end` lie its system areas and reserved clusters, from it on
// its recording clusters, and `end` is the first block past its last
// cluster.
struct CachePartitionBounds {
    uint64_t system_end;
    uint64_t end;
};
// The volume layer supplies both: `bounds` fills partition 0's bounds and
// returns false when that partition is not mounted or already marked bad;
// `mark_bad` marks it bad after a failed access of its system areas.
// Without hooks a failed access is only reported.
typedef bool (*PartitionBoundsHook)(uint32_t dev, CachePartitionBounds *out);
typedef void (*MarkBadHook)(uint32_t dev);
void set_device_error_hooks(PartitionBoundsHook bounds, MarkBadHook mark_bad);

// Optional power hooks: before waking a disk (elapsed ms) and after (disk).
typedef void (*PowerBeforeHook)(uint32_t elapsed_ms);
typedef void (*PowerAfterHook)(uint32_t dev);
void set_power_hooks(PowerBeforeHook before, PowerAfterHook after);

// Reports a failed access ("StorageDeviceError" event, warnings, bad mark).
// `write` false for a read. Exposed for the callers of the device entries.
void report_device_error(uint32_t dev, uint64_t block, bool write);
