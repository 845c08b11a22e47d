// Recorder disks: the drives whose first MBR partition entry (or sector 0
// itself when that entry's start is 0) points at a sector beginning "WFS".
// The full scan numbers them densely (disk 0, 1, 2 ... in drive order),
// keeps one open read handle per disk, and offers the volume layer sector
// reads relative to the start of each disk's WFS volume. Everything is
// read-only: the write entry discards (unless the disk's device is the
// image tool's writable backend), the power entries do nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wfs/device/block_device.h"
#include "wfs/device/drives.h"

// Slots of the handle table.
#define WFS_DISK_SLOTS 256
// Capacities kept in the disk-information block.
#define WFS_CAP_SLOTS 32
// Recorder disks registered at most (the volume layer keeps 16).
#define WFS_MAX_RECORDER_DISKS 16
// Byte of sector 0 holding the first MBR partition entry's start sector.
#define MBR_FIRST_PART_START 454

struct RecorderDiskTable {
    BlockDevice *handle[WFS_DISK_SLOTS];  // open read handle per disk, null when empty
    uint32_t base_lba[WFS_DISK_SLOTS];    // drive sector where the WFS volume begins
    int drive_no[WFS_DISK_SLOTS];         // drive number N of the disk, -1 when empty
    bool owned[WFS_DISK_SLOTS];           // the table closes the handle
    std::string source[WFS_DISK_SLOTS];   // device path or image path, for display
};

// The disk-information block, filled by the scan and copied whole into the
// volume layer at initialisation.
struct IdeInfo {
    int32_t ide_num;                  // recorder disks found by the last full scan
    int32_t ide_port;                 // 4 after a scan
    uint32_t ide_mask;                // 0 after a scan
    uint32_t ide_bad;                 // 0 after a scan
    uint64_t ide_cap[WFS_CAP_SLOTS];  // capacity of each disk in 512-byte sectors
};

extern RecorderDiskTable g_recorder_disks;
extern IdeInfo g_ide_info_wfs;

// Copy the disk-information block out of and into this layer whole.
void get_ide_info(IdeInfo *out);
void set_ide_info(const IdeInfo *in);

// The full scan: closes the handles of the previous scan, clears the table and
// g_ide_info_wfs, and registers every recorder disk among list_drives() (at
// most WFS_MAX_RECORDER_DISKS). Drives that exist but cannot be opened for
// lack of permission are remembered (unreadable_drives). Returns 0.
int scan_recorder_disks();

// Tests the handle in `disk`'s slot (base 0): reads sector 0, takes the start
// of the first MBR partition entry as candidate and checks that the candidate
// sector begins "WFS". On a match sets base_lba and returns true.
bool check_recorder_disk(int disk);

// The quick count: opens every drive, applies the same test, closes it
// again; never touches the table. Capped at WFS_MAX_RECORDER_DISKS.
int ide_rescan();

// Closes every handle of the table and clears it (the program's end).
void close_recorder_disks();

// Puts an open device into the next free disk slot without the recognition
// test (the image tool formats blank images this way). The table owns
// `dev`. Returns the disk number, or -1 when WFS_MAX_RECORDER_DISKS are in
// use. `cap` 0 takes the device's capacity.
int attach_recorder_disk(BlockDevice *dev, const char *source, uint32_t base_lba, uint64_t cap);

// Drive number and source of a recorder disk (-1 / "" when none).
int recorder_disk_drive_no(int disk);
std::string recorder_disk_source(int disk);

// Reads `count` sectors of a recorder disk's whole source, counted from the
// source's own sector 0 (not from the WFS volume): what a whole-source hash
// covers. 0, or -1 on any failure.
int recorder_disk_read_source(int disk, uint64_t sector, uint32_t count, void *buffer);

// A drive the last full scan could not open for lack of permission (or
// another reason than its absence).
struct UnreadableDrive {
    int drive_no;
    std::string source;
    int error;             // errno value
    ImageOpenError image;  // what is wrong with a damaged image set (problem 0 otherwise)
};
std::vector<UnreadableDrive> unreadable_drives();
// "cannot read /dev/sdb: permission denied",
// "cannot read /x/disk.E01: segment /x/disk.E03 is missing"
std::string unreadable_drive_text(const UnreadableDrive &d);

// The read entry: `count` sectors at `sector` relative to the disk's WFS
// volume (drive sector base_lba + sector, in 64 bits). 0, or -1 on any
// failure (no such disk, read error, short read).
int ide_read_sectors(uint16_t disk, uint16_t count, uint64_t sector, void *buffer);
// The write entry: discards and returns 0 (a writable device, which only the
// image tool links, receives the data instead).
int ide_write_sectors(uint16_t disk, uint16_t count, uint64_t sector, const void *buffer);
void ide_flush_cache(uint16_t disk);
int ide_wakeup(uint16_t disk);
int ide_set_standby(uint16_t disk, int minutes);
int ide_setstabdby_multi(uint32_t mask, int minutes);
