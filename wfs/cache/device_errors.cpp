// What the cache does around each device access: power bookkeeping, the
// write check's limit, and turning failed accesses into messages and bad
// marks.
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/cache/cache_internal.h"
#include "wfs/common/clock.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

uint64_t disk_sector_offset[CACHE_DISK_SLOTS];
DiskTimer disk_timer[CACHE_DISK_SLOTS];
BadDiskRecord g_bad_disk;

static WriteCheckLimitHook s_limit_hook = nullptr;
static PartitionBoundsHook s_bounds_hook = nullptr;
static MarkBadHook s_mark_bad_hook = nullptr;
static PowerBeforeHook s_power_before = nullptr;
static PowerAfterHook s_power_after = nullptr;

void set_write_check_limit_hook(WriteCheckLimitHook hook) { s_limit_hook = hook; }

void set_device_error_hooks(PartitionBoundsHook bounds, MarkBadHook mark_bad)
{
    s_bounds_hook = bounds;
    s_mark_bad_hook = mark_bad;
}

void set_power_hooks(PowerBeforeHook before, PowerAfterHook after)
{
    s_power_before = before;
    s_power_after = after;
}

uint64_t write_check_limit(uint32_t dev)
{
    return s_limit_hook ? s_limit_hook(dev) : WRITE_CHECK_DEFAULT_LIMIT;
}

bool cache_write_refused(uint32_t dev, uint64_t blocknr)
{
    // Disks beyond the flag table have no way to switch the check off.
    bool checked = dev < WRITE_CHECK_DISKS ? write_check[dev] != 0 : true;
    return checked && write_check_limit(dev) >= blocknr;
}

uint64_t cache_sector_offset(uint32_t dev) { return dev < CACHE_DISK_SLOTS ? disk_sector_offset[dev] : 0; }

void init_disk_timers()
{
    uint32_t now = wfs_tick_ms();
    for (DiskTimer &t : disk_timer) {
        t.last_access = now;
        t.standby_ms = 0;
    }
}

void cache_power_before_access(uint32_t dev)
{
    if (dev >= CACHE_DISK_SLOTS)
        return;
    DiskTimer &t = disk_timer[dev];
    if (t.standby_ms == 0 && t.last_access != 0)
        return;
    uint32_t elapsed = wfs_tick_ms() - t.last_access;
    if (elapsed > t.standby_ms / 2 && s_power_before && s_power_after) {
        s_power_before(elapsed);
        ide_wakeup(static_cast<uint16_t>(dev));
        s_power_after(dev);
    }
}

void cache_stamp_access(uint32_t dev)
{
    if (dev < CACHE_DISK_SLOTS)
        disk_timer[dev].last_access = wfs_tick_ms();
}

void report_device_error(uint32_t dev, uint64_t block, bool write)
{
    wfs_event("StorageDeviceError", "%s, /dev/sd%u%c, %lld", write ? "Write" : "Read", dev, 'a',
              static_cast<long long>(block));
    CachePartitionBounds part0;
    if (!s_bounds_hook || !s_bounds_hook(dev, &part0))
        return;
    int error = write ? 1 : 2;
    if (block >= part0.end) {
        wfs_warn("disk access parameter error : disk %u, offset %llu,  error %d\n", dev,
                 static_cast<unsigned long long>(block), error);
        return;
    }
    wfs_warn("disk access io error : disk %u, offset %llu,  error %d\n", dev, static_cast<unsigned long long>(block),
             error);
    if (block < part0.system_end) {
        uint32_t bit = dev < 32 ? (1u << dev) : 0;
        if (write)
            g_bad_disk.write_error_mask |= bit;
        else
            g_bad_disk.read_error_mask |= bit;
        if (dev < CACHE_DISK_SLOTS)
            g_bad_disk.failing_block[dev] = block;
        if (s_mark_bad_hook)
            s_mark_bad_hook(dev);
        g_bad_disk.bad_disk_mask |= bit;
    }
}
