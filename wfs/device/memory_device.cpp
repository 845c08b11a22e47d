#include "wfs/device/memory_device.h"

#include <array>
#include <cstring>
#include <map>
#include <mutex>

namespace {

using Sector = std::array<uint8_t, WFS_SECTOR_SIZE>;

struct MemoryDevice {
    uint64_t sectors;
    std::map<uint64_t, Sector> data;  // only sectors that were put
    std::mutex lock;
};

MemoryDevice *state(BlockDevice *dev) { return static_cast<MemoryDevice *>(dev->priv); }

int mem_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    MemoryDevice *s = state(dev);
    if (sector > s->sectors || count > s->sectors - sector)
        return -1;
    uint8_t *out = static_cast<uint8_t *>(buf);
    std::memset(out, 0, static_cast<size_t>(count) * WFS_SECTOR_SIZE);
    std::lock_guard<std::mutex> guard(s->lock);
    for (auto it = s->data.lower_bound(sector); it != s->data.end() && it->first < sector + count; ++it)
        std::memcpy(out + (it->first - sector) * WFS_SECTOR_SIZE, it->second.data(), WFS_SECTOR_SIZE);
    return 0;
}

uint64_t mem_capacity(BlockDevice *dev) { return state(dev)->sectors; }

void mem_close(BlockDevice *dev)
{
    delete state(dev);
    delete dev;
}

const BlockDeviceOps k_memory_ops = {"memory", mem_read, nullptr, mem_capacity, mem_close, nullptr};

}  // namespace

BlockDevice *memory_device_create(uint64_t capacity_sectors)
{
    BlockDevice *dev = new BlockDevice;
    dev->ops = &k_memory_ops;
    MemoryDevice *s = new MemoryDevice;
    s->sectors = capacity_sectors;
    dev->priv = s;
    return dev;
}

int memory_device_put(BlockDevice *dev, uint64_t byte_offset, const void *data, size_t len)
{
    if (!dev || dev->ops != &k_memory_ops || (!data && len))
        return -1;
    MemoryDevice *s = state(dev);
    uint64_t limit = s->sectors * WFS_SECTOR_SIZE;
    if (byte_offset > limit || len > limit - byte_offset)
        return -1;
    const uint8_t *src = static_cast<const uint8_t *>(data);
    std::lock_guard<std::mutex> guard(s->lock);
    while (len > 0) {
        uint64_t sector = byte_offset / WFS_SECTOR_SIZE;
        size_t within = static_cast<size_t>(byte_offset % WFS_SECTOR_SIZE);
        size_t n = WFS_SECTOR_SIZE - within;
        if (n > len)
            n = len;
        auto it = s->data.find(sector);
        if (it == s->data.end())
            it = s->data.emplace(sector, Sector{}).first;
        std::memcpy(it->second.data() + within, src, n);
        src += n;
        len -= n;
        byte_offset += n;
    }
    return 0;
}

size_t memory_device_stored_sectors(BlockDevice *dev)
{
    if (!dev || dev->ops != &k_memory_ops)
        return 0;
    MemoryDevice *s = state(dev);
    std::lock_guard<std::mutex> guard(s->lock);
    return s->data.size();
}
