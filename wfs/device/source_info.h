// What a recorder disk is read from: a block device, a raw image, a split
// raw image or an Expert Witness Format image set. Reports and the
// whole-source hash name the source with this, and the scan line shows
// `kind_text`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BlockDevice;

// A hash an evidence image carries from its acquisition.
struct StoredHash {
    std::string algorithm;  // "md5", "sha1", "sha256" (lower case)
    std::string hex;        // lower-case hexadecimal digest
};

struct DiskSourceInfo {
    std::string kind;       // "block", "raw", "split" or "ewf"
    std::string kind_text;  // what the scan line shows: "raw", "split raw (3 segments)", "ewf (2 segments)", ...
    std::string source;     // device path or first image file
    std::vector<std::string> segments;       // image files in order (one for raw; empty for block)
    std::vector<uint64_t> segment_bytes;     // their sizes in bytes
    uint64_t sectors = 0;   // 512-byte sectors of the whole source (media size for ewf)
    std::string model, serial;  // block devices: from /sys/block/NAME/device/... ; empty when absent

    uint64_t bytes = 0;     // bytes of the whole source; above sectors * 512 when a raw image
                            // ends in a partial sector (not readable as a sector)
    int drive_no = -1;      // drive number the scan gave the disk
    uint32_t base_lba = 0;  // sector of the source where the WFS volume begins
    std::vector<StoredHash> stored_hashes;  // ewf: the hashes the image records
};

// 0 and *out filled for a recorder disk of the last scan; -1 when there is no such disk.
int recorder_disk_source_info(int disk, DiskSourceInfo *out);

// What a device knows about its own source (kind, segments, sizes; for a
// block device its model and serial). Backends without a description (test
// devices) give their backend name as kind and their capacity.
void describe_device(BlockDevice *dev, DiskSourceInfo *out);

// "split raw (3 segments)", "ewf (1 segment)" ...
std::string segments_kind_text(const char *what, size_t segments);
