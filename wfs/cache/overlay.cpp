#include "wfs/cache/overlay.h"

#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "wfs/common/log.h"
#include "wfs/device/sector.h"

namespace {

using Block = std::array<uint8_t, WFS_SECTOR_SIZE>;

struct Overlay {
    std::mutex lock;
    std::map<uint32_t, std::unordered_map<uint64_t, Block>> disks;
};

Overlay &overlay()
{
    static Overlay o;
    return o;
}

}  // namespace

int overlay_store(uint32_t dev, uint64_t sector, const uint8_t *data)
{
    if (!data)
        return -1;
    Overlay &o = overlay();
    std::lock_guard<std::mutex> guard(o.lock);
    auto &blocks = o.disks[dev];
    auto it = blocks.find(sector);
    if (it == blocks.end()) {
        if (blocks.size() >= OVERLAY_MAX_BLOCKS) {
            wfs_warn("overlay of disk %u full, block %llu not kept\n", dev,
                     static_cast<unsigned long long>(sector));
            return -1;
        }
        it = blocks.emplace(sector, Block{}).first;
    }
    std::memcpy(it->second.data(), data, it->second.size());
    return 0;
}

bool overlay_lookup(uint32_t dev, uint64_t sector, uint8_t *out)
{
    Overlay &o = overlay();
    std::lock_guard<std::mutex> guard(o.lock);
    auto d = o.disks.find(dev);
    if (d == o.disks.end())
        return false;
    auto it = d->second.find(sector);
    if (it == d->second.end())
        return false;
    if (out)
        std::memcpy(out, it->second.data(), it->second.size());
    return true;
}

void overlay_apply(uint32_t dev, uint64_t sector, uint32_t count, uint8_t *buffer)
{
    if (!buffer || count == 0)
        return;
    Overlay &o = overlay();
    std::lock_guard<std::mutex> guard(o.lock);
    auto d = o.disks.find(dev);
    if (d == o.disks.end() || d->second.empty())
        return;
    const auto &blocks = d->second;
    if (blocks.size() < count) {
        // Few held blocks: look each of them up against the range.
        for (const auto &b : blocks) {
            if (b.first >= sector && b.first - sector < count)
                std::memcpy(buffer + (b.first - sector) * WFS_SECTOR_SIZE, b.second.data(), WFS_SECTOR_SIZE);
        }
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            auto it = blocks.find(sector + i);
            if (it != blocks.end())
                std::memcpy(buffer + static_cast<size_t>(i) * WFS_SECTOR_SIZE, it->second.data(), WFS_SECTOR_SIZE);
        }
    }
}

void overlay_drop_disk(uint32_t dev)
{
    Overlay &o = overlay();
    std::lock_guard<std::mutex> guard(o.lock);
    o.disks.erase(dev);
}

void overlay_drop_all()
{
    Overlay &o = overlay();
    std::lock_guard<std::mutex> guard(o.lock);
    o.disks.clear();
}

size_t overlay_block_count(uint32_t dev)
{
    Overlay &o = overlay();
    std::lock_guard<std::mutex> guard(o.lock);
    auto d = o.disks.find(dev);
    return d == o.disks.end() ? 0 : d->second.size();
}
