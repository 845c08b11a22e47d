#include "wfs/device/block_device.h"

int blockdev_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    if (!dev || !dev->ops || !dev->ops->read || !buf)
        return -1;
    dev->read_calls.fetch_add(1, std::memory_order_relaxed);
    dev->sectors_read.fetch_add(count, std::memory_order_relaxed);
    if (count == 0)
        return 0;
    return dev->ops->read(dev, sector, count, buf) == 0 ? 0 : -1;
}

int blockdev_write(BlockDevice *dev, uint64_t sector, uint32_t count, const void *buf)
{
    if (!dev || !dev->ops || !dev->ops->write || !buf)
        return -1;
    return dev->ops->write(dev, sector, count, buf) == 0 ? 0 : -1;
}

uint64_t blockdev_capacity(BlockDevice *dev)
{
    if (!dev || !dev->ops || !dev->ops->capacity)
        return 0;
    return dev->ops->capacity(dev);
}

void blockdev_close(BlockDevice *dev)
{
    if (!dev)
        return;
    if (dev->ops && dev->ops->close)
        dev->ops->close(dev);
    else
        delete dev;
}
