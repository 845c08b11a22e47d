// The block buffer cache over real recorder disks found by the scan.
#include "tests/wfs/cache/cache_fixture.h"

#include "wfs/common/clock.h"

namespace {

TEST_F(CacheTest, UpToDateBlocksComeFromTheCache)
{
    stamp_blocks(0, 0, 10);
    stamp_blocks(1, 0, 10);
    BufferHead *a = bread(0, 5);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(sparse::stamp_number(a->data), 5u);
    EXPECT_EQ(a->count, 1);
    EXPECT_EQ(a->uptodate, 1);
    release_block(a);
    const uint64_t reads = device_reads(0);

    BufferHead *again = bread(0, 5);
    EXPECT_EQ(again, a);
    EXPECT_EQ(device_reads(0), reads) << "cached and up to date: no device read";
    BufferHead *found = find_cached_block(0, 5);
    EXPECT_EQ(found, a);
    EXPECT_EQ(a->count, 2);
    release_block(found);
    release_block(again);

    // The same block number on another disk is another block (same bucket).
    BufferHead *other = bread(1, 5);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, a);
    EXPECT_EQ(sparse::stamp_number(other->data), 5u + kDiskStampStep);
    release_block(other);
    EXPECT_EQ(find_cached_block(0, 6), nullptr);

    // getblk assigns without reading.
    const uint64_t before = device_reads(0);
    BufferHead *g = getblk(0, 7);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->uptodate, 0);
    EXPECT_EQ(device_reads(0), before);
    release_block(g);
}

TEST_F(CacheTest, TheBufferAssignedLongestAgoIsReused)
{
    stamp_blocks(0, 0, 200);
    for (uint64_t b = 0; b < NR_BUFFERS; ++b)
        release_block(bread(0, b));
    // A hit does not make block 0 younger.
    release_block(bread(0, 0));
    release_block(bread(0, 128));
    EXPECT_EQ(find_cached_block(0, 0), nullptr);
    BufferHead *one = find_cached_block(0, 1);
    EXPECT_NE(one, nullptr);
    release_block(one);
    // Held buffers are skipped: hold block 1, then bring in another block.
    BufferHead *held = bread(0, 1);
    release_block(bread(0, 129));
    EXPECT_NE(find_cached_block(0, 1), nullptr);
    release_block(held);
    release_block(held);
    EXPECT_EQ(find_cached_block(0, 2), nullptr) << "block 2 was the oldest unheld one";
}

TEST_F(CacheTest, HoldingEveryBufferLeavesNoneFree)
{
    stamp_blocks(0, 0, 200);
    std::vector<BufferHead *> held;
    for (uint64_t b = 0; b < NR_BUFFERS; ++b) {
        BufferHead *bh = bread(0, b);
        ASSERT_NE(bh, nullptr) << b;
        held.push_back(bh);
    }
    m_log.clear();
    EXPECT_EQ(bread(0, 128), nullptr);
    EXPECT_EQ(count_logged(WFS_LOG_CONSOLE, "wfs__error, have no free buffers"), 1);
    EXPECT_EQ(count_logged(WFS_LOG_CONSOLE, "\33[1;35m wfs__error, have no free buffers\n \33[m"), 1);
    // The listing: every buffer along the free list, then along the buckets.
    EXPECT_EQ(count_logged(WFS_LOG_CONSOLE, ", dev=0, blocknr="), 2 * NR_BUFFERS);
    EXPECT_EQ(count_logged(WFS_LOG_CONSOLE, "\33[1;35m num=0, dev=0, blocknr=0, count=1, uptodate=1, dirt=0\n \33[m"), 1);
    EXPECT_TRUE(logged_event("WFS", "getblk null, /dev/sd0, 128"));

    release_block(held[77]);
    BufferHead *bh = bread(0, 128);
    ASSERT_NE(bh, nullptr);
    EXPECT_EQ(sparse::stamp_number(bh->data), 128u);
    release_block(bh);
    for (size_t i = 0; i < held.size(); ++i)
        if (i != 77)
            release_block(held[i]);

    // Releasing once too often warns and leaves the count at 0.
    m_log.clear();
    release_block(bh);
    EXPECT_EQ(bh->count, 0);
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "warming Trying to free free buffer,dev=0,blocknr=128,uptodate=1,dirt=0\n"), 1);
    release_block(nullptr);
}

TEST_F(CacheTest, WriteCheckGuardsHeadAndParameterSectors)
{
    stamp_blocks(0, 0, 3000);
    BufferHead *bh = bread(0, 20);
    ASSERT_NE(bh, nullptr);
    std::memset(bh->data, 0x42, WFS_SECTOR_SIZE);
    bh->dirt = 1;
    m_log.clear();
    EXPECT_EQ(sync_buffer(bh), 1);
    EXPECT_EQ(bh->dirt, 1) << "a refused write keeps the buffer dirty";
    EXPECT_TRUE(logged_event("WFS", "sync_buffer offset error, /dev/sd0a, 20"));
    EXPECT_EQ(count_logged(WFS_LOG_CONSOLE,
                           "\33[40;35m  disk[0] sync_buffer ,the offset error ! the error block is 20 \33[0m \n"),
              1);
    sync_disk_buffers(0);
    EXPECT_EQ(bh->dirt, 1) << "refused again at the next sync";

    EXPECT_EQ(sync_buffer_unchecked(bh), 0);
    EXPECT_EQ(bh->dirt, 0);
    EXPECT_EQ(write_check[0], 1) << "the check is on again";
    release_block(bh);

    // Block 29 lies past the default limit of 28.
    bh = bread(0, 29);
    bh->dirt = 1;
    EXPECT_EQ(sync_buffer(bh), 0);
    release_block(bh);

    // With a valid key-parameter block at offset 0 the limit is 1052.
    set_write_check_limit_hook([](uint32_t) -> uint64_t { return 0 + WRITE_CHECK_PARAM_SPAN; });
    bh = bread(0, 1052);
    bh->dirt = 1;
    EXPECT_EQ(sync_buffer(bh), 1);
    EXPECT_EQ(sync_buffer_unchecked(bh), 0);
    release_block(bh);
    bh = bread(0, 1053);
    bh->dirt = 1;
    EXPECT_EQ(sync_buffer(bh), 0);
    release_block(bh);

    // Direct writes are checked on their first sector.
    std::vector<uint8_t> run(4 * WFS_SECTOR_SIZE, 0x77);
    m_log.clear();
    EXPECT_EQ(bwrite_multi(0, 4, 1050, run.data()), 1);
    EXPECT_TRUE(logged_event("StorageDeviceError", "bwrite_multi offset error, /dev/sd0a, 1050"));
    EXPECT_EQ(count_logged(WFS_LOG_CONSOLE, "disk[0] bwrite_multi ,the offset error ! the error block is 1050"), 1);
    EXPECT_EQ(bwrite_multi(0, 4, 2000, run.data()), 0);
    // Bulk writes are not kept: the blocks read as the disk holds them.
    uint8_t back[4 * WFS_SECTOR_SIZE];
    ASSERT_EQ(bread_multi(0, 4, 2000, back), 0);
    EXPECT_EQ(sparse::stamp_number(back), 2000u);
}

TEST_F(CacheTest, WrittenBlocksStayVisibleWhileTheDiskIsLoaded)
{
    stamp_blocks(0, 0, 4000);
    const size_t stored = memory_device_stored_sectors(m_mem[0]);

    // Written with the check off (as the head is): kept after its buffer is
    // reused, without a device read.
    BufferHead *bh = bread(0, 20);
    std::memcpy(bh->data, "changed head area", 18);
    bh->dirt = 1;
    ASSERT_EQ(sync_buffer_unchecked(bh), 0);
    release_block(bh);
    // A dirty buffer is written when its buffer is taken for another block.
    bh = getblk(0, 3000);
    std::memset(bh->data, 0x99, WFS_SECTOR_SIZE);
    bh->uptodate = 1;
    bh->dirt = 1;
    release_block(bh);
    for (uint64_t b = 100; b < 100 + 2 * NR_BUFFERS; ++b)
        release_block(bread(0, b));
    ASSERT_EQ(find_cached_block(0, 20), nullptr);
    ASSERT_EQ(find_cached_block(0, 3000), nullptr);
    EXPECT_EQ(overlay_block_count(0), 2u);
    EXPECT_EQ(overlay_block_count(1), 0u);

    const uint64_t reads = device_reads(0);
    bh = bread(0, 20);
    EXPECT_EQ(std::memcmp(bh->data, "changed head area", 18), 0);
    release_block(bh);
    bh = bread(0, 3000);
    EXPECT_EQ(bh->data[0], 0x99);
    EXPECT_EQ(bh->data[511], 0x99);
    release_block(bh);
    EXPECT_EQ(device_reads(0), reads);

    // Direct reads see them too, in the middle of a run.
    uint8_t run[8 * WFS_SECTOR_SIZE];
    ASSERT_EQ(bread_multi(0, 8, 2996, run), 0);
    EXPECT_EQ(sparse::stamp_number(run), 2996u);
    EXPECT_EQ(run[4 * WFS_SECTOR_SIZE], 0x99);
    EXPECT_EQ(sparse::stamp_number(run + 5 * WFS_SECTOR_SIZE), 3001u);
    // The device itself never changed.
    EXPECT_EQ(memory_device_stored_sectors(m_mem[0]), stored);
    uint8_t raw[WFS_SECTOR_SIZE];
    ASSERT_EQ(blockdev_read(m_mem[0], kBase + 3000, 1, raw), 0);
    EXPECT_EQ(sparse::stamp_number(raw), 3000u);

    // Dropping one disk's overlay, or re-initialising, forgets them.
    overlay_drop_disk(1);
    EXPECT_EQ(overlay_block_count(0), 2u);
    init_buffers();
    EXPECT_EQ(overlay_block_count(0), 0u);
    bh = bread(0, 3000);
    EXPECT_EQ(sparse::stamp_number(bh->data), 3000u);
    release_block(bh);
}

TEST_F(CacheTest, DirectTransfers)
{
    stamp_blocks(0, 0, 16);
    stamp_blocks(0, 65530, 10);
    // Without a buffer of the caller's, the shared scratch area is used.
    ASSERT_EQ(bread_multi(0, 16, 0, nullptr), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(multi_buffer) % 512, 0u);
    EXPECT_EQ(sparse::stamp_number(multi_buffer + 15 * WFS_SECTOR_SIZE), 15u);
    EXPECT_EQ(bread_multi(0, 17, 0, nullptr), -1);
    // Runs longer than one device call are split.
    std::vector<uint8_t> big(70000ull * WFS_SECTOR_SIZE);
    ASSERT_EQ(bread_multi(0, 70000, 0, big.data()), 0);
    for (uint64_t b : {0ull, 65534ull, 65535ull, 65536ull, 65539ull})
        EXPECT_EQ(sparse::stamp_number(big.data() + b * WFS_SECTOR_SIZE), b);
    // Past the end of the disk: the device result.
    EXPECT_EQ(bread_multi(0, 2, kDiskSectors - kBase - 1, big.data()), -1);
}

uint32_t g_fake_tick = 0;
uint32_t fake_tick() { return g_fake_tick; }
std::vector<uint32_t> g_before_calls, g_after_calls;

TEST_F(CacheTest, PowerHooksRunWhenTheDiskMayHaveSpunDown)
{
    wfs_set_tick_source(fake_tick);
    g_fake_tick = 1000;
    init_buffers();
    stamp_blocks(0, 0, 10);
    g_before_calls.clear();
    g_after_calls.clear();
    set_power_hooks([](uint32_t ms) { g_before_calls.push_back(ms); }, [](uint32_t d) { g_after_calls.push_back(d); });

    // Standby 0: nothing but the stamp.
    g_fake_tick = 900000;
    release_block(bread(0, 1));
    EXPECT_TRUE(g_before_calls.empty());
    EXPECT_EQ(disk_timer[0].last_access, 900000u);

    disk_timer[0].standby_ms = 10000;
    g_fake_tick = 904000;  // 4 s: less than half the standby time
    release_block(bread(0, 2));
    EXPECT_TRUE(g_before_calls.empty());
    g_fake_tick = 915000;  // 11 s since the last access
    release_block(bread(0, 3));
    ASSERT_EQ(g_before_calls.size(), 1u);
    EXPECT_EQ(g_before_calls[0], 11000u);
    ASSERT_EQ(g_after_calls.size(), 1u);
    EXPECT_EQ(g_after_calls[0], 0u);
    EXPECT_EQ(disk_timer[0].last_access, 915000u);
    wfs_set_tick_source(nullptr);
}

}  // namespace
