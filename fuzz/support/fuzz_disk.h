// Disks for the fuzz targets: a clean base image held in memory, the list of
// its structure sectors (everything a mount and a listing read before the
// recording data), and a fresh in-memory drive per run with the fuzz input
// laid over those sectors.
//
// Input layout shared by the disk targets:
//   [base selector: 1 byte][target's own header][overlay ...]
// The overlay is cut into 512-byte pieces; piece i replaces structure
// sector i of the selected base (a short last piece replaces only the
// bytes it has). A seed is the base's own structure sectors, so mutation
// starts from a disk that mounts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "wfs/device/block_device.h"

struct CatalogueEntry;

namespace fuzzdisk {

struct BaseImage {
    std::string name;
    uint64_t capacity = 0;                                  // sectors
    std::map<uint64_t, std::array<uint8_t, 512>> sectors;  // stored (non-zero) sectors
    std::vector<uint64_t> structure;                        // drive sectors the overlay replaces
};

// At most this many structure sectors per base (keeps inputs small).
constexpr size_t kMaxStructureSectors = 64;

// The bases every disk target uses: images from the test-image builder
// (small clusters) and, when ORVELLE_FUZZ_IMAGES names image files
// (colon-separated, e.g. made by orvelle-mkdisk), those too. Built once.
const std::vector<BaseImage> &bases();

// Reads an image file's stored sectors; false when it cannot be read.
bool load_image_file(const std::string &path, BaseImage *out);

// A memory drive holding `base` with the overlay applied.
BlockDevice *make_drive(const BaseImage &base, const uint8_t *overlay, size_t size);

// Makes `dev` the only drive (the registry owns it from here on), without
// scanning.
void attach_only(BlockDevice *dev);

// Makes `dev` the only drive, scans and initialises the library (the
// registry owns the device from here on). Returns the mounted disk count.
int mount_only(BlockDevice *dev);

// For the targets that work on one recording: makes the selected base with
// the overlay behind the selector and `header` bytes the only drive, loads
// the catalogue and answers the recording `pick` chooses (modulo the count).
// False when the input is too short or the disk lists none. The disk stays
// open until unmount_all().
bool pick_recording(const uint8_t *data, size_t size, size_t header, uint8_t pick, CatalogueEntry *out);

// Closes every disk and forgets the drives.
void unmount_all();

// Seed for `base`: the selector byte, `header`, then the structure sectors.
std::vector<uint8_t> seed_for(size_t base_index, const std::vector<uint8_t> &header);

// When ORVELLE_FUZZ_SEED_DIR is set, writes one seed per base into that
// folder ("seed_<n>") and returns true (the target then exits).
bool write_seeds_if_asked(const std::vector<uint8_t> &header);

}  // namespace fuzzdisk
