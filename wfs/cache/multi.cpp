// Direct multi-sector transfers: runs of sectors straight between the
// device and the caller's buffer, bypassing the buffers.
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/cache/cache_internal.h"
#include "wfs/cache/overlay.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

// The device entries take at most this many sectors per call.
static const uint32_t k_max_run = 0xFFFF;

int bread_multi(uint32_t dev, uint32_t count, uint64_t sector, void *buffer)
{
    uint8_t *buf = static_cast<uint8_t *>(buffer);
    if (!buf) {
        if (!multi_buffer)
            init_buffers();
        if (count > MULTI_BUFFER_SECTORS)
            return -1;
        buf = multi_buffer;
    }
    cache_power_before_access(dev);
    uint64_t first = sector + cache_sector_offset(dev);
    uint32_t done = 0;
    while (done < count) {
        uint32_t run = count - done < k_max_run ? count - done : k_max_run;
        int r = ide_read_sectors(static_cast<uint16_t>(dev), static_cast<uint16_t>(run), first + done,
                                 buf + static_cast<size_t>(done) * WFS_SECTOR_SIZE);
        if (r != 0) {
            report_device_error(dev, sector + done, false);
            return r;
        }
        done += run;
    }
    overlay_apply(dev, first, count, buf);
    cache_stamp_access(dev);
    return 0;
}

int bwrite_multi(uint32_t dev, uint32_t count, uint64_t sector, const void *buffer)
{
    const uint8_t *buf = static_cast<const uint8_t *>(buffer);
    if (!buf) {
        if (!multi_buffer)
            init_buffers();
        if (count > MULTI_BUFFER_SECTORS)
            return -1;
        buf = multi_buffer;
    }
    if (cache_write_refused(dev, sector)) {
        wfs_event("StorageDeviceError", "bwrite_multi offset error, /dev/sd%u%c, %llu", dev, 'a',
                  static_cast<unsigned long long>(sector));
        wfs_console("\33[40;35m  disk[%d] bwrite_multi ,the offset error ! the error block is %llu \33[0m \n",
                    static_cast<int>(dev), static_cast<unsigned long long>(sector));
        return 1;
    }
    cache_power_before_access(dev);
    uint64_t first = sector + cache_sector_offset(dev);
    uint32_t done = 0;
    while (done < count) {
        uint32_t run = count - done < k_max_run ? count - done : k_max_run;
        int r = ide_write_sectors(static_cast<uint16_t>(dev), static_cast<uint16_t>(run), first + done,
                                  buf + static_cast<size_t>(done) * WFS_SECTOR_SIZE);
        if (r != 0) {
            report_device_error(dev, sector + done, true);
            return r;
        }
        done += run;
    }
    cache_stamp_access(dev);
    return 0;
}
