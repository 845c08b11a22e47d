// Finding recorder disks among drives: real sparse image files as drives,
// scanned with the images-only drive list.
#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>

#include "tests/wfs/device/sparse_image.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/memory_device.h"
#include "wfs/device/recorder_disks.h"

namespace {

class RecorderScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        clear_registered_drives();
        set_images_only(true);
    }
    void TearDown() override
    {
        close_recorder_disks();
        clear_registered_drives();
    }
    std::string image(const std::string &name) { return m_dir.file(name); }
    sparse::TempDir m_dir;
};

int open_fd_count()
{
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    while (readdir(d))
        ++n;
    closedir(d);
    return n;
}

TEST_F(RecorderScan, MbrWithBase2048ReadsRelativeToTheVolume)
{
    const std::string img = image("mbr.img");
    ASSERT_TRUE(sparse::make_recorder_image(img, 2048, 200000));
    ASSERT_TRUE(sparse::write_stamp(img, 2049));
    ASSERT_TRUE(sparse::write_stamp(img, 199999));
    register_image_file(img.c_str());

    EXPECT_EQ(scan_recorder_disks(), 0);
    ASSERT_EQ(g_ide_info_wfs.ide_num, 1);
    EXPECT_EQ(g_ide_info_wfs.ide_port, 4);
    EXPECT_EQ(g_ide_info_wfs.ide_mask, 0u);
    EXPECT_EQ(g_ide_info_wfs.ide_bad, 0u);
    EXPECT_EQ(g_recorder_disks.base_lba[0], 2048u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[0], 200000u);
    EXPECT_EQ(recorder_disk_drive_no(0), 0);
    EXPECT_EQ(recorder_disk_source(0), img);

    uint8_t buf[1024];
    ASSERT_EQ(ide_read_sectors(0, 1, 0, buf), 0);
    EXPECT_EQ(std::memcmp(buf, "WFS0.4", 7), 0) << "sector 0 of the disk is drive sector 2048";
    ASSERT_EQ(ide_read_sectors(0, 2, 0, buf), 0);
    EXPECT_EQ(sparse::stamp_number(buf + 512), 2049u);
    ASSERT_EQ(ide_read_sectors(0, 1, 199999 - 2048, buf), 0);
    EXPECT_EQ(sparse::stamp_number(buf), 199999u);
    // Past the end of the image: a clean failure, never a short success.
    EXPECT_EQ(ide_read_sectors(0, 1, 200000 - 2048, buf), -1);
    EXPECT_EQ(ide_read_sectors(0, 2, 199999 - 2048, buf), -1);
    EXPECT_EQ(ide_read_sectors(0, 1, UINT64_MAX, buf), -1);
    // No such disk.
    EXPECT_EQ(ide_read_sectors(1, 1, 0, buf), -1);
    EXPECT_EQ(ide_read_sectors(255, 1, 0, buf), -1);
    EXPECT_EQ(ide_rescan(), 1);
}

TEST_F(RecorderScan, BareVolumeAndOldHeadsHaveBaseZero)
{
    const std::string bare = image("bare.img");
    const std::string old = image("old.img");
    ASSERT_TRUE(sparse::make_recorder_image(bare, 0, 4096));
    ASSERT_TRUE(sparse::make_recorder_image(old, 0, 8192, "WFS0.3"));
    register_image_file(bare.c_str());
    register_image_file(old.c_str());

    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 2);
    EXPECT_EQ(g_recorder_disks.base_lba[0], 0u);
    EXPECT_EQ(g_recorder_disks.base_lba[1], 0u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[0], 4096u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[1], 8192u);
    uint8_t buf[512];
    ASSERT_EQ(ide_read_sectors(1, 1, 0, buf), 0);
    EXPECT_EQ(std::memcmp(buf, "WFS0.3", 7), 0);
}

TEST_F(RecorderScan, DiskNumbersStayDenseAmongOtherDrives)
{
    // Drives 0 and 2 are not recorder disks; 1 and 3 are.
    const std::string d0 = image("d0.img"), d1 = image("d1.img"), d2 = image("d2.img"), d3 = image("d3.img");
    ASSERT_TRUE(sparse::make_file(d0, 1 << 20));
    ASSERT_TRUE(sparse::make_recorder_image(d1, 2048, 100000));
    std::vector<uint8_t> fat(512, 0);
    std::memcpy(fat.data() + 3, "MSDOS5.0", 8);
    ASSERT_TRUE(sparse::make_file(d2, 1 << 20));
    ASSERT_TRUE(sparse::write_at(d2, 0, fat.data(), fat.size()));
    ASSERT_TRUE(sparse::make_recorder_image(d3, 63, 70000));
    for (const std::string &p : {d0, d1, d2, d3})
        register_image_file(p.c_str());

    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 2);
    EXPECT_EQ(recorder_disk_drive_no(0), 1);
    EXPECT_EQ(recorder_disk_drive_no(1), 3);
    EXPECT_EQ(recorder_disk_source(0), d1);
    EXPECT_EQ(recorder_disk_source(1), d3);
    EXPECT_EQ(g_recorder_disks.base_lba[0], 2048u);
    EXPECT_EQ(g_recorder_disks.base_lba[1], 63u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[0], 100000u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[1], 70000u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[2], 0u);
    EXPECT_EQ(g_recorder_disks.handle[2], nullptr);
    EXPECT_EQ(recorder_disk_drive_no(2), -1);
    EXPECT_EQ(ide_rescan(), 2);
    EXPECT_TRUE(unreadable_drives().empty());
}

TEST_F(RecorderScan, DamagedAndForeignDrivesAreRejectedWithoutHarm)
{
    const std::string empty = image("empty.img");
    const std::string tiny = image("tiny.img");
    const std::string truncated = image("truncated.img");
    const std::string far = image("far.img");
    const std::string wrong = image("wrong.img");
    const std::string ones = image("ones.img");
    ASSERT_TRUE(sparse::make_file(empty, 0));
    ASSERT_TRUE(sparse::make_file(tiny, 100));
    ASSERT_TRUE(sparse::write_at(tiny, 0, "WFS0.4", 7));  // less than a sector
    // MBR says 2048, but the image ends at sector 1000.
    ASSERT_TRUE(sparse::make_recorder_image(truncated, 2048, 4096));
    ASSERT_EQ(truncate(truncated.c_str(), 1000 * 512), 0);
    // MBR start far past the end.
    ASSERT_TRUE(sparse::make_file(far, 1 << 20));
    std::vector<uint8_t> m = sparse::mbr(0xFFFFFFFFu);
    ASSERT_TRUE(sparse::write_at(far, 0, m.data(), m.size()));
    // Candidate sector readable but not a WFS head.
    ASSERT_TRUE(sparse::make_recorder_image(wrong, 2048, 4096, "NTFS  "));
    std::vector<uint8_t> all_ones(4096, 0xFF);
    ASSERT_TRUE(sparse::make_file(ones, 4096));
    ASSERT_TRUE(sparse::write_at(ones, 0, all_ones.data(), all_ones.size()));
    const std::string missing = image("missing.img");
    const std::string good = image("good.img");
    ASSERT_TRUE(sparse::make_recorder_image(good, 2048, 10000));
    for (const std::string &p : {empty, tiny, truncated, far, wrong, ones, missing, m_dir.file(""), good})
        register_image_file(p.c_str());

    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 1);
    EXPECT_EQ(recorder_disk_source(0), good);
    EXPECT_EQ(recorder_disk_drive_no(0), 8);
    EXPECT_EQ(ide_rescan(), 1);

    // The missing file and the folder are worth telling; the others opened.
    std::vector<UnreadableDrive> bad = unreadable_drives();
    ASSERT_EQ(bad.size(), 2u);
    EXPECT_EQ(bad[0].source, missing);
    EXPECT_EQ(bad[0].drive_no, 6);
    EXPECT_EQ(unreadable_drive_text(bad[0]), "cannot read " + missing + ": no such file or directory");
    EXPECT_EQ(bad[1].drive_no, 7);
    EXPECT_EQ(unreadable_drive_text(bad[1]), "cannot read " + m_dir.file("") + ": is a directory");
}

TEST_F(RecorderScan, NothingFoundLeavesAnEmptyTable)
{
    const std::string d0 = image("plain.img");
    ASSERT_TRUE(sparse::make_file(d0, 1 << 20));
    register_image_file(d0.c_str());
    scan_recorder_disks();
    EXPECT_EQ(g_ide_info_wfs.ide_num, 0);
    for (int i = 0; i < WFS_CAP_SLOTS; ++i)
        EXPECT_EQ(g_ide_info_wfs.ide_cap[i], 0u);
    EXPECT_EQ(ide_rescan(), 0);
    UnreadableDrive denied{0, "/dev/sdb", EACCES, {}};
    EXPECT_EQ(unreadable_drive_text(denied), "cannot read /dev/sdb: permission denied");
}

TEST_F(RecorderScan, AtMostSixteenDisksAndNoHandleLeaks)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 18; ++i) {
        paths.push_back(image("r" + std::to_string(i) + ".img"));
        ASSERT_TRUE(sparse::make_recorder_image(paths.back(), 2048, 4096));
        register_image_file(paths.back().c_str());
    }
    scan_recorder_disks();
    EXPECT_EQ(g_ide_info_wfs.ide_num, WFS_MAX_RECORDER_DISKS);
    EXPECT_EQ(recorder_disk_drive_no(15), 15);
    EXPECT_EQ(ide_rescan(), WFS_MAX_RECORDER_DISKS);

    // Every further scan closes the handles of the one before.
    int before = open_fd_count();
    for (int i = 0; i < 5; ++i) {
        scan_recorder_disks();
        ide_rescan();
    }
    EXPECT_EQ(open_fd_count(), before);
    close_recorder_disks();
    EXPECT_EQ(open_fd_count(), before - WFS_MAX_RECORDER_DISKS);
    EXPECT_EQ(g_ide_info_wfs.ide_num, 0);
}

TEST_F(RecorderScan, RegisteredDevicesAndAttachedDisks)
{
    BlockDevice *mem = memory_device_create(10000);
    std::vector<uint8_t> m = sparse::mbr(100), h = sparse::volume_head();
    ASSERT_EQ(memory_device_put(mem, 0, m.data(), m.size()), 0);
    ASSERT_EQ(memory_device_put(mem, 100 * 512, h.data(), h.size()), 0);
    register_drive_device(mem, "memory:0");
    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 1);
    EXPECT_EQ(recorder_disk_source(0), "memory:0");
    EXPECT_EQ(g_recorder_disks.base_lba[0], 100u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[0], 10000u);

    // A blank device goes in without the recognition test.
    int d = attach_recorder_disk(memory_device_create(5000), "blank", 0, 0);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(g_ide_info_wfs.ide_num, 2);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[1], 5000u);
    uint8_t buf[512];
    EXPECT_EQ(ide_read_sectors(1, 1, 4999, buf), 0);
    EXPECT_EQ(ide_read_sectors(1, 1, 5000, buf), -1);
}

TEST_F(RecorderScan, SectorsBeyondTwoTebibytesAreAddressed)
{
    const std::string big = image("big.img");
    const uint64_t sectors = (3ull << 40) / 512;  // 3 TiB, sparse
    if (!sparse::make_file(big, sectors * 512))
        GTEST_SKIP() << "file system cannot hold a 3 TiB sparse file";
    ASSERT_TRUE(sparse::make_recorder_image(big, 2048, sectors));
    const uint64_t high = (1ull << 32) + 12345;  // above 2^32 sectors
    ASSERT_TRUE(sparse::write_stamp(big, high));
    register_image_file(big.c_str());
    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 1);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[0], sectors);
    uint8_t buf[512];
    ASSERT_EQ(ide_read_sectors(0, 1, high - 2048, buf), 0);
    EXPECT_EQ(sparse::stamp_number(buf), high);
}

TEST(BlockDeviceList, WholeDisksOnlyInNameOrder)
{
    std::vector<std::string> devs = list_block_devices();
    for (size_t i = 0; i < devs.size(); ++i) {
        ASSERT_EQ(devs[i].rfind("/dev/", 0), 0u) << devs[i];
        std::string name = devs[i].substr(5);
        // A partition has a "partition" attribute in sysfs.
        std::string attr = "/sys/class/block/" + name + "/partition";
        EXPECT_NE(access(attr.c_str(), F_OK), 0) << name << " is a partition";
        if (i > 0) {
            EXPECT_LT(devs[i - 1], devs[i]);
        }
    }
    // Without images-only, the block devices come first, then the images.
    clear_registered_drives();
    set_images_only(false);
    register_image_file("/nonexistent/x.img");
    std::vector<DriveSlot> slots = list_drives();
    ASSERT_EQ(slots.size(), devs.size() + 1);
    EXPECT_EQ(slots.back().source, "/nonexistent/x.img");
    EXPECT_EQ(slots.back().drive_no, static_cast<int>(devs.size()));
    EXPECT_FALSE(slots.back().is_block_device);
    clear_registered_drives();
    set_images_only(true);
}

}  // namespace
