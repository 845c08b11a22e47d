// The writer on real image files: recordings written through the writer
// (interleaved channels, several clusters each, split by the pack interval,
// over a wrapped ring, cut off by a pulled disk, deleted) are read back from
// the image file by the reader - listed, opened by name and compared byte
// for byte.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/file_list.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"
#include "wfs/file/records.h"
#include "wfs/file/writer.h"
#include "wfs/volume/driver_tables.h"
#include "wfs/volume/format.h"
#include "wfs/volume/mount.h"

namespace {

// A read-write block device over an image file, standing in for the image
// tool's backend (which this test program does not link).
struct FileDisk {
    int fd;
    uint64_t sectors;
};

int fd_rw(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf, bool write)
{
    FileDisk *d = static_cast<FileDisk *>(dev->priv);
    if (sector + count > d->sectors)
        return -1;
    size_t n = size_t(count) * 512;
    ssize_t r = write ? pwrite(d->fd, buf, n, off_t(sector * 512)) : pread(d->fd, buf, n, off_t(sector * 512));
    return r == ssize_t(n) ? 0 : -1;
}
int fd_read(BlockDevice *dev, uint64_t s, uint32_t c, void *b) { return fd_rw(dev, s, c, b, false); }
int fd_write(BlockDevice *dev, uint64_t s, uint32_t c, const void *b)
{
    return fd_rw(dev, s, c, const_cast<void *>(b), true);
}
uint64_t fd_cap(BlockDevice *dev) { return static_cast<FileDisk *>(dev->priv)->sectors; }
void fd_close(BlockDevice *dev)
{
    FileDisk *d = static_cast<FileDisk *>(dev->priv);
    close(d->fd);
    delete d;
    delete dev;
}
const BlockDeviceOps k_ops = {"test-rw", fd_read, fd_write, fd_cap, fd_close, nullptr};

wfs_time g_now = 0;
wfs_time clock_now() { return g_now; }

const uint64_t kVolumeSectors = 1000000;  // about 110 clusters
const uint32_t kSecPerClus = 64;          // 32 KiB clusters

class Writer : public ::testing::Test {
protected:
    std::string m_path;
    uint64_t m_sectors = kVolumeSectors;
    uint32_t m_spc = kSecPerClus;
    uint32_t m_type = DRIVER_TYPE_RECORD;

    // Formats a fresh image of `sectors` with `spc` sectors per cluster.
    void reformat(uint64_t sectors, uint32_t spc)
    {
        m_sectors = sectors;
        m_spc = spc;
        open_for_writing(true);
    }

    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        char tmpl[] = "/tmp/orvelle-writer-XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        m_path = tmpl;
        g_now = wfs_time_pack(2024, 5, 1, 10, 0, 0);
        wfs_writer_set_clock(clock_now);
        open_for_writing(true);
    }

    void TearDown() override
    {
        wfs_writer_set_clock(nullptr);
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(false);
        unlink(m_path.c_str());
    }

    void open_for_writing(bool format)
    {
        close_recorder_disks();
        clear_registered_drives();
        int fd = open(m_path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        if (format) {
            ASSERT_EQ(ftruncate(fd, off_t(m_sectors * 512)), 0);
        }
        BlockDevice *dev = new BlockDevice;
        dev->ops = &k_ops;
        dev->priv = new FileDisk{fd, m_sectors};
        ASSERT_EQ(attach_recorder_disk(dev, m_path.c_str(), 0, 0), 0);
        int n = 0;
        wfs_file_sys_init(&n, 0);
        if (format) {
            KeyParamBlock cfg{};
            key_param_set_defaults(&cfg);
            cfg.redund_dir_nums = cfg.redund_index_nums = cfg.redund_part_param_nums = 1;
            cfg.redund_lock_file_nums = cfg.redund_mark_file_nums = 1;
            cfg.face_lib_support_size = 0;
            ASSERT_EQ(wfs_set_key_config(0, 0, &cfg), 0);
            WfsPartition p{0, m_sectors};
            ASSERT_EQ(wfs_write_partitions(0, &p, 1), 0);
            ASSERT_EQ(wfs_format_driver_type(0, 0, m_spc, m_type), 0);
            sync_all_buffers();
            wfs_file_sys_init(&n, 0);
        }
        ASSERT_NE(get_pdp(0, 0), nullptr);
    }

    // Leaves the writer's side and mounts the image read-only, as the
    // player finds it.
    void reopen_read_only()
    {
        sync_all_buffers();
        close_recorder_disks();
        clear_registered_drives();
        register_image_file(m_path.c_str());
        set_images_only(true);
        scan_recorder_disks();
        int n = 0;
        wfs_file_sys_init(&n, 0);
        ASSERT_NE(get_pdp(0, 0), nullptr);
    }
};

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<file_info_v2> list_channel(uint8_t ch, wfs_time from, wfs_time to, uint32_t drivers = 0x7F)
{
    std::vector<file_info_v2> out(256);
    uint32_t count = static_cast<uint32_t>(out.size());
    wfs_file_list(ch, from, to, &count, out.data(), 0xFFFFFFFFu, 0, drivers, 2);
    out.resize(count);
    return out;
}

std::string path_of(const file_info_v2 &fi)
{
    wfs_time_fields s, e;
    wfs_time_unpack(fi.start_time, &s);
    wfs_time_unpack(fi.end_time, &e);
    std::string file = wfs_build_file_name(s.hour, s.minute, s.second, e.hour, e.minute, e.second,
                                           wfs_type_letter(fi.alarm), fi.first_cluster_no, 0,
                                           fi.av ? "h264" : "jpg");
    return wfs_build_record_path(fi.disk, fi.part, s.year, s.month, s.day, fi.channel + 1, file);
}

std::vector<uint8_t> read_all(const file_info_v2 &fi)
{
    std::vector<uint8_t> got;
    fs_file *f = fs_fopen(path_of(fi).c_str(), "rb");
    if (!f)
        return got;
    std::vector<uint8_t> buf(7000);  // odd size: both read paths, across clusters
    for (;;) {
        size_t n = fs_fread(buf.data(), 1, buf.size(), f);
        got.insert(got.end(), buf.begin(), buf.begin() + n);
        if (n < buf.size())
            break;
    }
    fs_fclose(f);
    return got;
}

// What a recording holds when read back: the bytes written, the last sector
// padded with zeros.
std::vector<uint8_t> padded(std::vector<uint8_t> v)
{
    v.resize((v.size() + 511) / 512 * 512, 0);
    return v;
}

FileHandle *create(uint8_t ch, uint8_t type = 0)
{
    FileHandle *h = nullptr;
    EXPECT_EQ(wfs_file_create(ch, 1, type, 0, 0, 0, 0, nullptr, &h), 0u);
    if (h) {
        EXPECT_EQ(wfs_writer_set_head_bytes(h, 0), 0u);
    }
    return h;
}

}  // namespace

TEST_F(Writer, InterleavedChannelsReadBackByteForByte)
{
    // Two channels recording at once: their clusters interleave on disk.
    FileHandle *a = create(0);
    FileHandle *b = create(1, 1);
    ASSERT_TRUE(a && b);
    std::vector<uint8_t> wa, wb;
    for (int second = 0; second < 40; ++second) {
        std::vector<uint8_t> da = random_bytes(3000 + second * 37, second);
        std::vector<uint8_t> db = random_bytes(2500 + second * 53, 1000 + second);
        ASSERT_EQ(fs_fwrite(da.data(), 1, da.size(), a), da.size());
        ASSERT_EQ(fs_fwrite(db.data(), 1, db.size(), b), db.size());
        wa.insert(wa.end(), da.begin(), da.end());
        wb.insert(wb.end(), db.begin(), db.end());
        g_now = wfs_time_add(g_now, 1);
    }
    EXPECT_GT(wa.size(), 4u * kSecPerClus * 512) << "several clusters per recording";
    ASSERT_EQ(fs_fclose(a), 0);
    ASSERT_EQ(fs_fclose(b), 0);
    EXPECT_EQ(get_pdp(0, 0)->status, uint32_t(PARTITION_STATUS_CLEAN));

    reopen_read_only();
    wfs_time day = wfs_time_pack(2024, 5, 1, 0, 0, 0);
    auto l0 = list_channel(0, day, wfs_time_add(day, 86400));
    auto l1 = list_channel(1, day, wfs_time_add(day, 86400));
    ASSERT_EQ(l0.size(), 1u);
    ASSERT_EQ(l1.size(), 1u);
    EXPECT_EQ(l0[0].start_time, wfs_time_pack(2024, 5, 1, 10, 0, 0));
    EXPECT_EQ(l0[0].end_time, wfs_time_pack(2024, 5, 1, 10, 0, 40));
    EXPECT_EQ(l1[0].alarm, 1);
    EXPECT_EQ(l0[0].file_len, (padded(wa).size()) / 1024);
    EXPECT_EQ(read_all(l0[0]), padded(wa));
    EXPECT_EQ(read_all(l1[0]), padded(wb));

    // The chains really interleave: the second cluster of channel 0 is not
    // the one right after its first.
    DriverParam *pdp = get_pdp(0, 0);
    dir_item first;
    ASSERT_EQ(get_dir_item_info(pdp, l0[0].first_cluster_no, &first), 0u);
    EXPECT_NE(first.down_cluster_no, l0[0].first_cluster_no + 1);
    EXPECT_EQ(first.dir_flag, DIR_FLAG_FIRST);
}

TEST_F(Writer, ReservedStreamHeaderIsSkippedByTheReader)
{
    FileHandle *h = nullptr;
    ASSERT_EQ(wfs_file_create(2, 1, 0, 0, 0, 0, 0, nullptr, &h), 0u);  // default header reserve
    std::vector<uint8_t> data = random_bytes(200000, 7);
    for (int s = 0; s < 5; ++s) {
        ASSERT_EQ(fs_fwrite(data.data() + s * 40000, 1, 40000, h), 40000u);
        g_now = wfs_time_add(g_now, 1);
    }
    ASSERT_EQ(fs_fclose(h), 0);
    reopen_read_only();
    auto l = list_channel(2, wfs_time_pack(2024, 5, 1, 0, 0, 0), wfs_time_pack(2024, 5, 2, 0, 0, 0));
    ASSERT_EQ(l.size(), 1u);
    dir_item item;
    ASSERT_EQ(get_dir_item_info(get_pdp(0, 0), l[0].first_cluster_no, &item), 0u);
    EXPECT_EQ(item.head_sectors, WFS_WRITER_HEAD_BYTES / 512);
    EXPECT_EQ(read_all(l[0]), padded(data));
}

TEST_F(Writer, PackIntervalSplitsWithUserDataCarriedOver)
{
    reformat(kVolumeSectors, 4096);  // large reserved clusters hold a user-data ring
    ASSERT_NE(get_pdp(0, 0)->ud_offset, 0u);
    wfs_set_pack_interval(60);
    FileHandle *h = create(0, 1);  // type "A" recordings carry a card number
    ASSERT_TRUE(h);
    const uint8_t card[12] = {0x21, 0x43, 0x65, 0x87, 0x09, 0, 0, 0, 0, 0, 3, 0};
    ASSERT_EQ(_set_file_ud(h, card), 0u);
    std::vector<std::vector<uint8_t>> per_second;
    for (int s = 0; s < 150; ++s) {
        per_second.push_back(random_bytes(1500, 50 + s));
        ASSERT_EQ(fs_fwrite(per_second.back().data(), 1, 1500, h), 1500u);
        g_now = wfs_time_add(g_now, 1);
    }
    ASSERT_EQ(fs_fclose(h), 0);

    reopen_read_only();
    auto l = list_channel(0, wfs_time_pack(2024, 5, 1, 0, 0, 0), wfs_time_pack(2024, 5, 2, 0, 0, 0));
    ASSERT_EQ(l.size(), 3u);
    const int starts[] = {0, 60, 120};
    const int ends[] = {60, 120, 150};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(l[i].start_time, wfs_time_pack(2024, 5, 1, 10, starts[i] / 60, starts[i] % 60));
        EXPECT_EQ(l[i].end_time, wfs_time_add(wfs_time_pack(2024, 5, 1, 10, 0, 0), ends[i]));
        // A split falls between two writes: each piece holds its seconds whole.
        std::vector<uint8_t> want;
        for (int s = starts[i]; s < ends[i]; ++s)
            want.insert(want.end(), per_second[s].begin(), per_second[s].end());
        EXPECT_EQ(read_all(l[i]), padded(want));
        file_info fi;
        ASSERT_EQ(fill_file_info(get_pdp(0, 0), l[i].first_cluster_no, &fi), 0u);
        EXPECT_NE(l[i].up_cluster_no, 0u) << "user data item";
        EXPECT_EQ(0, std::memcmp(fi.user_data, card, 10)) << "the card number travels with every piece";
    }
    wfs_set_pack_interval(3600);
}

TEST_F(Writer, WrappedRingKeepsTheNewestRecordingsReadable)
{
    reformat(3500000, kSecPerClus);  // a ring of some 700 clusters
    DriverParam *pdp = get_pdp(0, 0);
    const uint32_t ring = pdp->total_cluster - pdp->rev_clus;
    // 30 recordings of 6 clusters each on alternating channels: more than
    // the ring holds.
    std::map<uint32_t, std::vector<uint8_t>> written;  // by first cluster
    std::vector<uint8_t> chunk = random_bytes(kSecPerClus * 512, 99);
    int recordings = 0;
    uint64_t clusters = 0;
    while (clusters < ring + ring / 3) {
        FileHandle *h = create(static_cast<uint8_t>(recordings % 2));
        ASSERT_TRUE(h);
        uint32_t key = 0;
        for (int c = 0; c < 6; ++c) {
            chunk[0] = static_cast<uint8_t>(recordings);
            chunk[1] = static_cast<uint8_t>(c);
            ASSERT_EQ(wfs_file_write(h, chunk.data(), kSecPerClus), 0u);
            // At the end of the ring the recording is closed and goes on as
            // a new one from the start of the ring.
            if (h->first_cluster != key) {
                key = h->first_cluster;  // a new recording (its cluster may be reused)
                written[key].clear();
            }
            std::vector<uint8_t> &rec = written[key];
            rec.insert(rec.end(), chunk.begin(), chunk.end());
            g_now = wfs_time_add(g_now, 2);
        }
        ASSERT_EQ(fs_fclose(h), 0);
        ++recordings;
        clusters += 6;
        g_now = wfs_time_add(g_now, 1);
    }
    EXPECT_NE(pdp->start_cluster2, 0u) << "the ring has wrapped and the previous pass is still partly there";
    EXPECT_NE(pdp->end_cluster2, 0u);

    reopen_read_only();
    pdp = get_pdp(0, 0);
    size_t listed = 0;
    for (uint8_t ch = 0; ch < 2; ++ch) {
        auto l = list_channel(ch, wfs_time_pack(2024, 5, 1, 0, 0, 0), wfs_time_pack(2024, 5, 2, 0, 0, 0));
        for (const file_info_v2 &fi : l) {
            SCOPED_TRACE(fi.first_cluster_no);
            auto it = written.find(fi.first_cluster_no);
            ASSERT_NE(it, written.end());
            std::vector<uint8_t> got = read_all(fi);
            // A recording cut by the end of the ring continues as a new one.
            ASSERT_LE(got.size(), it->second.size());
            EXPECT_TRUE(std::equal(got.begin(), got.end(), it->second.begin()));
            ++listed;
        }
    }
    // The new pass and the part of the previous one kept ahead of it.
    uint64_t visible = uint64_t(pdp->current_cluster - pdp->rev_clus) + (pdp->end_cluster2 - pdp->start_cluster2);
    EXPECT_GE(listed, visible / 6 - 2);
    EXPECT_LT(listed, size_t(recordings));
}

TEST_F(Writer, PulledDiskIsRepairedAtMount)
{
    FileHandle *h = create(3);
    ASSERT_TRUE(h);
    std::vector<uint8_t> data = random_bytes((kSecPerClus * 2 + 12) * 512, 5);
    for (size_t at = 0; at < data.size(); at += 512 * 10) {
        ASSERT_EQ(wfs_file_write(h, data.data() + at, 10), 0u);
        g_now = wfs_time_add(g_now, 1);
    }
    // The disk is pulled: no close, only what reached the disk.
    reopen_read_only();
    DriverParam *pdp = get_pdp(0, 0);
    EXPECT_EQ(pdp->status, uint32_t(PARTITION_STATUS_CLEAN)) << "repaired at mount";
    auto l = list_channel(3, wfs_time_pack(2024, 5, 1, 0, 0, 0), wfs_time_pack(2024, 5, 2, 0, 0, 0));
    ASSERT_EQ(l.size(), 1u);
    dir_item last;
    ASSERT_EQ(get_dir_item_info(pdp, pdp->current_cluster, &last), 0u);
    EXPECT_EQ(last.down_cluster_no, 0u) << "closed where it was cut off";
    std::vector<uint8_t> got = read_all(l[0]);
    ASSERT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST_F(Writer, DeletedAndRetypedRecordings)
{
    std::vector<uint32_t> firsts;
    for (int i = 0; i < 3; ++i) {
        FileHandle *h = create(0);
        std::vector<uint8_t> d = random_bytes(20000, i);
        for (int s = 0; s < 5; ++s) {
            fs_fwrite(d.data(), 1, d.size(), h);
            g_now = wfs_time_add(g_now, 1);
        }
        firsts.push_back(h->first_cluster);
        ASSERT_EQ(fs_fclose(h), 0);
    }
    file_info fi{};
    fi.disk = 0;
    fi.part = 0;
    fi.first_cluster_no = firsts[1];
    EXPECT_EQ(wfs_delete_appoint_file(&fi), 0u);
    fi.first_cluster_no = firsts[2];
    EXPECT_EQ(wfs_retype_appoint_file(&fi, 4), 0u);
    // Neither a continuation cluster nor a missing partition is touched.
    fi.first_cluster_no = firsts[0] + 1;
    EXPECT_NE(wfs_delete_appoint_file(&fi), 0u);
    fi.part = 3;
    EXPECT_NE(wfs_delete_appoint_file(&fi), 0u);
    EXPECT_NE(wfs_delete_appoint_file(nullptr), 0u);

    reopen_read_only();
    auto l = list_channel(0, wfs_time_pack(2024, 5, 1, 0, 0, 0), wfs_time_pack(2024, 5, 2, 0, 0, 0));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].first_cluster_no, firsts[0]);
    EXPECT_EQ(l[1].first_cluster_no, firsts[2]);
    EXPECT_EQ(l[1].alarm, 4);
}

TEST_F(Writer, ClockSetBackIsATimeCollision)
{
    for (int i = 0; i < 2; ++i) {
        FileHandle *h = create(0);
        std::vector<uint8_t> d = random_bytes(30000, i);
        for (int s = 0; s < 10; ++s) {
            fs_fwrite(d.data(), 1, d.size(), h);
            g_now = wfs_time_add(g_now, 1);
        }
        ASSERT_EQ(fs_fclose(h), 0);
        g_now = wfs_time_pack(2024, 5, 1, 9, 0, 0);  // the clock goes back an hour
    }
    reopen_read_only();
    DriverParam *pdp = get_pdp(0, 0);
    EXPECT_EQ(pdp->collision_count, 1u);
    auto l = list_channel(0, wfs_time_pack(2024, 5, 1, 0, 0, 0), wfs_time_pack(2024, 5, 2, 0, 0, 0));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].start_time, wfs_time_pack(2024, 5, 1, 9, 0, 0)) << "listed in time order";
    EXPECT_EQ(l[1].start_time, wfs_time_pack(2024, 5, 1, 10, 0, 0));
    std::string tables = driver_tables_text();
    EXPECT_NE(tables.find("driver time sections:"), std::string::npos);
    EXPECT_EQ(tables.find("(error)"), std::string::npos) << tables;
}

TEST_F(Writer, WritesOnlyThroughWritingHandles)
{
    uint8_t sector[512] = {};
    EXPECT_EQ(wfs_file_write(nullptr, sector, 1), unsigned(FS_INVALID_HANDLE));
    FileHandle *r = nullptr;
    ASSERT_EQ(wfs_file_open(&r, 1, 0), 0u);
    EXPECT_EQ(wfs_file_write(r, sector, 1), unsigned(FS_INVALID_HANDLE));
    EXPECT_EQ(fs_fwrite(sector, 1, sizeof sector, r), 0u);
    wfs_file_close(r);
    // No work driver of type 3: creating there fails.
    FileHandle *h = nullptr;
    EXPECT_EQ(wfs_file_create(0, 1, 0, 0, 0, 0, 3, nullptr, &h), 1u);
    EXPECT_EQ(h, nullptr);
}

TEST_F(Writer, PictureRecordingsOnAPicturePartition)
{
    m_type = DRIVER_TYPE_PICTURE;
    reformat(kVolumeSectors, kSecPerClus);
    std::vector<std::vector<uint8_t>> stills;
    for (int i = 0; i < 3; ++i) {
        FileHandle *h = nullptr;
        ASSERT_EQ(wfs_file_create(1, 0, 0, 0, 0, 0, DRIVER_TYPE_PICTURE, nullptr, &h), 0u);
        ASSERT_EQ(wfs_writer_set_head_bytes(h, 0), 0u);
        stills.push_back(random_bytes(20000 + i * 5000, 300 + i));
        stills.back()[0] = 0xFF;
        stills.back()[1] = 0xD8;
        ASSERT_EQ(fs_fwrite(stills.back().data(), 1, stills.back().size(), h), stills.back().size());
        ASSERT_EQ(fs_fclose(h), 0);
        g_now = wfs_time_add(g_now, 5);
    }
    reopen_read_only();
    EXPECT_EQ(get_pdp(0, 0)->driver_type, uint32_t(DRIVER_TYPE_PICTURE));
    auto l = list_channel(1, wfs_time_pack(2024, 5, 1, 0, 0, 0), wfs_time_pack(2024, 5, 2, 0, 0, 0), 1u << 4);
    ASSERT_EQ(l.size(), 3u);
    for (size_t i = 0; i < l.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(l[i].av, 0);
        EXPECT_EQ(read_all(l[i]), padded(stills[i]));
    }
}
