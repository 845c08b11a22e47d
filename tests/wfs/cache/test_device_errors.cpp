// Failed device accesses: messages, and bad marks for failures in a
// partition's system areas (directory, index, parameter sectors).
#include "tests/wfs/cache/cache_fixture.h"

namespace {

// Partition 0 of disk 0 as a mount would describe it: system areas up to
// sector 100000 + 2 reserved clusters of 4096, 20 clusters in all; and
// whether it has been marked bad.
CachePartitionBounds g_part0;
bool g_part0_bad = false;

bool part0_bounds(uint32_t dev, CachePartitionBounds *out)
{
    if (dev != 0 || g_part0_bad)
        return false;
    *out = g_part0;
    return true;
}
void mark_part0_bad(uint32_t dev)
{
    if (dev == 0)
        g_part0_bad = true;
}

class DeviceErrors : public CacheTest {
protected:
    void SetUp() override
    {
        CacheTest::SetUp();
        g_part0.system_end = 100000 + 2 * 4096;
        g_part0.end = 100000 + 20 * 4096;
        g_part0_bad = false;
        set_device_error_hooks(part0_bounds, mark_part0_bad);
    }
    static constexpr uint64_t kDirBlock = 50000;                // in the directory area
    static constexpr uint64_t kRecordBlock = 100000 + 5 * 4096;  // cluster 5
    static constexpr uint64_t kOutside = 100000 + 20 * 4096;     // past the last cluster
};

TEST_F(DeviceErrors, DirectoryAreaFailureMarksThePartitionBad)
{
    stamp_blocks(0, kDirBlock, 1);
    fault_device_fail(m_fault[0], kBase + kDirBlock, 1);
    EXPECT_EQ(bread(0, kDirBlock), nullptr);
    EXPECT_TRUE(logged_event("StorageDeviceError", "Read, /dev/sd0a, 50000"));
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "disk access io error : disk 0, offset 50000,  error 2\n"), 1);
    EXPECT_TRUE(g_part0_bad);
    EXPECT_EQ(g_bad_disk.read_error_mask, 1u);
    EXPECT_EQ(g_bad_disk.write_error_mask, 0u);
    EXPECT_EQ(g_bad_disk.bad_disk_mask, 1u);
    EXPECT_EQ(g_bad_disk.failing_block[0], kDirBlock);

    // The buffer stays assigned but not up to date: the next read tries the
    // device again, and succeeds once the sector reads.
    BufferHead *stale = find_cached_block(0, kDirBlock);
    ASSERT_NE(stale, nullptr);
    EXPECT_EQ(stale->uptodate, 0);
    EXPECT_EQ(stale->count, 1);  // only our lookup holds it
    release_block(stale);
    fault_device_clear(m_fault[0]);
    BufferHead *bh = bread(0, kDirBlock);
    ASSERT_NE(bh, nullptr);
    EXPECT_EQ(sparse::stamp_number(bh->data), kDirBlock);
    release_block(bh);

    // A partition already bad: only the event, no further warnings.
    m_log.clear();
    fault_device_fail(m_fault[0], kBase + 60000, 1);
    EXPECT_EQ(bread(0, 60000), nullptr);
    EXPECT_TRUE(logged_event("StorageDeviceError", "Read, /dev/sd0a, 60000"));
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "disk access"), 0);
}

TEST_F(DeviceErrors, RecordingClusterFailureLeavesThePartitionUsable)
{
    fault_device_fail(m_fault[0], kBase + kRecordBlock + 3, 1);
    uint8_t buf[8 * WFS_SECTOR_SIZE];
    EXPECT_EQ(bread_multi(0, 8, kRecordBlock, buf), -1);
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "disk access io error : disk 0, offset 120480,  error 2\n"), 1);
    EXPECT_FALSE(g_part0_bad);
    EXPECT_EQ(g_bad_disk.bad_disk_mask, 0u);

    // The first reserved-cluster sector is still a system area; the first
    // sector of cluster rev_clus is not.
    fault_device_fail(m_fault[0], kBase + 100000 + 2 * 4096, 1);
    EXPECT_EQ(bread(0, 100000 + 2 * 4096), nullptr);
    EXPECT_FALSE(g_part0_bad);
    fault_device_fail(m_fault[0], kBase + 100000 + 2 * 4096 - 1, 1);
    EXPECT_EQ(bread(0, 100000 + 2 * 4096 - 1), nullptr);
    EXPECT_TRUE(g_part0_bad);
}

TEST_F(DeviceErrors, FailuresOutsideThePartitionOrWithoutMountOnlyReport)
{
    fault_device_fail(m_fault[0], kBase + kOutside, 1);
    EXPECT_EQ(bread(0, kOutside), nullptr);
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "disk access parameter error : disk 0, offset 181920,  error 2\n"), 1);
    EXPECT_FALSE(g_part0_bad);

    // Disk 1 has no mounted partition 0.
    m_log.clear();
    fault_device_fail(m_fault[1], kBase + kDirBlock, 1);
    EXPECT_EQ(bread(1, kDirBlock), nullptr);
    EXPECT_TRUE(logged_event("StorageDeviceError", "Read, /dev/sd1a, 50000"));
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "disk access"), 0);

    // A failed write in the directory area sets the write mask, error 1.
    m_log.clear();
    report_device_error(0, kDirBlock, true);
    EXPECT_TRUE(logged_event("StorageDeviceError", "Write, /dev/sd0a, 50000"));
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "disk access io error : disk 0, offset 50000,  error 1\n"), 1);
    EXPECT_EQ(g_bad_disk.write_error_mask, 1u);
    EXPECT_EQ(g_bad_disk.read_error_mask, 0u);
    EXPECT_TRUE(g_part0_bad);
}

TEST_F(DeviceErrors, PartitionBoundsInSixtyFourBits)
{
    // A partition 0 whose data area ends beyond 2^32 sectors: a failure at
    // a block above 2^32 inside its reserved clusters still marks it bad.
    g_part0.system_end = 4000000000ull + 1000ull * 4096;
    g_part0.end = 4000000000ull + 2000000ull * 4096;
    m_log.clear();
    report_device_error(0, 4000000000ull + 500 * 4096, false);
    EXPECT_EQ(count_logged(WFS_LOG_WARN, "disk access io error"), 1);
    EXPECT_TRUE(g_part0_bad);
}

}  // namespace
