// Formatting disks and partitions, read back from the image file: the head,
// the partition table and its copy, the key-parameter and parameter blocks,
// the fresh directory and index areas; what is refused; and that a disk
// opened read-only is never changed by a format.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "wfs/cache/cache.h"
#include "wfs/common/bytes.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/records.h"
#include "wfs/volume/format.h"
#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

namespace {

struct FileDisk {
    int fd;
    uint64_t sectors;
};

int rw(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf, bool write)
{
    FileDisk *d = static_cast<FileDisk *>(dev->priv);
    if (sector + count > d->sectors)
        return -1;
    size_t n = size_t(count) * 512;
    ssize_t r = write ? pwrite(d->fd, buf, n, off_t(sector * 512)) : pread(d->fd, buf, n, off_t(sector * 512));
    return r == ssize_t(n) ? 0 : -1;
}
int dev_read(BlockDevice *dev, uint64_t s, uint32_t c, void *b) { return rw(dev, s, c, b, false); }
int dev_write(BlockDevice *dev, uint64_t s, uint32_t c, const void *b) { return rw(dev, s, c, const_cast<void *>(b), true); }
uint64_t dev_cap(BlockDevice *dev) { return static_cast<FileDisk *>(dev->priv)->sectors; }
void dev_close(BlockDevice *dev)
{
    FileDisk *d = static_cast<FileDisk *>(dev->priv);
    close(d->fd);
    delete d;
    delete dev;
}
const BlockDeviceOps k_rw_ops = {"test-rw", dev_read, dev_write, dev_cap, dev_close, nullptr};

const uint64_t kSectors = 4000000;  // about 1.9 GiB, sparse

class Format : public ::testing::Test {
protected:
    std::string m_path;

    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        wfs_set_format_fallbacks(nullptr, nullptr);
        char tmpl[] = "/tmp/orvelle-format-XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, off_t(kSectors * 512)), 0);
        close(fd);
        m_path = tmpl;
    }

    void TearDown() override
    {
        wfs_set_format_fallbacks(nullptr, nullptr);
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(false);
        unlink(m_path.c_str());
    }

    void attach_writable()
    {
        close_recorder_disks();
        clear_registered_drives();
        int fd = open(m_path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        BlockDevice *dev = new BlockDevice;
        dev->ops = &k_rw_ops;
        dev->priv = new FileDisk{fd, kSectors};
        ASSERT_EQ(attach_recorder_disk(dev, m_path.c_str(), 0, 0), 0);
        int n = 0;
        wfs_file_sys_init(&n, 0);
    }

    // The image as the player opens it: read-only, found by the scan.
    int attach_read_only()
    {
        close_recorder_disks();
        clear_registered_drives();
        register_image_file(m_path.c_str());
        set_images_only(true);
        scan_recorder_disks();
        int n = 0;
        wfs_file_sys_init(&n, 0);
        return n;
    }

    std::vector<uint8_t> sector(uint64_t s)
    {
        std::vector<uint8_t> b(512);
        int fd = open(m_path.c_str(), O_RDONLY);
        EXPECT_EQ(pread(fd, b.data(), 512, off_t(s * 512)), 512);
        close(fd);
        return b;
    }

    // A cheap fingerprint of everything the image holds.
    std::string digest()
    {
        int fd = open(m_path.c_str(), O_RDONLY);
        std::vector<uint64_t> buf(1 << 17);
        uint64_t h = 1469598103934665603ull, at = 0;
        ssize_t n;
        while ((n = read(fd, buf.data(), buf.size() * 8)) > 0) {
            for (size_t i = 0; i < size_t(n) / 8; ++i) {
                if (buf[i] != 0)
                    h = (h ^ buf[i] ^ (at + i)) * 1099511628211ull;
            }
            at += size_t(n) / 8;
        }
        close(fd);
        return std::to_string(h);
    }

    void format_two_partitions()
    {
        attach_writable();
        WfsPartition t[2] = {{0, 2500000}, {2500000, kSectors - 2500000}};
        ASSERT_EQ(wfs_write_partitions(0, t, 2), 0);
        ASSERT_EQ(wfs_format_driver(0, 0, 4096), 0);
        ASSERT_EQ(wfs_format_driver_type(0, 1, 512, DRIVER_TYPE_PICTURE), 0);
        sync_all_buffers();
    }
};

}  // namespace

TEST_F(Format, LayoutWrittenToTheImage)
{
    format_two_partitions();

    std::vector<uint8_t> head = sector(0);
    EXPECT_TRUE(volume_head_is_current(head.data()));
    PartitionTable pt;
    decode_partition_table(sector(PART_TABLE_SECTOR).data(), &pt);
    EXPECT_EQ(pt.entry[0].total, 2500000u);
    EXPECT_EQ(pt.entry[1].start, 2500000u);
    EXPECT_EQ(pt.entry[1].written, 1u);
    EXPECT_EQ(pt.entry[2].total, 0u);
    EXPECT_EQ(sector(PART_TABLE_SECTOR), sector(PART_TABLE_SECTOR + PARAM_COPY_DISTANCE));

    for (int part = 0; part < 2; ++part) {
        SCOPED_TRACE(part);
        const uint64_t start = pt.entry[part].start;
        KeyParamBlock kp;
        decode_key_param(sector(start + KEY_PARAM_SECTOR).data(), &kp);
        EXPECT_TRUE(key_param_valid(&kp, 0));
        EXPECT_EQ(kp.version, WFS_LAYOUT_VERSION);
        EXPECT_EQ(sector(start + KEY_PARAM_SECTOR), sector(start + KEY_PARAM_SECTOR + PARAM_COPY_DISTANCE));
        PDivP dp;
        ASSERT_EQ(compute_pdivp(pt.entry[part].total, &kp, part, &dp), 0);
        EXPECT_EQ(kp.dir_offset, dp.dir_offset);
        EXPECT_EQ(kp.index_offset, dp.index_offset);

        DriverParam d;
        std::memset(&d, 0, sizeof d);
        ASSERT_EQ(decode_partition_param(sector(start + PART_PARAM_SECTOR).data(), &d), 0);
        EXPECT_EQ(d.status, uint32_t(PARTITION_STATUS_CLEAN));
        EXPECT_EQ(d.sec_per_clus, part == 0 ? 4096u : 512u);
        EXPECT_EQ(d.driver_type, part == 0 ? 0u : uint32_t(DRIVER_TYPE_PICTURE));
        EXPECT_EQ(d.current_cluster, 0u);
        EXPECT_EQ(d.data_offset, dp.data_offset);
        EXPECT_GE(d.rev_clus, 1u) << "cluster 0 never holds a recording";
        EXPECT_LT(d.rev_clus, d.total_cluster);
        EXPECT_LE(uint64_t(d.data_offset) + uint64_t(d.total_cluster) * d.sec_per_clus, pt.entry[part].total);
        EXPECT_TRUE(driver_geometry_ok(&d, pt.entry[part].total));
        if (d.ud_offset != 0) {
            EXPECT_GE(d.ud_offset, d.data_offset);
            uint64_t ud_end = d.ud_offset + (uint64_t(d.ud_item_count) * 16 + 511) / 512;
            EXPECT_LE(ud_end, d.data_offset + uint64_t(d.rev_clus) * d.sec_per_clus)
                << "the user-data ring stays inside the reserved clusters";
        }

        // Fresh records: reserved clusters 0xFF, data clusters 0xFE; index
        // bytes the writer may take, reserved ones flag 3.
        dir_item item;
        std::vector<uint8_t> dir0 = sector(start + d.dir_offset);
        dir_item_decode(dir0.data(), &item);
        EXPECT_EQ(item.dir_flag, 0xFF);
        uint32_t c = d.rev_clus + 3;
        std::vector<uint8_t> dirc = sector(start + d.dir_offset + c / 16);
        dir_item_decode(dirc.data() + (c % 16) * 32, &item);
        EXPECT_EQ(item.dir_flag, DIR_FLAG_UNWRITTEN);
        EXPECT_EQ(sector(start + d.backdir_offset + c / 16), dirc);
        std::vector<uint8_t> idx = sector(start + d.index_offset);
        EXPECT_EQ(index_item_flag(idx[0]), unsigned(INDEX_FLAG_RESERVED));
        EXPECT_EQ(idx[d.rev_clus], INDEX_BYTE_FRESH);
        EXPECT_NE(index_item_flag(idx[d.rev_clus]), unsigned(INDEX_FLAG_RESERVED));
        EXPECT_EQ(sector(start + d.mark_index_offset), std::vector<uint8_t>(512, 0xFF));
    }
    std::vector<uint8_t> face = sector(pt.entry[0].start + g_part_key_param[0][0].face_lib_param_offset);
    EXPECT_TRUE(face_lib_record_valid(face.data()));

    // The player mounts both, empty.
    EXPECT_EQ(attach_read_only(), 2);
    DriverParam *p0 = get_pdp(0, 0);
    ASSERT_NE(p0, nullptr);
    EXPECT_EQ(p0->current_cluster, 0u);
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 1, &info), 0);
    EXPECT_EQ(info.driver_type, uint32_t(DRIVER_TYPE_PICTURE));
    EXPECT_GT(info.free_space, 0u);
}

TEST_F(Format, RefusesWhatCannotBeFormatted)
{
    attach_writable();
    WfsPartition t[2] = {{0, 2500000}, {2400000, 1000000}};
    EXPECT_EQ(wfs_write_partitions(0, t, 2), WFS_FORMAT_OVERLAP) << "overlapping partitions";
    t[1].start = 2500000;
    t[1].total = 20000;  // far too small for the system areas
    ASSERT_EQ(wfs_write_partitions(0, t, 2), 0);
    EXPECT_EQ(wfs_format_driver(0, 0, 3000), WFS_FORMAT_BAD_PARAM) << "not a power of two";
    EXPECT_EQ(wfs_format_driver(0, 0, 0), WFS_FORMAT_BAD_PARAM);
    EXPECT_EQ(wfs_format_driver(0, 0, 65536), WFS_FORMAT_BAD_PARAM) << "end_length cannot describe it";
    EXPECT_EQ(wfs_format_driver(0, 4, 4096), WFS_FORMAT_BAD_PARAM);
    EXPECT_EQ(wfs_format_driver(0, 1, 4096), WFS_FORMAT_BAD_SIZE);
    EXPECT_EQ(wfs_format_driver(0, 2, 4096), WFS_FORMAT_BAD_SIZE) << "an empty entry";

    // A partition whose parameter block forbids formatting keeps it.
    ASSERT_EQ(wfs_format_driver(0, 0, 4096), 0);
    sync_all_buffers();
    std::vector<uint8_t> block = sector(PART_PARAM_SECTOR);
    st_32(block.data() + PP_PROTECTED_FLAG, 1);
    int fd = open(m_path.c_str(), O_RDWR);
    ASSERT_EQ(pwrite(fd, block.data(), 512, PART_PARAM_SECTOR * 512), 512);
    close(fd);
    attach_writable();
    EXPECT_EQ(wfs_format_driver(0, 0, 4096), WFS_FORMAT_PROTECTED);
}

TEST_F(Format, ReadOnlyDisksAreNeverChanged)
{
    format_two_partitions();
    // Damage partition 1's parameter block so that it fails to mount.
    std::vector<uint8_t> block = sector(2500000 + PART_PARAM_SECTOR);
    st_32(block.data() + PP_CHECK, 0);
    int fd = open(m_path.c_str(), O_RDWR);
    ASSERT_EQ(pwrite(fd, block.data(), 512, off_t(2500000 + PART_PARAM_SECTOR) * 512), 512);
    close(fd);
    const std::string before = digest();

    // Without fallbacks the partition stays unmounted; with them it is
    // formatted in the cache only: mounted, empty, and the file is as it was.
    EXPECT_EQ(attach_read_only(), 1);
    EXPECT_EQ(get_pdp(0, 1), nullptr);
    wfs_use_format_fallbacks();
    EXPECT_EQ(attach_read_only(), 2);
    ASSERT_NE(get_pdp(0, 1), nullptr);
    EXPECT_EQ(get_pdp(0, 1)->current_cluster, 0u);
    ASSERT_NE(get_pdp(0, 0), nullptr) << "the sound partition is untouched";
    EXPECT_EQ(wfs_format_driver(0, 0, 4096), 0);
    sync_all_buffers();
    close_recorder_disks();
    EXPECT_EQ(digest(), before);
}

TEST_F(Format, BlankDiskIsFormattedByTheFallback)
{
    wfs_use_format_fallbacks();
    attach_writable();  // initialisation finds no head and formats the disk
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->sec_per_clus, 4096u);
    EXPECT_EQ(pdp->start_sector, 0u);
    sync_all_buffers();
    EXPECT_TRUE(volume_head_is_current(sector(0).data()));
    wfs_set_format_fallbacks(nullptr, nullptr);
    EXPECT_EQ(attach_read_only(), 1) << "what the fallback wrote is on the image";
}
