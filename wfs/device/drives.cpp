#include "wfs/device/drives.h"

#include <mutex>
#include <utility>

#include "wfs/device/recorder_disks.h"

namespace {

struct Registry {
    std::mutex lock;
    std::vector<std::string> images;
    std::vector<std::pair<BlockDevice *, std::string>> devices;
    bool images_only = false;
};

Registry &registry()
{
    static Registry r;
    return r;
}

}  // namespace

int register_image_file(const char *path)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.images.push_back(path ? path : "");
    return static_cast<int>(r.images.size()) - 1;
}

int register_drive_device(BlockDevice *dev, const char *source)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.devices.emplace_back(dev, source ? source : "");
    return static_cast<int>(r.devices.size()) - 1;
}

void clear_registered_drives()
{
    Registry &r = registry();
    std::vector<std::pair<BlockDevice *, std::string>> devices;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        r.images.clear();
        devices.swap(r.devices);
    }
    if (devices.empty())
        return;
    close_recorder_disks();
    for (auto &d : devices)
        blockdev_close(d.first);
}

std::vector<std::string> registered_image_files()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.images;
}

void set_images_only(bool on)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.images_only = on;
}

bool images_only()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.images_only;
}

std::vector<DriveSlot> list_drives()
{
    Registry &r = registry();
    bool only_images;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        only_images = r.images_only;
    }
    std::vector<DriveSlot> slots;
    auto add = [&slots](const std::string &source, BlockDevice *dev, bool is_block) {
        if (slots.size() >= WFS_MAX_DRIVES)
            return;
        DriveSlot s;
        s.drive_no = static_cast<int>(slots.size());
        s.source = source;
        s.device = dev;
        s.is_block_device = is_block;
        slots.push_back(s);
    };
    if (!only_images) {
        for (const std::string &path : list_block_devices())
            add(path, nullptr, true);
    }
    std::lock_guard<std::mutex> guard(r.lock);
    for (const std::string &path : r.images)
        add(path, nullptr, false);
    for (const auto &d : r.devices)
        add(d.second, d.first, false);
    return slots;
}

int open_drive(const DriveSlot &slot, BlockDevice **out, bool *owned, ImageOpenError *why)
{
    *out = nullptr;
    *owned = false;
    if (slot.device) {
        *out = slot.device;
        return 0;
    }
    int err = slot.is_block_device ? linux_block_device_open(slot.source.c_str(), out)
                                   : image_source_open(slot.source.c_str(), out, why);
    if (err == 0)
        *owned = true;
    return err;
}
