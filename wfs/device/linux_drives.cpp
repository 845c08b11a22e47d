// The machine's drives on Linux: whole-disk block devices listed in
// /sys/block, opened read-only through the fd backend.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

#include "wfs/device/block_device.h"
#include "wfs/device/drives.h"
#include "wfs/device/fd_device.h"

int linux_block_device_open(const char *path, BlockDevice **out) { return fd_device_open(path, true, out); }

static bool starts_with(const std::string &s, const char *prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::vector<std::string> list_block_devices()
{
    std::vector<std::string> names;
    DIR *dir = opendir("/sys/block");
    if (!dir)
        return names;
    while (dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        // RAM disks and compressed swap never hold a recorder disk.
        if (starts_with(name, "ram") || starts_with(name, "zram"))
            continue;
        // /sys/block lists whole disks only; a size of 0 is an empty slot
        // (unbound loop device, drive without medium).
        std::ifstream size_file("/sys/block/" + name + "/size");
        unsigned long long sectors = 0;
        if (!(size_file >> sectors) || sectors == 0)
            continue;
        names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    for (const std::string &n : names)
        paths.push_back("/dev/" + n);
    if (paths.size() > WFS_MAX_DRIVES)
        paths.resize(WFS_MAX_DRIVES);
    return paths;
}
