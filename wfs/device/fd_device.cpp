#include "wfs/device/fd_device.h"

#include "wfs/device/drives.h"
#include "wfs/device/source_info.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FdDevice {
    int fd;
    uint64_t sectors;
    uint64_t bytes;    // the file's or device's size (a raw image may end in a partial sector)
    std::string path;
};

FdDevice *state(BlockDevice *dev) { return static_cast<FdDevice *>(dev->priv); }

int fd_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    FdDevice *s = state(dev);
    // Bounds first: a read that would run past the end is a failed read, and
    // the byte offset below must not overflow.
    if (sector > s->sectors || count > s->sectors - sector)
        return -1;
    uint64_t offset = sector * WFS_SECTOR_SIZE;
    size_t want = static_cast<size_t>(count) * WFS_SECTOR_SIZE;
    uint8_t *p = static_cast<uint8_t *>(buf);
    size_t done = 0;
    while (done < want) {
        ssize_t n = pread(s->fd, p + done, want - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            return -1;  // end of file before the whole range: short read
        done += static_cast<size_t>(n);
    }
    return 0;
}

uint64_t fd_capacity(BlockDevice *dev) { return state(dev)->sectors; }

void fd_close(BlockDevice *dev)
{
    FdDevice *s = state(dev);
    if (s) {
        if (s->fd >= 0)
            close(s->fd);
        delete s;
    }
    delete dev;
}

void image_describe(BlockDevice *dev, DiskSourceInfo *out)
{
    FdDevice *s = state(dev);
    out->kind = "raw";
    out->kind_text = "raw";
    out->source = s->path;
    out->segments = {s->path};
    out->segment_bytes = {s->bytes};
    out->sectors = s->sectors;
    out->bytes = s->bytes;
}

void blockdev_describe(BlockDevice *dev, DiskSourceInfo *out)
{
    FdDevice *s = state(dev);
    out->kind = "block";
    out->kind_text = "block device";
    out->source = s->path;
    out->segments.clear();
    out->segment_bytes.clear();
    out->sectors = s->sectors;
    out->bytes = s->bytes;
    block_device_identity(s->path, &out->model, &out->serial);
}

const BlockDeviceOps k_image_ops = {"image", fd_read, nullptr, fd_capacity, fd_close, image_describe};
const BlockDeviceOps k_blockdev_ops = {"blockdev", fd_read, nullptr, fd_capacity, fd_close, blockdev_describe};

}  // namespace

int fd_device_open(const char *path, bool want_block_device, BlockDevice **out)
{
    if (!path || !out)
        return EINVAL;
    *out = nullptr;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno ? errno : EIO;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        int err = errno;
        close(fd);
        return err;
    }
    uint64_t bytes = 0;
    bool is_block = S_ISBLK(st.st_mode);
    if (is_block) {
        if (ioctl(fd, BLKGETSIZE64, &bytes) != 0)
            bytes = 0;
    } else if (S_ISREG(st.st_mode)) {
        if (want_block_device) {
            close(fd);
            return ENOTBLK;
        }
        bytes = static_cast<uint64_t>(st.st_size);
    } else {
        close(fd);
        if (want_block_device)
            return ENOTBLK;
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    BlockDevice *dev = new BlockDevice;
    dev->ops = is_block ? &k_blockdev_ops : &k_image_ops;
    dev->priv = new FdDevice{fd, bytes / WFS_SECTOR_SIZE, bytes, path};
    *out = dev;
    return 0;
}
