#include "wfs/device/writable/writable_image.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "wfs/device/recorder_disks.h"

namespace {

struct WritableImage {
    int fd;
    uint64_t sectors;
};

WritableImage *state(BlockDevice *dev) { return static_cast<WritableImage *>(dev->priv); }

bool in_range(const WritableImage *s, uint64_t sector, uint32_t count)
{
    return sector <= s->sectors && count <= s->sectors - sector;
}

int wi_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    WritableImage *s = state(dev);
    if (!in_range(s, sector, count))
        return -1;
    uint8_t *p = static_cast<uint8_t *>(buf);
    const size_t want = static_cast<size_t>(count) * WFS_SECTOR_SIZE;
    const uint64_t offset = sector * WFS_SECTOR_SIZE;
    size_t done = 0;
    while (done < want) {
        ssize_t n = pread(s->fd, p + done, want - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;  // an error, or the file ended before the range did
        done += static_cast<size_t>(n);
    }
    return 0;
}

int wi_write(BlockDevice *dev, uint64_t sector, uint32_t count, const void *buf)
{
    WritableImage *s = state(dev);
    // The image keeps its size: a write past its end is refused, never
    // allowed to grow the file.
    if (!in_range(s, sector, count))
        return -1;
    const uint8_t *p = static_cast<const uint8_t *>(buf);
    const size_t want = static_cast<size_t>(count) * WFS_SECTOR_SIZE;
    const uint64_t offset = sector * WFS_SECTOR_SIZE;
    size_t done = 0;
    while (done < want) {
        ssize_t n = pwrite(s->fd, p + done, want - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        done += static_cast<size_t>(n);
    }
    return 0;
}

uint64_t wi_capacity(BlockDevice *dev) { return state(dev)->sectors; }

void wi_close(BlockDevice *dev)
{
    WritableImage *s = state(dev);
    if (s) {
        if (s->fd >= 0)
            close(s->fd);
        delete s;
    }
    delete dev;
}

const BlockDeviceOps k_writable_ops = {"writable-image", wi_read, wi_write, wi_capacity, wi_close, nullptr};

int wrap(int fd, uint64_t sectors, BlockDevice **out)
{
    BlockDevice *dev = new BlockDevice;
    WritableImage *s = new WritableImage{fd, sectors};
    dev->ops = &k_writable_ops;
    dev->priv = s;
    *out = dev;
    return 0;
}

}  // namespace

int writable_image_create(const char *path, uint64_t sectors, BlockDevice **out)
{
    if (!path || !out || sectors == 0 || sectors > (UINT64_MAX / WFS_SECTOR_SIZE) / 2)
        return EINVAL;
    *out = nullptr;
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno ? errno : EIO;
    if (ftruncate(fd, static_cast<off_t>(sectors * WFS_SECTOR_SIZE)) != 0) {
        int err = errno;
        close(fd);
        return err ? err : EIO;
    }
    return wrap(fd, sectors, out);
}

int writable_image_open(const char *path, BlockDevice **out)
{
    if (!path || !out)
        return EINVAL;
    *out = nullptr;
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return errno ? errno : EIO;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        close(fd);
        return err ? err : EIO;
    }
    return wrap(fd, static_cast<uint64_t>(st.st_size) / WFS_SECTOR_SIZE, out);
}

int writable_image_sync(BlockDevice *dev)
{
    if (!dev || dev->ops != &k_writable_ops)
        return EINVAL;
    return fsync(state(dev)->fd) == 0 ? 0 : errno;
}

int attach_writable_image(BlockDevice *dev, const char *path, uint32_t base_lba)
{
    if (!dev || dev->ops != &k_writable_ops)
        return -1;
    uint64_t cap = dev->ops->capacity(dev);
    if (cap <= base_lba)
        return -1;
    return attach_recorder_disk(dev, path, base_lba, cap - base_lba);
}
