// Repair at mount of a partition that was being written when the disk was
// pulled (status not 170): the open recording is closed where it was cut
// off, the current cluster moves to the last properly closed cluster, the
// index behind it is rebuilt - all in memory, never on the image.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/wfs/volume/image_mount.h"
#include "wfs/cache/cache.h"
#include "wfs/device/fault_device.h"
#include "wfs/file/records.h"
#include "wfs/volume/restore.h"

using namespace imgmount;
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

// The bytes of some sectors of an image file.
std::vector<char> sectors_of(const std::string &path, const std::vector<uint64_t> &sectors)
{
    std::ifstream f(path, std::ios::binary);
    std::vector<char> out;
    for (uint64_t s : sectors) {
        std::vector<char> buf(512);
        f.seekg(static_cast<std::streamoff>(s * 512));
        f.read(buf.data(), 512);
        out.insert(out.end(), buf.begin(), buf.end());
    }
    return out;
}

// Pushes every cached block out by reading many others.
void churn_cache(DriverParam *pdp)
{
    for (uint32_t s = 0; s < 400; ++s)
        release_block(bread(pdp->dev, pdp->start_sector + pdp->data_offset + s));
}

class Restore : public ::testing::Test {
protected:
    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        wfs_log_set_hook(capture, nullptr);
        g_log.clear();
    }
    void TearDown() override
    {
        wfs_log_set_hook(nullptr, nullptr);
        unmount_all();
    }
};

TEST_F(Restore, OpenRecordingIsClosedWhereItWasCutOff)
{
    testimg::DiskPlan disk;
    disk.partitions[0].stale_clusters = 3;  // the block was last saved three clusters back
    testimg::ImageBuilder b{disk};
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    testimg::RecordingPlan open = rec(1, pack_time(2024, 5, 1, 10, 2, 0), 30);
    open.cut_off = true;
    int open_id = b.add(open);
    const std::string path = temp_path("cut_off");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);
    const testimg::ManifestRecording &r = m.recordings.at(open_id);
    ASSERT_EQ(mp.status, 0u);
    ASSERT_EQ(mp.current_cluster + 3, mp.write_position);
    ASSERT_EQ(r.clusters.back(), mp.write_position);
    // What the repair changes: the parameter block, and the directory,
    // backup directory and index sectors of the open recording.
    std::vector<uint64_t> touched = {m.base_lba + mp.start + 24};
    for (uint32_t c : r.clusters) {
        touched.push_back(m.base_lba + mp.start + mp.layout.dir_offset + c / 16);
        touched.push_back(m.base_lba + mp.start + mp.layout.backdir_offset + c / 16);
        touched.push_back(m.base_lba + mp.start + mp.layout.index_offset + c / 512);
    }
    const std::vector<char> before = sectors_of(path, touched);

    EXPECT_EQ(mount_images({path}), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->status, 170u);
    EXPECT_EQ(pdp->current_cluster, mp.write_position) << "moved to the cluster where the recording was cut off";

    // The recording is closed in the cached directory, and stays closed once
    // its blocks have left the cache.
    churn_cache(pdp);
    dir_item last, first;
    ASSERT_EQ(get_dir_item_info(pdp, r.clusters.back(), &last), FS_OK);
    EXPECT_EQ(last.down_cluster_no, 0u);
    EXPECT_EQ(last.end_length, r.end_length);
    EXPECT_EQ(last.end_time, r.end_time);
    ASSERT_EQ(get_dir_item_info(pdp, r.first_cluster, &first), FS_OK);
    EXPECT_EQ(first.item_num, r.item_num);
    EXPECT_EQ(first.end_length, r.end_length);
    EXPECT_EQ(first.end_time, r.end_time);
    wfs_time end1 = 0;
    ASSERT_EQ(get_dir_item_time1(pdp, pdp->current_cluster, &end1), FS_OK);
    EXPECT_EQ(pdp->end_time1, end1);

    // The index of the clusters after the stale save point follows the
    // directory.
    for (uint32_t c = mp.current_cluster; c <= mp.write_position; ++c) {
        dir_item it;
        uint8_t b = 0;
        ASSERT_EQ(get_dir_item_info(pdp, c, &it), FS_OK);
        ASSERT_EQ(get_index_item(pdp, c, &b), FS_OK);
        EXPECT_EQ(b, index_item_make(it.channel, index_flag_for_dir_flag(it.dir_flag))) << "cluster " << c;
    }
    // The recording reads to its end through the index.
    uint32_t c = r.first_cluster, steps = 0;
    while (index_search(pdp, INDEX_SEARCH_NEXT_CLUS, c, 0, &c, 0xFF) == FS_OK)
        ++steps;
    EXPECT_EQ(steps, r.item_num);

    // The time sections end at the repaired current cluster.
    EXPECT_EQ(pdp->time_sections[0].end_clus, mp.write_position);
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    uint64_t tc = pdp->total_cluster;
    EXPECT_EQ(info.free_space, (tc - (tc / 2097152 + 1) - mp.write_position) * pdp->sec_per_clus / 2048);

    unmount_all();
    EXPECT_EQ(sectors_of(path, touched), before) << "the image itself is never written";
}

TEST_F(Restore, ScanStopsWhereAnOlderPassBegins)
{
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = 400;
    disk.partitions[0].rev_clus = 2;
    disk.partitions[0].status = 0;
    testimg::ImageBuilder b{disk};
    for (int h = 0; h < 3; ++h)
        b.add(rec(0, pack_time(2024, 5, 1, 10 + h, 0, 0), 120));
    const std::string path = temp_path("restore_wrapped");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);
    ASSERT_NE(mp.start_cluster2, 0u);

    EXPECT_EQ(mount_images({path}), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    // Past the current cluster lie the older pass's clusters, recorded hours
    // earlier: the current cluster stays.
    EXPECT_EQ(pdp->current_cluster, mp.current_cluster);
    // The previous pass is kept an interval (256 clusters) ahead.
    if (mp.current_cluster + 256 < mp.end_cluster2) {
        EXPECT_EQ(pdp->start_cluster2, mp.current_cluster + 256);
        wfs_time t = 0;
        get_dir_item_time(pdp, pdp->start_cluster2, &t);
        EXPECT_EQ(pdp->start_time2, t);
    } else {
        EXPECT_EQ(pdp->start_cluster2, 0u);
        EXPECT_EQ(pdp->end_cluster2, 0u);
        EXPECT_EQ(pdp->start_time2, 0u);
        EXPECT_EQ(pdp->end_time2, 0u);
    }
}

TEST_F(Restore, PicturePartitionKeepsTheOlderPassCloser)
{
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = 600;
    disk.partitions[0].rev_clus = 2;
    disk.partitions[0].status = 0;
    disk.partitions[0].driver_type = testimg::kDriverPicture;
    testimg::ImageBuilder b{disk};
    for (int i = 0; i < 150; ++i) {
        testimg::RecordingPlan p = rec(0, pack_time(2024, 5, 1, 10, i / 60, i % 60), 1);
        p.picture = true;
        b.add(p);
    }
    const std::string path = temp_path("restore_picture");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);
    ASSERT_NE(mp.start_cluster2, 0u) << "the pictures did not wrap the ring";
    mount_images({path});
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    if (pdp->current_cluster + RESTORE_INTERVAL_PICTURE < mp.end_cluster2)
        EXPECT_EQ(pdp->start_cluster2, pdp->current_cluster + RESTORE_INTERVAL_PICTURE);
    else
        EXPECT_EQ(pdp->start_cluster2, 0u);
}

TEST_F(Restore, EmptyInterruptedPartitionStaysEmpty)
{
    testimg::DiskPlan disk;
    disk.partitions[0].status = 0;
    testimg::ImageBuilder b{disk};
    const std::string path = temp_path("restore_empty");
    build(b, path);
    EXPECT_EQ(mount_images({path}), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->current_cluster, 0u) << "no recording appears out of never-written records";
    EXPECT_EQ(pdp->status, 170u);
    EXPECT_EQ(pdp->time_sections[0].end_clus, 0u);
}

TEST_F(Restore, CleanPartitionIsLeftAlone)
{
    testimg::DiskPlan disk;
    disk.partitions[0].stale_clusters = 3;
    disk.partitions[0].status = 170;
    testimg::ImageBuilder b{disk};
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    const std::string path = temp_path("restore_clean");
    testimg::Manifest m = build(b, path);
    mount_images({path});
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->current_cluster, m.partitions[0].current_cluster) << "a clean partition is not repaired";
}

TEST_F(Restore, UnreadableDirectoryKeepsThePartitionMounted)
{
    testimg::DiskPlan disk;
    disk.partitions[0].stale_clusters = 3;
    testimg::ImageBuilder b{disk};
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    testimg::RecordingPlan open = rec(1, pack_time(2024, 5, 1, 10, 2, 0), 30);
    open.cut_off = true;
    b.add(open);
    const std::string path = temp_path("restore_fault");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);

    BlockDevice *img = nullptr;
    ASSERT_EQ(image_device_open(path.c_str(), &img), 0);
    BlockDevice *faulty = fault_device_create(img, true);
    // The directory sector of the first cluster after the saved position
    // cannot be read.
    uint32_t c = mp.current_cluster + 1;
    uint64_t sector = m.base_lba + mp.start + mp.layout.dir_offset + c / 16;
    if ((mp.current_cluster / 16) == (c / 16))
        c = mp.current_cluster;  // same sector: the scan fails on its first cluster
    fault_device_fail(faulty, sector, 1);

    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    register_drive_device(faulty, "faulty");
    scan_recorder_disks();
    int count = 0;
    wfs_file_sys_init(&count, 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr) << "the partition stays mounted with what the repair could do";
    EXPECT_TRUE(said("Error 4 : get_dir_item_info(pdp,clus1,pdir_item)"));
    EXPECT_TRUE(said("mounted as far as repaired"));
    EXPECT_GT(fault_device_failures(faulty), 0u);
}

TEST_F(Restore, RepairDirectlyOnAHandLaidWindow)
{
    // Recording at current_cluster + 3 left open: the canonical case, laid
    // out by hand in a built image's directory through the cache.
    testimg::DiskPlan disk;
    testimg::ImageBuilder b{disk};
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    const std::string path = temp_path("restore_direct");
    build(b, path);
    mount_images({path});
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    const uint32_t cur = pdp->current_cluster;

    // A new recording of channel 3 over cur+1 .. cur+3, the last still open,
    // and then never-written records.
    wfs_time t0 = pack_time(2024, 5, 1, 10, 5, 0);
    for (uint32_t k = 0; k < 3; ++k) {
        dir_item it{};
        it.dir_flag = k == 0 ? DIR_FLAG_FIRST : DIR_FLAG_CONT;
        it.item_num = static_cast<uint16_t>(k);
        it.up_cluster_no = k == 0 ? 0 : cur + k;
        it.down_cluster_no = k == 2 ? DIR_DOWN_OPEN : cur + k + 2;
        it.start_time = wfs_time_add(t0, 10 * k);
        it.end_time = wfs_time_add(t0, 10 * k + 10);
        it.end_length = k == 2 ? 6 : 0;
        it.first_cluster_no = cur + 1;
        it.channel = 3;
        it.AV = 2;
        ASSERT_EQ(set_dir_item_info(pdp, cur + 1 + k, &it, false), FS_OK);
    }
    ASSERT_EQ(restore_fs41(pdp), 0u);
    EXPECT_EQ(pdp->current_cluster, cur + 3);
    dir_item first;
    ASSERT_EQ(get_dir_item_info(pdp, cur + 1, &first), FS_OK);
    EXPECT_EQ(first.item_num, 2);
    EXPECT_EQ(first.end_length, 6);
    EXPECT_EQ(first.end_time, wfs_time_add(t0, 30));
    uint8_t idx = 0;
    ASSERT_EQ(get_index_item(pdp, cur + 3, &idx), FS_OK);
    EXPECT_EQ(idx, index_item_make(3, INDEX_FLAG_CONT));

    // A continuation that its predecessor does not link to ends the scan.
    dir_item orphan{};
    orphan.dir_flag = DIR_FLAG_CONT;
    orphan.up_cluster_no = cur + 1;  // which links elsewhere
    orphan.down_cluster_no = 0;
    orphan.start_time = wfs_time_add(t0, 40);
    orphan.end_time = wfs_time_add(t0, 50);
    ASSERT_EQ(set_dir_item_info(pdp, cur + 4, &orphan, false), FS_OK);
    ASSERT_EQ(restore_fs41(pdp), 0u);
    EXPECT_EQ(pdp->current_cluster, cur + 3);

    // An up link outside the partition ends the scan too, without a read.
    orphan.up_cluster_no = 0xFFFFFFF0u;
    ASSERT_EQ(set_dir_item_info(pdp, cur + 4, &orphan, false), FS_OK);
    ASSERT_EQ(restore_fs41(pdp), 0u);
    EXPECT_EQ(pdp->current_cluster, cur + 3);
}

}  // namespace
