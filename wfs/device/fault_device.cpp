#include "wfs/device/fault_device.h"

#include <atomic>
#include <map>
#include <mutex>

namespace {

struct FaultDevice {
    BlockDevice *inner;
    bool own_inner;
    std::mutex lock;
    std::map<uint64_t, uint64_t> failing;  // first sector -> end (exclusive)
    std::atomic<uint64_t> failures{0};
};

FaultDevice *state(BlockDevice *dev) { return static_cast<FaultDevice *>(dev->priv); }

bool touches_fault(FaultDevice *s, uint64_t first, uint64_t end)
{
    std::lock_guard<std::mutex> guard(s->lock);
    for (const auto &range : s->failing) {
        if (range.first < end && first < range.second)
            return true;
    }
    return false;
}

int fault_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    FaultDevice *s = state(dev);
    if (touches_fault(s, sector, sector + count)) {
        s->failures.fetch_add(1);
        return -1;
    }
    return blockdev_read(s->inner, sector, count, buf);
}

uint64_t fault_capacity(BlockDevice *dev) { return blockdev_capacity(state(dev)->inner); }

void fault_close(BlockDevice *dev)
{
    FaultDevice *s = state(dev);
    if (s->own_inner)
        blockdev_close(s->inner);
    delete s;
    delete dev;
}

const BlockDeviceOps k_fault_ops = {"fault", fault_read, nullptr, fault_capacity, fault_close, nullptr};

}  // namespace

BlockDevice *fault_device_create(BlockDevice *inner, bool own_inner)
{
    BlockDevice *dev = new BlockDevice;
    dev->ops = &k_fault_ops;
    FaultDevice *s = new FaultDevice;
    s->inner = inner;
    s->own_inner = own_inner;
    dev->priv = s;
    return dev;
}

void fault_device_fail(BlockDevice *dev, uint64_t first, uint64_t count)
{
    if (!dev || dev->ops != &k_fault_ops || count == 0)
        return;
    FaultDevice *s = state(dev);
    std::lock_guard<std::mutex> guard(s->lock);
    uint64_t end = first + count < first ? UINT64_MAX : first + count;
    uint64_t &slot = s->failing[first];
    if (slot < end)
        slot = end;
}

void fault_device_clear(BlockDevice *dev)
{
    if (!dev || dev->ops != &k_fault_ops)
        return;
    FaultDevice *s = state(dev);
    std::lock_guard<std::mutex> guard(s->lock);
    s->failing.clear();
}

uint64_t fault_device_failures(BlockDevice *dev)
{
    if (!dev || dev->ops != &k_fault_ops)
        return 0;
    return state(dev)->failures.load();
}
