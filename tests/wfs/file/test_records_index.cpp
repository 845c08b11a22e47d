// The index scanner over a real (in-memory) volume whose ring has wrapped:
// every mode, the two ring stretches, explicit bounds, kept and bad
// clusters, and bounds that lie outside the partition.
#include <gtest/gtest.h>

#include "tests/wfs/volume/mini_volume.h"
#include "wfs/common/log.h"
#include "wfs/file/records.h"
#include "wfs/volume/mount.h"

namespace {

class IndexScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        vol.head();
        mini::Part p;
        p.current = 40;
        p.start_cluster2 = 300;
        p.end_cluster2 = 600;
        p.start_time1 = mini::ptime(2024, 5, 2, 10, 0, 0);
        p.end_time1 = mini::ptime(2024, 5, 2, 11, 0, 0);
        p.start_time2 = mini::ptime(2024, 5, 1, 10, 0, 0);
        p.end_time2 = mini::ptime(2024, 5, 1, 12, 0, 0);
        vol.partition(0, p);
        // Current pass: channels 0 and 1 recorded together, then channel 0 again.
        vol.recording(0, {2, 4, 6}, 0, mini::ptime(2024, 5, 2, 10, 0, 0), 60);
        vol.recording(0, {3, 5, 7}, 1, mini::ptime(2024, 5, 2, 10, 0, 0), 60);
        vol.recording(0, {8, 9}, 0, mini::ptime(2024, 5, 2, 10, 5, 0), 60);
        // Clusters 10..39 of the current pass are free (index 0x00 channel 0
        // would be "in use"): mark them as continuation clusters of channel 5.
        for (uint32_t c = 10; c < 40; ++c)
            vol.index(0, c, 5 << 2);
        // A kept recording start (flag 3 in the index, keep_flag and
        // dir_flag 4 in the directory) on channel 0.
        mini::Dir kept;
        kept.flag = 4;
        kept.attr = 0x20;
        kept.first = 30;
        vol.dir(0, 30, kept);
        vol.index(0, 30, 0x03);
        // The previous pass, still intact from 300 to 600.
        for (uint32_t c = 300; c <= 600; ++c)
            vol.index(0, c, 7 << 2);
        vol.recording(0, {500, 501, 502}, 0, mini::ptime(2024, 5, 1, 11, 0, 0), 60);
        // A continuation of channel 0 behind end_cluster2: outside the ring.
        mini::Dir stray;
        stray.flag = 1;
        stray.first = 500;
        vol.dir(0, 700, stray);
        vol.index(0, 700, 0x00);

        vol.attach();
        int n = 0;
        wfs_file_sys_init(&n, 0);
        pdp = get_pdp(0, 0);
        ASSERT_NE(pdp, nullptr);
    }

    unsigned scan(int mode, uint32_t from, uint32_t bound, uint8_t ch, uint32_t *out)
    {
        *out = 0xDEADBEEF;
        return index_search(pdp, mode, from, bound, out, ch);
    }

    mini::Volume vol;
    DriverParam *pdp = nullptr;
};

TEST_F(IndexScan, FollowingARecordingClusterByCluster)
{
    uint32_t c;
    ASSERT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 2, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 4u) << "channel 1's cluster 3 lies between and is skipped";
    ASSERT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 4, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 6u);
    EXPECT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 6, 0, 0, &c), FS_NOT_FOUND) << "cluster 8 starts a new recording";
    ASSERT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 3, 0, 0xFF, &c), FS_OK);
    EXPECT_EQ(c, 5u) << "the channel comes from the start cluster's index byte";
    ASSERT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 8, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 9u);
    EXPECT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 9, 0, 0, &c), FS_NOT_FOUND);

    // In the older stretch the scan stops at end_cluster2: the stray
    // continuation at 700 is not part of the ring, nor is rev_clus onward.
    ASSERT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 500, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 501u);
    ASSERT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 501, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 502u);
    EXPECT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 502, 0, 0, &c), FS_NOT_FOUND);

    // Backwards along a recording.
    ASSERT_EQ(scan(INDEX_SEARCH_PREV_CLUS, 6, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 4u);
    EXPECT_EQ(scan(INDEX_SEARCH_PREV_CLUS, 2, 0, 0, &c), FS_AT_START) << "a first cluster has no predecessor";
}

TEST_F(IndexScan, FindingRecordingStartsAndClustersInUse)
{
    uint32_t c;
    ASSERT_EQ(scan(INDEX_SEARCH_START, 2, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 8u);
    ASSERT_EQ(scan(INDEX_SEARCH_START, 8, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 30u) << "a kept start counts as a recording start";
    EXPECT_EQ(scan(INDEX_SEARCH_START, 30, 0, 0, &c), FS_NOT_FOUND) << "nothing more up to the current cluster";
    ASSERT_EQ(scan(INDEX_SEARCH_START, 2, 0, 0xFF, &c), FS_OK);
    EXPECT_EQ(c, 3u);
    ASSERT_EQ(scan(INDEX_SEARCH_ANY_START, 3, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 8u);

    ASSERT_EQ(scan(INDEX_SEARCH_IN_USE, 2, 0, 1, &c), FS_OK);
    EXPECT_EQ(c, 3u);
    ASSERT_EQ(scan(INDEX_SEARCH_IN_USE, 7, 0, 0xFF, &c), FS_OK);
    EXPECT_EQ(c, 8u);

    ASSERT_EQ(scan(INDEX_SEARCH_BACK_IN_USE, 8, 0, 1, &c), FS_OK);
    EXPECT_EQ(c, 7u);
    ASSERT_EQ(scan(INDEX_SEARCH_BACK_START, 9, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 8u);
    ASSERT_EQ(scan(INDEX_SEARCH_BACK_START, 8, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 2u);
    EXPECT_EQ(scan(INDEX_SEARCH_BACK_START, 2, 0, 0, &c), FS_NOT_FOUND);

    EXPECT_EQ(scan(INDEX_SEARCH_BACK_FROM, 8, 0, 0, &c), FS_AT_START);
    ASSERT_EQ(scan(INDEX_SEARCH_BACK_FROM, 9, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 8u);

    ASSERT_EQ(scan(INDEX_SEARCH_CHANNEL, 2, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 4u);
    EXPECT_EQ(scan(INDEX_SEARCH_CHANNEL, 6, 0, 0, &c), FS_AT_START) << "channel 0's next cluster starts a recording";

    ASSERT_EQ(scan(INDEX_SEARCH_RESERVED, 2, 0, 0xFF, &c), FS_OK);
    EXPECT_EQ(c, 30u);
}

TEST_F(IndexScan, ExplicitBoundsLimitTheScan)
{
    uint32_t c;
    EXPECT_EQ(scan(INDEX_SEARCH_START, 2, 7, 0, &c), FS_NOT_FOUND);
    ASSERT_EQ(scan(INDEX_SEARCH_START, 2, 8, 0, &c), FS_OK);
    EXPECT_EQ(c, 8u);
    ASSERT_EQ(scan(INDEX_SEARCH_BACK_START, 9, 5, 0, &c), FS_OK);
    EXPECT_EQ(c, 8u);
    EXPECT_EQ(scan(INDEX_SEARCH_BACK_START, 7, 3, 0, &c), FS_NOT_FOUND);
    // An explicit bound may reach across the current cluster into the
    // older stretch.
    ASSERT_EQ(scan(INDEX_SEARCH_START, 30, 999, 0, &c), FS_OK);
    EXPECT_EQ(c, 500u);
}

TEST_F(IndexScan, OutOfRangeNumbersEndWithAStatus)
{
    uint32_t c;
    EXPECT_EQ(scan(INDEX_SEARCH_NEXT_CLUS, 5000, 0, 0, &c), FS_NOT_FOUND);
    EXPECT_EQ(scan(INDEX_SEARCH_PREV_CLUS, 0xFFFFFFFFu, 0, 0, &c), FS_NOT_FOUND);
    EXPECT_EQ(scan(INDEX_SEARCH_IN_USE, 995, 0xFFFFFFFFu, 0, &c), FS_NOT_FOUND);
    EXPECT_EQ(scan(INDEX_SEARCH_BACK_IN_USE, 0xFFFFFFF0u, 990, 9, &c), FS_NOT_FOUND);
    EXPECT_EQ(scan(INDEX_SEARCH_IN_USE, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF, &c), FS_NOT_FOUND);
    EXPECT_EQ(scan(42, 2, 0, 0, &c), FS_NOT_FOUND) << "an unknown mode finds nothing";

    pdp->index_offset = 0;
    EXPECT_EQ(scan(INDEX_SEARCH_START, 2, 0, 0, &c), FS_NO_INDEX_AREA);
}

TEST_F(IndexScan, WriterScanPassesOverBadAndKeptClusters)
{
    // 11 bad, 12 kept (first cluster of a kept recording), 13 free.
    mini::Dir kept;
    kept.flag = 2;
    kept.attr = 0x20;
    kept.first = 12;
    vol.dir(0, 12, kept);
    mini::Dir bad;
    bad.flag = 1;
    bad.first = 3;
    vol.dir(0, 11, bad);
    vol.index(0, 11, 0x0B);
    vol.index(0, 12, 0x03);
    vol.index(0, 13, 0x00);
    int n = 0;
    wfs_file_sys_init(&n, 0);
    pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);

    uint32_t c;
    ASSERT_EQ(scan(INDEX_SEARCH_WRITER_NEXT, 10, 0, 0, &c), FS_OK);
    EXPECT_EQ(c, 13u);
    dir_item it;
    ASSERT_EQ(get_dir_item_info(pdp, 11, &it), FS_OK);
    EXPECT_EQ(it.dir_flag, DIR_FLAG_FIRST) << "a bad cluster is reset to a first cluster of its own";
    EXPECT_EQ(it.first_cluster_no, 11u);
    EXPECT_NE(it.start_time, 0u);
    ASSERT_EQ(get_dir_item_info(pdp, 12, &it), FS_OK);
    EXPECT_EQ(it.dir_flag, DIR_FLAG_KEPT_FIRST);
}

TEST_F(IndexScan, RebuildingTheIndexFromTheDirectory)
{
    // Damage the index of the current pass, then rebuild it.
    for (uint32_t c = 2; c <= 9; ++c)
        vol.index(0, c, 0xFF);
    int n = 0;
    wfs_file_sys_init(&n, 0);
    pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    ASSERT_EQ(restore_clus_index_range(pdp, 0, 9), FS_OK);
    const uint8_t want[] = {0x02, 0x06, 0x00, 0x04, 0x00, 0x04, 0x02, 0x00};
    for (uint32_t c = 2; c <= 9; ++c) {
        uint8_t b = 0;
        ASSERT_EQ(get_index_item(pdp, c, &b), FS_OK);
        EXPECT_EQ(b, want[c - 2]) << "cluster " << c;
    }
    uint8_t b = 0;
    ASSERT_EQ(get_index_item(pdp, 1, &b), FS_OK);
    EXPECT_EQ(b, 0xFF) << "reserved clusters are not touched";
    EXPECT_EQ(restore_clus_index_range(pdp, 990, 0xFFFFFFFFu), FS_OK) << "the range is cut at the last cluster";
}

}  // namespace
