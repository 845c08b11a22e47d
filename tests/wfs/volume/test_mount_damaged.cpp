// Damaged, hostile and unusual disks at mount: every bad value ends with a
// refused partition, a clamped value or a status - never a crash, a hang or
// a read outside the partition. Also the old "WFS0.3" head and the capacity
// reconciliation.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/wfs/volume/image_mount.h"
#include "tests/wfs/volume/mini_volume.h"
#include "wfs/cache/cache.h"
#include "wfs/file/records.h"
#include "wfs/volume/format.h"

using testimg::pack_time;

namespace {

std::vector<std::string> g_log;
void capture(WfsLogKind, const char *, const char *text, void *) { g_log.push_back(text); }
bool said(const std::string &needle)
{
    for (const std::string &m : g_log)
        if (m.find(needle) != std::string::npos)
            return true;
    return false;
}

class Damaged : public ::testing::Test {
protected:
    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        wfs_log_set_hook(capture, nullptr);
        g_log.clear();
    }
    void TearDown() override { wfs_log_set_hook(nullptr, nullptr); }

    // Lays partition 0 with `p`, attaches the volume and initialises.
    int mount(mini::Volume &v, const mini::Part &p, const char *magic = "WFS0.4", bool qj = true)
    {
        v.head(magic, qj);
        v.partition(0, p);
        v.attach();
        int n = 0;
        return wfs_file_sys_init(&n, 0);
    }

    static mini::Part recorded()
    {
        mini::Part p;
        p.current = 40;
        p.start_time1 = mini::ptime(2024, 5, 1, 10, 0, 0);
        p.end_time1 = mini::ptime(2024, 5, 1, 11, 0, 0);
        return p;
    }
};

TEST_F(Damaged, CollisionListIsSortedOutAndBounded)
{
    mini::Volume v;
    mini::Part p = recorded();
    // out of order (30 after 35), below rev_clus (1), beyond total_cluster
    // (5000, 1000), a duplicate (35), and 0
    p.collisions = {10, 35, 30, 35, 1, 5000, 1000, 0, 60};
    ASSERT_EQ(mount(v, p), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    ASSERT_EQ(pdp->collision_count, 3u);
    EXPECT_EQ(pdp->collision_clusters[0], 10u);
    EXPECT_EQ(pdp->collision_clusters[1], 35u);
    EXPECT_EQ(pdp->collision_clusters[2], 60u);
    EXPECT_EQ(time_section_count(pdp), 5);
    // 10 and 35 lie in the current pass, 60 behind the current cluster.
    const TimeSection *ts = pdp->time_sections;
    EXPECT_EQ(ts[0].end_clus, 9u);
    EXPECT_EQ(ts[1].start_clus, 10u);
    EXPECT_EQ(ts[1].end_clus, 34u);
    EXPECT_EQ(ts[2].start_clus, 35u);
    EXPECT_EQ(ts[2].end_clus, 40u);
    EXPECT_EQ(ts[3].start_clus, 41u);
    EXPECT_EQ(ts[3].end_clus, 59u);
    EXPECT_EQ(pdp->collision_split, 2u);
}

TEST_F(Damaged, HugeCollisionCountIsClampedToTheSector)
{
    mini::Volume v;
    mini::Part p = recorded();
    p.total_cluster = 1000;
    for (uint32_t c = 0; c < 128; ++c)
        p.collisions.push_back(3 + c * 7);
    p.collision_count = 100000;
    ASSERT_EQ(mount(v, p), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->collision_count, 128u);
    EXPECT_EQ(time_section_count(pdp), 130);
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.section_count, 130u);
}

TEST_F(Damaged, ClusterNumbersBeyondTheDataAreaAreClamped)
{
    mini::Volume v;
    mini::Part p = recorded();
    p.current = 0xFFFFFF00u;
    p.start_cluster2 = 5000;
    p.end_cluster2 = 0xFFFFFFFFu;
    ASSERT_EQ(mount(v, p), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->current_cluster, 999u);
    EXPECT_EQ(pdp->start_cluster2, 999u);
    EXPECT_EQ(pdp->end_cluster2, 999u);
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    uint32_t c = 0;
    EXPECT_EQ(index_search(pdp, INDEX_SEARCH_START, 0, 0, &c, 0xFF), FS_NOT_FOUND);
}

TEST_F(Damaged, ImpossibleGeometryIsRefused)
{
    struct Case {
        const char *what;
        uint32_t sec_per_clus;
        uint32_t total_cluster;
        uint64_t sectors;
    } cases[] = {
        {"no sectors per cluster", 0, 1000, 12096},
        {"sectors per cluster not a power of two", 12, 1000, 16096},
        {"more clusters than the partition holds", 8, 5000, 12096},
        {"no clusters at all", 8, 0, 12096},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        g_log.clear();
        mini::Volume v;
        mini::Part p = recorded();
        p.sec_per_clus = k.sec_per_clus;
        p.total_cluster = k.total_cluster;
        p.sectors = k.sectors;
        EXPECT_EQ(mount(v, p), WFS_INIT_NO_RECORD_DRIVER);
        EXPECT_EQ(get_pdp(0, 0), nullptr);
        EXPECT_TRUE(said("mount fs partition failed."));
        DriverInfo info{};
        EXPECT_EQ(wfs_get_driver_info(0, 0, &info), 1);
        EXPECT_EQ(wfs_fs_mount(0, 0), -1);
    }
}

TEST_F(Damaged, ParameterBlockThatDoesNotDescribeThePartitionIsRefused)
{
    {
        mini::Volume v;
        mini::Part p = recorded();
        p.check_word = 0x12345678;
        EXPECT_EQ(mount(v, p), WFS_INIT_NO_RECORD_DRIVER);
        EXPECT_EQ(get_pdp(0, 0), nullptr);
        EXPECT_TRUE(said("temp sec check flag error"));
    }
    g_log.clear();
    {
        mini::Volume v;
        mini::Part p = recorded();
        p.block_start = 4096;  // the block names another start sector
        EXPECT_EQ(mount(v, p), WFS_INIT_NO_RECORD_DRIVER);
        EXPECT_EQ(get_pdp(0, 0), nullptr);
        EXPECT_TRUE(said("wfs_fs_mount failed, partition crashed"));
    }
}

TEST_F(Damaged, HeadMustBeExactlyTheCurrentVersion)
{
    const char *heads[] = {"WFS0.4X", "WFS0.5", "WFS"};
    for (const char *h : heads) {
        SCOPED_TRACE(h);
        mini::Volume v;
        EXPECT_EQ(mount(v, recorded(), h), WFS_INIT_NO_RECORD_DRIVER);
        EXPECT_EQ(get_pdp(0, 0), nullptr);
        WfsPartition t[4];
        EXPECT_EQ(wfs_read_partitions(0, t, 4), WFS_READ_PART_VERSION);
    }
    mini::Volume v;
    EXPECT_EQ(mount(v, recorded(), "WFS0.4", false), WFS_INIT_NO_RECORD_DRIVER) << "no Q J at 510";
    int ver = 0;
    check_disk_ver(0, &ver);
    EXPECT_EQ(ver, DISK_VER_MISMATCH);
    EXPECT_TRUE(said("check_disk_ver no match: ver WFS0.4, flg 00 00"));
}

TEST_F(Damaged, OldHeadStaysUsableAfterItsConvertedCopyLeavesTheCache)
{
    mini::Volume v;
    ASSERT_EQ(mount(v, recorded(), "WFS0.3"), 0);
    EXPECT_TRUE(wfs_disk_converted(0));
    EXPECT_TRUE(said("WFS0.3->WFS0.4 compat convert!"));
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->ud_offset, pdp->data_offset + 40960);
    EXPECT_EQ(pdp->ud_item_count, 0x280000u);
    EXPECT_EQ(pdp->ud_first_item, 1u);
    EXPECT_EQ(pdp->ud_last_item, 1u);

    for (uint32_t s = 0; s < 400; ++s)
        release_block(bread(0, pdp->data_offset + s));
    int ver = 0;
    check_disk_ver(0, &ver);
    EXPECT_EQ(ver, DISK_VER_OK);
    WfsPartition t[4];
    EXPECT_EQ(wfs_read_partitions(0, t, 4), 0);
    EXPECT_EQ(wfs_fs_mount(0, 0), 0);
}

TEST_F(Damaged, OldHeadOnABuiltImage)
{
    testimg::DiskPlan disk;
    disk.magic = "WFS0.3";
    testimg::ImageBuilder b{disk};
    b.add(imgmount::rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    const std::string path = imgmount::temp_path("old_head");
    testimg::Manifest m = imgmount::build(b, path);
    EXPECT_EQ(imgmount::mount_images({path}), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->current_cluster, m.partitions[0].current_cluster);
    imgmount::unmount_all();
}

TEST_F(Damaged, CapacityFollowsThePartitionTableOnlyWhenItDisagrees)
{
    mini::Part p = recorded();
    const uint64_t size = p.size();
    // A disk slot keeps the capacity of its first initialisation; start
    // these cases from a process that has seen no disk.
    std::fill(std::begin(disk_space), std::end(disk_space), 0);
    {
        mini::Volume v(size + 1000);  // 1000 sectors unused at the end: a match
        ASSERT_EQ(mount(v, p), 0);
        EXPECT_EQ(wfs_ide_cap(0), size + 1000);
    }
    std::fill(std::begin(disk_space), std::end(disk_space), 0);
    {
        mini::Volume v(size - 10000);  // the table claims 10 000 sectors more than the drive has
        mount(v, p);
        EXPECT_EQ(wfs_ide_cap(0), size);
        EXPECT_EQ(g_ide_info_wfs.ide_cap[0], size) << "the device layer's copy is corrected too";
    }
}

TEST_F(Damaged, TruncatedImageFailsReadsButNothingElse)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    b.add(imgmount::rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    const std::string path = imgmount::temp_path("truncated");
    testimg::Manifest m = imgmount::build(b, path);
    const testimg::ManifestPartition &mp = m.partitions[0];
    // Cut the image inside the directory area.
    uint64_t keep = (m.base_lba + mp.start + mp.layout.dir_offset + 1) * 512;
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(keep)), 0);
    imgmount::mount_images({path});
    DriverParam *pdp = get_pdp(0, 0);
    EXPECT_NE(pdp, nullptr) << "the parameter sectors are intact";
    if (pdp != nullptr) {
        dir_item it;
        EXPECT_EQ(get_dir_item_info(pdp, pdp->current_cluster, &it), FS_READ_ERROR);
        DriverInfo info{};
        EXPECT_EQ(wfs_get_driver_info(0, 0, &info), 0);
        uint32_t c;
        EXPECT_NE(index_search(pdp, INDEX_SEARCH_START, pdp->rev_clus, 0, &c, 0xFF), FS_OK);
    }
    imgmount::unmount_all();

    // So short that not even the partition table is there.
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>((m.base_lba + 10) * 512)), 0);
    int count = 5;
    EXPECT_EQ(imgmount::mount_images({path}, &count), WFS_INIT_NO_RECORD_DRIVER);
    EXPECT_EQ(count, 0);
    WfsPartition t[4];
    EXPECT_EQ(wfs_read_partitions(0, t, 4), WFS_READ_PART_TABLE);
    imgmount::unmount_all();
}

}  // namespace

namespace {

TEST_F(Damaged, WithTheFormatFallbacksABrokenPartitionComesBackEmpty)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    b.add(imgmount::rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    // The parameter block's check word is damaged.
    b.patch(24, 328, {0x11, 0x22, 0x33, 0x44});
    const std::string path = imgmount::temp_path("format_fallback");
    imgmount::build(b, path);

    EXPECT_EQ(imgmount::mount_images({path}), WFS_INIT_NO_RECORD_DRIVER);
    EXPECT_EQ(get_pdp(0, 0), nullptr) << "by default a partition that does not mount stays unmounted";

    wfs_use_format_fallbacks();
    EXPECT_EQ(imgmount::mount_images({path}), 0);
    wfs_set_format_fallbacks(nullptr, nullptr);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr) << "formatted in the cache and mounted again";
    EXPECT_EQ(pdp->current_cluster, 0u);
    EXPECT_EQ(pdp->sec_per_clus, 4096u);
    imgmount::unmount_all();
}

}  // namespace
