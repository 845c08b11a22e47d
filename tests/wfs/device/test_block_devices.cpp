// The block-device backends (image file, memory, fault-injecting) and the
// read-only promise of the recorder-disk layer.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <fstream>

#include "tests/wfs/device/sparse_image.h"
#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/device/block_device.h"
#include "wfs/device/drives.h"
#include "wfs/device/fault_device.h"
#include "wfs/device/memory_device.h"
#include "wfs/device/recorder_disks.h"

namespace {

TEST(ImageDevice, ReadsWholeSectorsAndFailsPastTheEnd)
{
    sparse::TempDir dir;
    const std::string img = dir.file("plain.img");
    // 10 sectors and a half: the half sector at the end is not a sector.
    ASSERT_TRUE(sparse::make_file(img, 10 * 512 + 256));
    for (uint64_t s = 0; s < 10; ++s)
        ASSERT_TRUE(sparse::write_stamp(img, s));

    BlockDevice *dev = nullptr;
    ASSERT_EQ(image_device_open(img.c_str(), &dev), 0);
    EXPECT_EQ(blockdev_capacity(dev), 10u);
    uint8_t buf[3 * 512];
    ASSERT_EQ(blockdev_read(dev, 7, 3, buf), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sparse::stamp_number(buf + 512 * i), 7u + i);
    EXPECT_EQ(blockdev_read(dev, 8, 3, buf), -1) << "runs into the end";
    EXPECT_EQ(blockdev_read(dev, 10, 1, buf), -1) << "the trailing half sector";
    EXPECT_EQ(blockdev_read(dev, UINT64_MAX - 1, 2, buf), -1) << "offset overflow";
    EXPECT_EQ(blockdev_write(dev, 0, 1, buf), -1) << "read-only backend";
    EXPECT_EQ(dev->read_calls.load(), 4u);
    // The file shrinks while open (a copy still being written, or cut):
    // reading what is no longer there fails instead of returning a short
    // buffer.
    ASSERT_EQ(truncate(img.c_str(), 8 * 512 + 100), 0);
    EXPECT_EQ(blockdev_read(dev, 7, 1, buf), 0);
    EXPECT_EQ(blockdev_read(dev, 8, 1, buf), -1) << "only 100 bytes of sector 8 remain";
    EXPECT_EQ(blockdev_read(dev, 9, 1, buf), -1);
    blockdev_close(dev);

    EXPECT_NE(image_device_open(dir.file("absent.img").c_str(), &dev), 0);
    EXPECT_EQ(dev, nullptr);
    EXPECT_EQ(linux_block_device_open(img.c_str(), &dev), ENOTBLK) << "a regular file is not a block device";
}

TEST(MemoryDevice, SparseContentAndBounds)
{
    BlockDevice *dev = memory_device_create(1ull << 40);  // large, stores nothing yet
    uint8_t buf[1024];
    std::memset(buf, 0xAA, sizeof buf);
    ASSERT_EQ(blockdev_read(dev, 12345678, 2, buf), 0);
    for (uint8_t b : buf)
        ASSERT_EQ(b, 0);
    // A put that straddles two sectors.
    const char text[] = "across the sector boundary";
    ASSERT_EQ(memory_device_put(dev, 1000 * 512 + 500, text, sizeof text), 0);
    EXPECT_EQ(memory_device_stored_sectors(dev), 2u);
    ASSERT_EQ(blockdev_read(dev, 1000, 2, buf), 0);
    EXPECT_EQ(std::memcmp(buf + 500, text, sizeof text), 0);
    EXPECT_EQ(blockdev_read(dev, (1ull << 40) - 1, 2, buf), -1);
    EXPECT_EQ(memory_device_put(dev, (1ull << 40) * 512 - 4, text, 8), -1);
    blockdev_close(dev);
}

TEST(FaultDevice, FailsOnlyReadsTouchingChosenSectors)
{
    BlockDevice *mem = memory_device_create(1000);
    std::vector<uint8_t> s = sparse::stamp(50);
    memory_device_put(mem, 50 * 512, s.data(), s.size());
    BlockDevice *dev = fault_device_create(mem, true);
    fault_device_fail(dev, 100, 10);  // 100..109
    uint8_t buf[8 * 512];
    EXPECT_EQ(blockdev_read(dev, 50, 1, buf), 0);
    EXPECT_EQ(sparse::stamp_number(buf), 50u);
    EXPECT_EQ(blockdev_read(dev, 99, 1, buf), 0);
    EXPECT_EQ(blockdev_read(dev, 110, 1, buf), 0);
    EXPECT_EQ(blockdev_read(dev, 95, 8, buf), -1) << "run reaches sector 100";
    EXPECT_EQ(blockdev_read(dev, 109, 1, buf), -1);
    EXPECT_EQ(fault_device_failures(dev), 2u);
    EXPECT_EQ(blockdev_capacity(dev), 1000u);
    fault_device_clear(dev);
    EXPECT_EQ(blockdev_read(dev, 105, 1, buf), 0);
    blockdev_close(dev);  // closes the memory device too
}

// Open descriptors of this process that refer to `path`, with their flags.
std::vector<int> open_flags_of(const std::string &path)
{
    std::vector<int> flags;
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real))
        return flags;
    DIR *d = opendir("/proc/self/fd");
    while (dirent *e = readdir(d)) {
        std::string fd = e->d_name;
        if (fd[0] == '.')
            continue;
        char target[PATH_MAX] = {};
        ssize_t n = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
        if (n <= 0 || std::string(target, n) != real)
            continue;
        std::ifstream info("/proc/self/fdinfo/" + fd);
        std::string key;
        while (info >> key) {
            if (key == "flags:") {
                std::string octal;
                info >> octal;
                flags.push_back(static_cast<int>(std::stol(octal, nullptr, 8)));
                break;
            }
        }
    }
    closedir(d);
    return flags;
}

TEST(ReadOnlyPromise, WritesThroughEveryPathLeaveTheImageUntouched)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    sparse::TempDir dir;
    const std::string img = dir.file("rec.img");
    ASSERT_TRUE(sparse::make_recorder_image(img, 2048, 40000));
    for (uint64_t s = 2049; s < 2100; ++s)
        ASSERT_TRUE(sparse::write_stamp(img, s));
    const std::vector<uint8_t> before = sparse::read_all(img);

    int ino = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(ino, 0);
    ASSERT_GE(inotify_add_watch(ino, img.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_ATTRIB), 0);

    clear_registered_drives();
    set_images_only(true);
    register_image_file(img.c_str());
    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 1);

    // The open handle is read-only and closed on exec.
    std::vector<int> flags = open_flags_of(img);
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_EQ(flags[0] & O_ACCMODE, O_RDONLY);
    EXPECT_TRUE(flags[0] & O_CLOEXEC);

    std::vector<uint8_t> junk(64 * 512, 0x5A);
    EXPECT_EQ(ide_write_sectors(0, 64, 0, junk.data()), 0);
    EXPECT_EQ(ide_write_sectors(0, 1, 37000, junk.data()), 0);
    EXPECT_EQ(ide_write_sectors(0, 1, 1ull << 40, junk.data()), 0);
    ide_flush_cache(0);
    init_buffers();
    EXPECT_EQ(bwrite_multi(0, 64, 5000, junk.data()), 0);
    for (uint64_t b : {0ull, 1ull, 20ull, 3000ull, 37000ull}) {
        BufferHead *bh = bread(0, b);
        ASSERT_NE(bh, nullptr);
        std::memset(bh->data, 0xC3, 512);
        bh->dirt = 1;
        EXPECT_EQ(sync_buffer_unchecked(bh), 0);
        release_block(bh);
    }
    BufferHead *bh = bread(0, 10);
    ASSERT_NE(bh, nullptr);
    bh->dirt = 1;
    release_block(bh);
    sync_all_buffers();
    close_recorder_disks();
    clear_registered_drives();

    EXPECT_TRUE(sparse::read_all(img) == before) << "image bytes changed";
    // inotify reports a close after writing access (IN_CLOSE_WRITE) or any
    // modification; only read-only closes may appear.
    alignas(inotify_event) char events[8192];
    ssize_t n = read(ino, events, sizeof events);
    int nowrite_closes = 0;
    for (ssize_t off = 0; n > 0 && off < n;) {
        const inotify_event *ev = reinterpret_cast<const inotify_event *>(events + off);
        EXPECT_EQ(ev->mask & (IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB), 0u) << "mask " << ev->mask;
        if (ev->mask & IN_CLOSE_NOWRITE)
            ++nowrite_closes;
        off += sizeof(inotify_event) + ev->len;
    }
    EXPECT_GE(nowrite_closes, 1);
    close(ino);
}

}  // namespace
