// The buffers: hash chains, the free list, getblk / bread / release and the
// single-block write path.
#include "wfs/cache/cache.h"

#include <cstring>

#include "wfs/cache/cache_internal.h"
#include "wfs/cache/overlay.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

BufferHead *hash_table[NR_HASH];
uint8_t *multi_buffer;
uint8_t write_check[WRITE_CHECK_DISKS];

namespace {

BufferHead s_heads[NR_BUFFERS];
alignas(WFS_SECTOR_SIZE) uint8_t s_block_data[NR_BUFFERS][WFS_SECTOR_SIZE];
alignas(WFS_SECTOR_SIZE) uint8_t s_multi_area[MULTI_BUFFER_SECTORS * WFS_SECTOR_SIZE];
BufferHead *s_free_head = nullptr;
bool s_ready = false;

inline unsigned bucket_of(uint64_t blocknr) { return static_cast<unsigned>(blocknr & (NR_HASH - 1)); }

void ensure_ready()
{
    if (!s_ready)
        init_buffers();
}

BufferHead *lookup(uint32_t dev, uint64_t blocknr)
{
    // A chain never holds more than all the buffers; the bound keeps a
    // damaged chain from looping.
    int steps = 0;
    for (BufferHead *bh = hash_table[bucket_of(blocknr)]; bh && steps <= NR_BUFFERS; bh = bh->hash_next, ++steps) {
        if (bh->dev == dev && bh->blocknr == blocknr)
            return bh;
    }
    return nullptr;
}

void remove_from_queues(BufferHead *bh)
{
    // Hash chain.
    if (bh->hash_next)
        bh->hash_next->hash_prev = bh->hash_prev;
    if (bh->hash_prev)
        bh->hash_prev->hash_next = bh->hash_next;
    unsigned bucket = bucket_of(bh->blocknr);
    if (hash_table[bucket] == bh)
        hash_table[bucket] = bh->hash_next;
    bh->hash_prev = bh->hash_next = nullptr;
    // Free list.
    if (!bh->free_prev || !bh->free_next) {
        wfs_warn("Free block list corrupted\n");
        return;
    }
    bh->free_prev->free_next = bh->free_next;
    bh->free_next->free_prev = bh->free_prev;
    if (s_free_head == bh)
        s_free_head = bh->free_next;
    bh->free_prev = bh->free_next = nullptr;
}

void insert_free_tail(BufferHead *bh)
{
    if (!s_free_head) {
        s_free_head = bh->free_prev = bh->free_next = bh;
        return;
    }
    bh->free_next = s_free_head;
    bh->free_prev = s_free_head->free_prev;
    s_free_head->free_prev->free_next = bh;
    s_free_head->free_prev = bh;
}

void insert_into_queues(BufferHead *bh)
{
    insert_free_tail(bh);
    unsigned bucket = bucket_of(bh->blocknr);
    bh->hash_prev = nullptr;
    bh->hash_next = hash_table[bucket];
    if (bh->hash_next)
        bh->hash_next->hash_prev = bh;
    hash_table[bucket] = bh;
}

void print_one(int num, const BufferHead *bh)
{
    wfs_console("\33[1;35m num=%d, dev=%d, blocknr=%lld, count=%d, uptodate=%d, dirt=%d\n \33[m", num,
                static_cast<int>(bh->dev), static_cast<long long>(bh->blocknr), bh->count, bh->uptodate, bh->dirt);
}

}  // namespace

void init_buffers()
{
    overlay_drop_all();
    std::memset(hash_table, 0, sizeof hash_table);
    s_free_head = nullptr;
    for (int i = 0; i < NR_BUFFERS; ++i) {
        BufferHead *bh = &s_heads[i];
        std::memset(bh, 0, sizeof *bh);
        bh->data = s_block_data[i];
        std::memset(bh->data, 0, WFS_SECTOR_SIZE);
        insert_free_tail(bh);
    }
    for (uint8_t &flag : write_check)
        flag = 1;
    multi_buffer = s_multi_area;
    std::memset(&g_bad_disk, 0, sizeof g_bad_disk);
    init_disk_timers();
    s_ready = true;
}

BufferHead *getblk(uint32_t dev, uint64_t blocknr)
{
    ensure_ready();
    for (;;) {
        BufferHead *bh = lookup(dev, blocknr);
        if (bh) {
            if (bh->count == UINT8_MAX) {
                wfs_error("getblk: too many users of block %llu of disk %u\n",
                          static_cast<unsigned long long>(blocknr), dev);
                return nullptr;
            }
            ++bh->count;
            return bh;
        }
        // The unreferenced buffer that was assigned longest ago.
        BufferHead *cand = s_free_head;
        BufferHead *found = nullptr;
        for (int i = 0; cand && i < NR_BUFFERS; ++i, cand = cand->free_next) {
            if (cand->count == 0) {
                found = cand;
                break;
            }
        }
        if (!found) {
            wfs_console("\33[1;35m wfs__error, have no free buffers\n \33[m");
            print_buffers();
            return nullptr;
        }
        ++found->count;
        remove_from_queues(found);
        if (found->dirt)
            sync_buffer(found);
        found->dev = dev;
        found->blocknr = blocknr;
        found->uptodate = 0;
        found->dirt = 0;
        if (lookup(dev, blocknr)) {
            // Writing the old content brought the block in meanwhile: give
            // this buffer back unassigned and use the one found.
            found->dev = 0;
            found->blocknr = 0;
            found->count = 0;
            insert_free_tail(found);
            continue;
        }
        insert_into_queues(found);
        return found;
    }
}

BufferHead *bread(uint32_t dev, uint64_t blocknr)
{
    BufferHead *bh = getblk(dev, blocknr);
    if (!bh) {
        wfs_event("WFS", "getblk null, /dev/sd%u, %llu", dev, static_cast<unsigned long long>(blocknr));
        return nullptr;
    }
    if (bh->uptodate)
        return bh;
    uint64_t sector = blocknr + cache_sector_offset(dev);
    cache_power_before_access(dev);
    if (overlay_lookup(dev, sector, bh->data)) {
        bh->uptodate = 1;
        return bh;
    }
    if (ide_read_sectors(static_cast<uint16_t>(dev), 1, sector, bh->data) != 0) {
        report_device_error(dev, blocknr, false);
        release_block(bh);
        return nullptr;
    }
    cache_stamp_access(dev);
    bh->uptodate = 1;
    return bh;
}

void release_block(BufferHead *bh)
{
    if (!bh)
        return;
    if (bh->count == 0) {
        wfs_warn("warming Trying to free free buffer,dev=%d,blocknr=%d,uptodate=%d,dirt=%d\n",
                 static_cast<int>(bh->dev), static_cast<int>(bh->blocknr), bh->uptodate, bh->dirt);
        return;
    }
    --bh->count;
}

BufferHead *find_cached_block(uint32_t dev, uint64_t blocknr)
{
    ensure_ready();
    BufferHead *bh = lookup(dev, blocknr);
    if (bh && bh->count < UINT8_MAX)
        ++bh->count;
    else if (bh)
        return nullptr;
    return bh;
}

int sync_buffer(BufferHead *bh)
{
    if (!bh || !bh->dirt)
        return 0;
    uint32_t dev = bh->dev;
    if (cache_write_refused(dev, bh->blocknr)) {
        wfs_event("WFS", "sync_buffer offset error, /dev/sd%u%c, %llu", dev, 'a',
                  static_cast<unsigned long long>(bh->blocknr));
        wfs_console("\33[40;35m  disk[%d] sync_buffer ,the offset error ! the error block is %llu \33[0m \n",
                    static_cast<int>(dev), static_cast<unsigned long long>(bh->blocknr));
        return 1;
    }
    cache_power_before_access(dev);
    uint64_t sector = bh->blocknr + cache_sector_offset(dev);
    // The disk itself never changes; the overlay keeps the block so later
    // reads see what was written.
    overlay_store(dev, sector, bh->data);
    int result = 0;
    if (ide_write_sectors(static_cast<uint16_t>(dev), 1, sector, bh->data) != 0) {
        report_device_error(dev, bh->blocknr, true);
        result = 1;
    } else {
        cache_stamp_access(dev);
    }
    bh->dirt = 0;
    return result;
}

void sync_disk_buffers(uint32_t dev)
{
    ensure_ready();
    for (BufferHead &bh : s_heads) {
        if (bh.dev == dev && bh.dirt)
            sync_buffer(&bh);
    }
}

void sync_all_buffers()
{
    ensure_ready();
    for (BufferHead &bh : s_heads) {
        if (bh.dirt)
            sync_buffer(&bh);
    }
}

int sync_buffer_unchecked(BufferHead *bh)
{
    if (!bh)
        return 0;
    uint32_t dev = bh->dev;
    if (dev >= WRITE_CHECK_DISKS) {
        // No flag to switch off: such a disk cannot have its head written.
        return sync_buffer(bh);
    }
    write_check[dev] = 0;
    int result = sync_buffer(bh);
    write_check[dev] = 1;
    return result;
}

void print_buffers()
{
    ensure_ready();
    int num = 0;
    BufferHead *bh = s_free_head;
    for (int i = 0; bh && i < NR_BUFFERS; ++i, bh = bh->free_next) {
        print_one(num++, bh);
        if (bh->free_next == s_free_head)
            break;
    }
    for (int b = 0; b < NR_HASH; ++b) {
        int steps = 0;
        for (BufferHead *h = hash_table[b]; h && steps < NR_BUFFERS; h = h->hash_next, ++steps)
            print_one(num++, h);
    }
}
