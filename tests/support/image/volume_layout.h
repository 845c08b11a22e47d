// Where a recorder puts the system areas of a WFS partition, and the byte
// layout of the volume's fixed sectors: MBR, volume head, partition table,
// key-parameter block, partition parameter block and collision sector.
// Sector numbers are relative to the WFS volume (sector 0 = volume head)
// unless a name says otherwise; offsets inside a partition are relative to
// the partition's first sector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testimg {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kCheckWord = 0x789ABCDE;
constexpr uint32_t kStatusClean = 170;  // parameter block status of a cleanly closed partition

// Parameter sectors of a partition, relative to start + key_param_offset.
// The second copy of each lies 1024 sectors further on.
constexpr uint32_t kKeyParamSector = 10;
constexpr uint32_t kPartitionTableSector = 20;  // partition 0 only
constexpr uint32_t kParamBlockSector = 24;
constexpr uint32_t kCollisionSector = 28;
constexpr uint32_t kSecondCopyDistance = 1024;

// Configuration words of the key-parameter block; the defaults are what a
// recorder formats with.
struct KeyParamConfig {
    uint32_t redund_part_param_nums = 5;
    uint32_t redund_dir_nums = 10;
    uint32_t redund_index_nums = 10;
    uint32_t redund_lock_file_nums = 4;
    uint32_t redund_mark_file_nums = 4;
    uint32_t redund_face_param_nums = 4;
    uint32_t redund_face_record_nums = 4;
    uint32_t redund_face_pic_nums = 3;
    uint32_t face_lib_support_size = 512;
    uint32_t sys_recv_ratio_sectors = 1000;
    uint32_t recv_clus_multiple = 2;
    uint64_t base = 0;  // base offset of the areas
};

// The division parameters of one partition (all values in sectors).
struct AreaLayout {
    uint64_t total_sectors = 0;
    uint32_t sec_per_clus = 0;
    uint32_t groups = 0;                      // n
    uint32_t dir_size = 0;                    // D
    uint32_t index_size = 0;                  // Ix
    uint32_t mark_file_index_block_size = 0;  // G
    uint32_t dir_offset = 0;                  // L
    uint32_t backdir_offset = 0;              // L + D
    uint32_t ext_dir_offset = 0;              // M
    uint32_t index_offset = 0;                // Q
    uint32_t lock_file_info_off = 0;          // R
    uint32_t mark_file_info_off = 0;          // V
    uint32_t face_lib_param_offset = 0;       // A
    uint32_t cur_face_lib_record_offset = 0;  // F
    uint32_t face_lib_record_block_size = 0;  // E
    uint32_t face_pic_offset = 0;             // Dp
    uint32_t face_pic_size = 0;               // Cp
    uint32_t system_end = 0;                  // J
    uint32_t data_offset = 0;
    uint32_t total_cluster = 0;
    uint32_t rev_clus = 0;
};

inline uint64_t up256(uint64_t x) { return (x + 255) / 256 * 256; }

// Places the areas of a partition of `total_sectors` sectors. The recorder's
// own format always uses 4096 sectors per cluster; for other cluster sizes
// the same rules are applied with the cluster size in place of 4096 (group
// count, cluster count and reserved clusters), so that the directory always
// has a record for every cluster. `face_library` is true for partition 0
// when a face library is configured. Returns false (with a reason) when the
// partition is too small to hold its system areas and at least two data
// clusters.
bool compute_area_layout(uint64_t total_sectors, uint32_t sec_per_clus, const KeyParamConfig &key,
                         bool face_library, AreaLayout *out, std::string *error);

// ---- fixed sectors --------------------------------------------------------

// Sector 0 of a whole disk: an MBR whose first entry (the start LBA at byte
// 454) points at the WFS volume.
void encode_mbr(uint32_t base_lba, uint64_t volume_sectors, uint8_t sector[512]);

// Volume head: magic (7 bytes compared, e.g. "WFS0.4" + NUL), the four
// key_param_offset words at byte 480 and "Q" "J" at 510/511 when `qj`.
void encode_volume_head(const std::string &magic, const uint32_t key_param_offset[4], bool qj,
                        uint8_t sector[512]);

struct PartitionEntry {
    uint64_t start = 0;
    uint64_t sectors = 0;  // 0 = no partition
    bool written = false;  // the entry's "written" word
};

void encode_partition_table(const PartitionEntry entries[4], uint8_t sector[512]);

void encode_key_param_block(const KeyParamConfig &key, const AreaLayout &layout, uint64_t part_start,
                            uint8_t sector[512]);

// The fields of the partition parameter block a recorder keeps; the rest of
// the block follows from the layout.
struct ParamBlockState {
    uint8_t generation = 0;
    uint32_t status = kStatusClean;
    uint32_t start_time1 = 0;
    uint32_t end_time1 = 0;
    uint32_t current_cluster = 0;
    uint32_t start_cluster2 = 0;
    uint32_t end_cluster2 = 0;
    uint32_t start_time2 = 0;
    uint32_t end_time2 = 0;
    uint32_t driver_type = 0;
    uint32_t dev = 0;
    uint32_t part = 0;
    uint32_t bad_status = 0;
    uint32_t collision_count = 0;
    uint32_t protected_flag = 0;
    uint32_t key_param_offset = 0;
    bool ext_dir = true;  // false: ext_dir_offset is 0 (no extended directory)
    uint32_t ud_first_item = 1;
    uint32_t ud_last_item = 1;
};

constexpr uint32_t kUdAreaDistance = 40960;  // ud_offset = data_offset + this
constexpr uint32_t kUdItemCount = 0x280000;

void encode_param_block(const ParamBlockState &st, const AreaLayout &layout, uint64_t part_start,
                        uint8_t sector[512]);

// Collision sector: ascending cluster numbers, at most 128.
void encode_collision_sector(const std::vector<uint32_t> &clusters, uint8_t sector[512]);

}  // namespace testimg
