// The machine's drives on Linux: whole-disk block devices listed in
// /sys/block, opened read-only through the fd backend.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

namespace {

std::string trimmed(const std::string &s)
{
    const char *space = " \t\r\n";
    const size_t b = s.find_first_not_of(space);
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(space) - b + 1);
}

std::string read_text(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // Printable characters only: these end up in reports.
    std::string clean;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f)
            clean += c;
        else if (c == '\n' || c == '\t')
            clean += ' ';
    }
    return trimmed(clean);
}

// The unit serial number page (SCSI VPD 0x80): a 4-byte header whose last
// byte is the length of the serial that follows.
std::string vpd_serial(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::string page((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80)
        return std::string();
    const size_t len = static_cast<unsigned char>(page[3]);
    std::string serial;
    for (size_t i = 4; i < page.size() && i < 4 + len; ++i) {
        if (page[i] >= 0x20 && page[i] < 0x7f)
            serial += page[i];
    }
    return trimmed(serial);
}

}  // namespace

void block_device_identity(const std::string &path, std::string *model, std::string *serial)
{
    if (model)
        model->clear();
    if (serial)
        serial->clear();
    char real[PATH_MAX];
    const std::string dev = realpath(path.c_str(), real) ? std::string(real) : path;
    const size_t slash = dev.rfind('/');
    const std::string name = slash == std::string::npos ? dev : dev.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return;
    const std::string sys = "/sys/block/" + name;
    if (model)
        *model = read_text(sys + "/device/model");
    if (serial) {
        *serial = read_text(sys + "/device/serial");
        if (serial->empty())
            *serial = read_text(sys + "/serial");
        if (serial->empty())
            *serial = vpd_serial(sys + "/device/vpd_pg80");
    }
}
