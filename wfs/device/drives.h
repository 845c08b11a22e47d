// The drives a scan looks at, in drive-number order:
//  1. the machine's whole-disk block devices (from /sys/block, partitions
//     excluded, in name order) - unless the program asked for images only;
//  2. the image files registered by the program before the scan, in the
//     order registered;
//  3. devices registered directly (tests), in the order registered.
// Drive N is the Nth entry of that list. The registry is process-wide and
// guarded by its own lock, so the GUI thread may count drives while the
// loading thread scans.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wfs/device/block_device.h"
#include "wfs/device/image_source.h"

// At most this many drives are looked at (drive numbers 0-255).
#define WFS_MAX_DRIVES 256

// Adds an image file to the list of drives. Returns its index among the
// image files.
int register_image_file(const char *path);
// Forgets every registered image file and device. Registered devices are
// closed; when any was registered, the recorder-disk table is closed first
// (it may still hold them).
void clear_registered_drives();
std::vector<std::string> registered_image_files();

// Registers an already open device as a drive; the registry owns it until
// clear_registered_drives. `source` is what is shown for it.
int register_drive_device(BlockDevice *dev, const char *source);

// When on, the machine's block devices are left out: only registered image
// files and devices are drives (the command-line tool with --image).
void set_images_only(bool on);
bool images_only();

// One drive as a scan sees it.
struct DriveSlot {
    int drive_no;          // N
    std::string source;    // "/dev/sdb" or the image path
    BlockDevice *device;   // registered device (not owned), else null
    bool is_block_device;  // one of the machine's block devices
};

// The current list of drives (block devices first, then images, then
// registered devices), at most WFS_MAX_DRIVES.
std::vector<DriveSlot> list_drives();

// The machine's whole-disk block devices as "/dev/NAME", in name order
// (reads /sys/block; devices of size 0 and RAM disks are left out).
std::vector<std::string> list_block_devices();

// Model and serial number the kernel publishes for a block device
// (/sys/block/NAME/device/model, .../serial or the unit serial number page);
// each empty when absent.
void block_device_identity(const std::string &path, std::string *model, std::string *serial);

// Opens a drive read-only; an image file as whatever it is (EWF set, split
// raw, plain raw: image_source_open). Returns 0 with *out and *owned set
// (owned: the caller closes it), or an errno value; *why (may be null) then
// tells what is wrong with a damaged image set.
int open_drive(const DriveSlot &slot, BlockDevice **out, bool *owned, ImageOpenError *why = nullptr);
