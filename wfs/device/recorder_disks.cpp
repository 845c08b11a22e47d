#include "wfs/device/recorder_disks.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <sys/stat.h>

#include "wfs/common/bytes.h"
#include "wfs/device/source_info.h"

RecorderDiskTable g_recorder_disks;
IdeInfo g_ide_info_wfs;

namespace {

// Guards the table's bookkeeping (sources, drive numbers, the list of
// unreadable drives) against readers on other threads. The read entry does
// not take it: reads only happen between scans.
std::mutex s_table_lock;
std::vector<UnreadableDrive> s_unreadable;

void clear_slot(int d)
{
    g_recorder_disks.handle[d] = nullptr;
    g_recorder_disks.base_lba[d] = 0;
    g_recorder_disks.drive_no[d] = -1;
    g_recorder_disks.owned[d] = false;
    g_recorder_disks.source[d].clear();
}

void close_all_locked()
{
    for (int d = 0; d < WFS_DISK_SLOTS; ++d) {
        if (g_recorder_disks.handle[d] && g_recorder_disks.owned[d])
            blockdev_close(g_recorder_disks.handle[d]);
        clear_slot(d);
    }
    std::memset(&g_ide_info_wfs, 0, sizeof g_ide_info_wfs);
}

// The candidate base of a drive: the first MBR partition entry's start, read
// from sector 0 (an unreadable sector 0 counts as zeros, giving candidate 0).
uint32_t candidate_base(BlockDevice *dev)
{
    uint8_t sector0[WFS_SECTOR_SIZE];
    if (blockdev_read(dev, 0, 1, sector0) != 0)
        std::memset(sector0, 0, sizeof sector0);
    return ld_32(sector0 + MBR_FIRST_PART_START);
}

bool begins_wfs(const uint8_t *sector) { return std::memcmp(sector, "WFS", 3) == 0; }

// The recognition test on a device that is not in the table.
bool probe_device(BlockDevice *dev)
{
    uint32_t base = candidate_base(dev);
    uint8_t sector[WFS_SECTOR_SIZE];
    if (blockdev_read(dev, base, 1, sector) != 0)
        return false;
    return begins_wfs(sector);
}

// What the quick count last found for each image file. Opening an evidence
// image set is not cheap (the library reads every segment's chunk tables),
// and the count runs every 10 seconds on the GUI thread; an image file that
// has not changed since gives the same answer.
struct ImageProbe {
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec mtime;
    bool recorder;
};
std::mutex s_probe_lock;
std::map<std::string, ImageProbe> s_probes;

bool same_file(const struct stat &st, const ImageProbe &p)
{
    return st.st_dev == p.device && st.st_ino == p.inode && st.st_size == p.size &&
           st.st_mtim.tv_sec == p.mtime.tv_sec && st.st_mtim.tv_nsec == p.mtime.tv_nsec;
}

// The recognition test of the quick count on one drive: 1 a recorder disk,
// 0 not one, -1 cannot be opened.
int quick_probe(const DriveSlot &slot)
{
    struct stat st {};
    const bool image = !slot.is_block_device && !slot.device;
    if (image) {
        if (stat(slot.source.c_str(), &st) != 0)
            return -1;
        std::lock_guard<std::mutex> guard(s_probe_lock);
        auto it = s_probes.find(slot.source);
        if (it != s_probes.end() && same_file(st, it->second))
            return it->second.recorder ? 1 : 0;
    }
    BlockDevice *dev = nullptr;
    bool owned = false;
    if (open_drive(slot, &dev, &owned) != 0)
        return -1;
    const bool recorder = probe_device(dev);
    if (recorder)
        (void)blockdev_capacity(dev);
    if (owned)
        blockdev_close(dev);
    if (image) {
        std::lock_guard<std::mutex> guard(s_probe_lock);
        s_probes[slot.source] = ImageProbe{st.st_dev, st.st_ino, st.st_size, st.st_mtim, recorder};
    }
    return recorder ? 1 : 0;
}

// Opening failures that mean "no such drive" rather than "cannot read it".
bool drive_absent(const DriveSlot &slot, int err)
{
    if (!slot.is_block_device)
        return false;  // a registered image that cannot be opened is worth telling
    return err == ENOENT || err == ENXIO || err == ENODEV || err == ENOMEDIUM;
}

}  // namespace

void get_ide_info(IdeInfo *out)
{
    if (out)
        *out = g_ide_info_wfs;
}

void set_ide_info(const IdeInfo *in)
{
    if (in)
        g_ide_info_wfs = *in;
}

bool check_recorder_disk(int disk)
{
    if (disk < 0 || disk >= WFS_DISK_SLOTS || !g_recorder_disks.handle[disk])
        return false;
    g_recorder_disks.base_lba[disk] = 0;
    uint32_t candidate = candidate_base(g_recorder_disks.handle[disk]);
    uint8_t sector[WFS_SECTOR_SIZE];
    if (ide_read_sectors(static_cast<uint16_t>(disk), 1, candidate, sector) != 0)
        return false;
    if (!begins_wfs(sector))
        return false;
    g_recorder_disks.base_lba[disk] = candidate;
    return true;
}

int scan_recorder_disks()
{
    std::vector<DriveSlot> drives = list_drives();
    std::lock_guard<std::mutex> guard(s_table_lock);
    close_all_locked();
    s_unreadable.clear();
    g_ide_info_wfs.ide_port = 4;
    for (const DriveSlot &slot : drives) {
        if (g_ide_info_wfs.ide_num >= WFS_MAX_RECORDER_DISKS)
            break;
        BlockDevice *dev = nullptr;
        bool owned = false;
        ImageOpenError why;
        int err = open_drive(slot, &dev, &owned, &why);
        if (err != 0) {
            if (!drive_absent(slot, err))
                s_unreadable.push_back(UnreadableDrive{slot.drive_no, slot.source, err, why});
            continue;
        }
        int d = g_ide_info_wfs.ide_num;
        g_recorder_disks.handle[d] = dev;
        g_recorder_disks.owned[d] = owned;
        g_recorder_disks.base_lba[d] = 0;
        if (check_recorder_disk(d)) {
            g_recorder_disks.drive_no[d] = slot.drive_no;
            g_recorder_disks.source[d] = slot.source;
            g_ide_info_wfs.ide_cap[d] = blockdev_capacity(dev);
            ++g_ide_info_wfs.ide_num;
        } else {
            if (owned)
                blockdev_close(dev);
            clear_slot(d);
        }
    }
    return 0;
}

int ide_rescan()
{
    int found = 0;
    for (const DriveSlot &slot : list_drives()) {
        if (found >= WFS_MAX_RECORDER_DISKS)
            break;
        if (quick_probe(slot) == 1)
            ++found;
    }
    return found;
}

void close_recorder_disks()
{
    std::lock_guard<std::mutex> guard(s_table_lock);
    close_all_locked();
}

int attach_recorder_disk(BlockDevice *dev, const char *source, uint32_t base_lba, uint64_t cap)
{
    if (!dev)
        return -1;
    std::lock_guard<std::mutex> guard(s_table_lock);
    int d = g_ide_info_wfs.ide_num < 0 ? 0 : g_ide_info_wfs.ide_num;
    if (d >= WFS_MAX_RECORDER_DISKS)
        return -1;
    g_recorder_disks.handle[d] = dev;
    g_recorder_disks.owned[d] = true;
    g_recorder_disks.base_lba[d] = base_lba;
    g_recorder_disks.drive_no[d] = -1;
    g_recorder_disks.source[d] = source ? source : "";
    g_ide_info_wfs.ide_cap[d] = cap ? cap : blockdev_capacity(dev);
    g_ide_info_wfs.ide_port = 4;
    g_ide_info_wfs.ide_num = d + 1;
    return d;
}

int recorder_disk_drive_no(int disk)
{
    std::lock_guard<std::mutex> guard(s_table_lock);
    if (disk < 0 || disk >= WFS_DISK_SLOTS || !g_recorder_disks.handle[disk])
        return -1;
    return g_recorder_disks.drive_no[disk];
}

std::string recorder_disk_source(int disk)
{
    std::lock_guard<std::mutex> guard(s_table_lock);
    if (disk < 0 || disk >= WFS_DISK_SLOTS || !g_recorder_disks.handle[disk])
        return std::string();
    return g_recorder_disks.source[disk];
}

int recorder_disk_source_info(int disk, DiskSourceInfo *out)
{
    if (!out)
        return -1;
    std::lock_guard<std::mutex> guard(s_table_lock);
    if (disk < 0 || disk >= g_ide_info_wfs.ide_num || disk >= WFS_DISK_SLOTS || !g_recorder_disks.handle[disk])
        return -1;
    *out = DiskSourceInfo();
    describe_device(g_recorder_disks.handle[disk], out);
    // The table's name for the source wins: it is the path the drive was
    // registered under.
    out->source = g_recorder_disks.source[disk];
    out->drive_no = g_recorder_disks.drive_no[disk];
    out->base_lba = g_recorder_disks.base_lba[disk];
    return 0;
}

int recorder_disk_read_source(int disk, uint64_t sector, uint32_t count, void *buffer)
{
    if (disk < 0 || disk >= WFS_DISK_SLOTS || !buffer)
        return -1;
    BlockDevice *dev = g_recorder_disks.handle[disk];
    if (!dev)
        return -1;
    return blockdev_read(dev, sector, count, buffer);
}

std::vector<UnreadableDrive> unreadable_drives()
{
    std::lock_guard<std::mutex> guard(s_table_lock);
    return s_unreadable;
}

std::string unreadable_drive_text(const UnreadableDrive &d)
{
    std::string reason;
    if (d.error == EACCES || d.error == EPERM)
        reason = "permission denied";
    else
        reason = std::strerror(d.error);
    if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z')
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
    if (d.image.problem == IMAGE_SEGMENT_UNREADABLE)
        return "cannot read " + d.source + ": " + image_problem_text(d.image) + ": " + reason;
    if (d.image.problem != IMAGE_PROBLEM_NONE)
        return "cannot read " + d.source + ": " + image_problem_text(d.image);
    return "cannot read " + d.source + ": " + reason;
}

int ide_read_sectors(uint16_t disk, uint16_t count, uint64_t sector, void *buffer)
{
    if (disk >= WFS_DISK_SLOTS || !buffer)
        return -1;
    BlockDevice *dev = g_recorder_disks.handle[disk];
    if (!dev)
        return -1;
    uint64_t base = g_recorder_disks.base_lba[disk];
    if (sector > UINT64_MAX - base)
        return -1;
    return blockdev_read(dev, base + sector, count, buffer);
}

int ide_write_sectors(uint16_t disk, uint16_t count, uint64_t sector, const void *buffer)
{
    if (disk >= WFS_DISK_SLOTS)
        return 0;
    BlockDevice *dev = g_recorder_disks.handle[disk];
    // Recorder disks are read-only: only the image tool's writable backend
    // has a write operation; for every other device the data ends here.
    if (!dev || !dev->ops || !dev->ops->write || !buffer)
        return 0;
    uint64_t base = g_recorder_disks.base_lba[disk];
    if (sector > UINT64_MAX - base)
        return -1;
    return blockdev_write(dev, base + sector, count, buffer);
}

void ide_flush_cache(uint16_t) {}

int ide_wakeup(uint16_t) { return 0; }

int ide_set_standby(uint16_t, int) { return 0; }

int ide_setstabdby_multi(uint32_t, int) { return 0; }
