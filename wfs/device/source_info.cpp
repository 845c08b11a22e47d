#include "wfs/device/source_info.h"

#include "wfs/device/block_device.h"

std::string segments_kind_text(const char *what, size_t segments)
{
    return std::string(what) + " (" + std::to_string(segments) + (segments == 1 ? " segment)" : " segments)");
}

void describe_device(BlockDevice *dev, DiskSourceInfo *out)
{
    if (!dev || !out)
        return;
    out->sectors = blockdev_capacity(dev);
    out->bytes = out->sectors * WFS_SECTOR_SIZE;
    if (dev->ops && dev->ops->describe) {
        dev->ops->describe(dev, out);
    } else {
        out->kind = dev->ops && dev->ops->name ? dev->ops->name : "";
        out->kind_text = out->kind;
    }
}
