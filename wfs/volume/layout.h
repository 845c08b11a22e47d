// The on-disk records of a WFS volume and where its areas lie.
//
// All sector numbers are relative to the volume's first sector (sector 0 is
// the volume head); all integers are little-endian; sizes and offsets are in
// 512-byte sectors unless said otherwise. Records are decoded field by field
// from the byte offsets named here.
#pragma once

#include <cstdint>
#include <string>

#include "wfs/device/sector.h"

// ---------------------------------------------------------------- common

#define WFS_CHECK_WORD 0x789ABCDEu
#define WFS_LAYOUT_VERSION 4      // key-parameter version written by this layer

// Parameter sectors of a partition: start + key_param_offset + k; a second
// copy lies PARAM_COPY_DISTANCE sectors further.
#define KEY_PARAM_SECTOR 10       // key-parameter block
#define PART_TABLE_SECTOR 20      // partition table (partition 0 only)
#define PART_PARAM_SECTOR 24      // partition parameter block ("temp param")
#define COLLISION_SECTOR 28       // collision sector
#define PARAM_COPY_DISTANCE 1024

// ---------------------------------------------------------------- head

// Volume head (sector 0).
#define VH_MAGIC 0                // 7 bytes: "WFS0.4" and a zero byte
#define VH_MAGIC_LEN 7
#define VH_KEY_PARAM_OFFSET 480   // u32 x 4: key_param_offset of partitions 0-3
#define VH_FLAG_Q 510             // 'Q'
#define VH_FLAG_J 511             // 'J'

#define WFS_MAGIC_CURRENT "WFS0.4"
#define WFS_MAGIC_OLD "WFS0.3"

struct VolumeHead {
    char magic[VH_MAGIC_LEN + 1];  // the seven bytes, zero-terminated
    uint32_t key_param_offset[4];
    uint8_t flag_q;
    uint8_t flag_j;
};

void decode_volume_head(const uint8_t *sector, VolumeHead *out);
// Writes a head of the current version (zeroing the sector first).
void encode_volume_head(const uint32_t key_param_offset[4], uint8_t *sector);

// "WFS0.4", a zero byte, and "Q", "J" at 510 and 511.
bool volume_head_is_current(const uint8_t *sector);
// The seven bytes "WFS0.3" and a zero byte (the older version).
bool volume_head_is_old(const uint8_t *sector);
// Turns an old head into a current one in place (magic and the two flags).
void volume_head_convert(uint8_t *sector);
// " check_disk_ver no match: ver %s, flg %02X %02X\n" for a head that does
// not match (the version text at most seven bytes, up to its first zero).
std::string volume_head_mismatch_text(const uint8_t *sector);

// ---------------------------------------------------------------- partition table

#define PT_HEADER_W36 36          // u32: 0
#define PT_HEADER_W40 40          // u32: 3
#define PT_HEADER_CHECK 44        // u32: 0x789ABCDE
#define PT_HEADER_W48 48          // u32: 3
#define PT_HEADER_W52 52          // u32: 1
#define PT_ENTRY 56               // 4 entries of 64 bytes
#define PT_ENTRY_SIZE 64
#define PT_ENTRIES 4
#define PT_SIZE 312               // bytes of the table
// Within an entry:
#define PTE_START 0               // u64: start sector on the volume
#define PTE_TOTAL 8               // u64: total sectors; 0 = no partition
#define PTE_W28 28                // u32: 24
#define PTE_WRITTEN 56            // u32: 1 when the entry was written

struct PartitionEntry {
    uint64_t start;
    uint64_t total;
    uint32_t written;
};

struct PartitionTable {
    PartitionEntry entry[PT_ENTRIES];
};

void decode_partition_table(const uint8_t *sector, PartitionTable *out);
// Writes the header words and every entry whose `written` is set (other
// entries zero); the rest of the sector is zeroed.
void encode_partition_table(const PartitionTable *pt, uint8_t *sector);
// The reader's view of entry i: start and total, with an empty entry (total
// 0) reading start 0 when its written word is set. False when empty.
bool partition_table_entry(const PartitionTable *pt, int i, uint64_t *start, uint64_t *total);
// True when two present entries overlap.
bool partition_table_overlaps(const PartitionTable *pt);

// ---------------------------------------------------------------- key parameters

#define KP_TOTAL 0                    // u64: total sectors of the partition
#define KP_START 8                    // u64: start sector of the partition
#define KP_REDUND_PART_PARAM 16       // u32
#define KP_REDUND_DIR 20              // u32
#define KP_REDUND_INDEX 24            // u32
#define KP_REDUND_LOCK_FILE 28        // u32
#define KP_REDUND_MARK_FILE 32        // u32
#define KP_REDUND_FACE_PARAM 36       // u32
#define KP_REDUND_FACE_RECORD 40      // u32
#define KP_REDUND_FACE_PIC 44         // u32
#define KP_FACE_LIB_SUPPORT_SIZE 48   // u32
#define KP_SYS_RECV_RATIO 52          // u32
#define KP_RECV_CLUS_MULTIPLE 56      // u32
#define KP_DIR_OFFSET 60              // u32: L
#define KP_BACKDIR_OFFSET 64          // u32: L + D
#define KP_INDEX_OFFSET 68            // u32: Q
#define KP_LOCK_FILE_OFFSET 72        // u32: R
#define KP_LOCK_FILE_END 76           // u32: R + 3072
#define KP_MARK_FILE_OFFSET 80        // u32: V
#define KP_MARK_FILE_END 84           // u32: V + G + 3072
#define KP_FACE_LIB_PARAM_OFFSET 88   // u32: A
#define KP_FACE_RECORD_OFFSET 92      // u32: F
#define KP_FACE_RECORD_END 96         // u32: F + E
#define KP_FACE_PIC_OFFSET 100        // u32: Dp
#define KP_FACE_PIC_END 104           // u32: Dp + Cp
#define KP_EXT_DIR_OFFSET 108         // u32: M
#define KP_AREA_BASE 496              // u64: base offset of the areas
#define KP_VERSION 504                // i32: > 0 in a valid block
#define KP_CHECK 508                  // u32: 0x789ABCDE

struct KeyParamBlock {
    uint64_t total_sectors;
    uint64_t start_sector;
    uint32_t redund_part_param_nums;
    uint32_t redund_dir_nums;
    uint32_t redund_index_nums;
    uint32_t redund_lock_file_nums;
    uint32_t redund_mark_file_nums;
    uint32_t redund_face_param_nums;
    uint32_t redund_face_record_nums;
    uint32_t redund_face_pic_nums;
    uint32_t face_lib_support_size;
    uint32_t sys_recv_ratio_sectors;
    uint32_t recv_clus_multiple;
    uint32_t dir_offset;
    uint32_t backdir_offset;
    uint32_t index_offset;
    uint32_t lock_file_info_off;
    uint32_t lock_file_end;
    uint32_t mark_file_info_off;
    uint32_t mark_file_end;
    uint32_t face_lib_param_offset;
    uint32_t cur_face_lib_record_offset;
    uint32_t face_lib_record_end;
    uint32_t face_pic_offset;
    uint32_t face_pic_end;
    uint32_t ext_dir_offset;
    uint64_t area_base;
    int32_t version;
    uint32_t check_word;
};

void decode_key_param(const uint8_t *sector, KeyParamBlock *out);
// Writes the whole 512-byte sector (reserved bytes zero).
void encode_key_param(const KeyParamBlock *kp, uint8_t *sector);
// Taken at mount only when: total nonzero, check word right, version above
// 0, and key_param_offset < dir_offset < index_offset.
bool key_param_valid(const KeyParamBlock *kp, uint32_t key_param_offset);
// The configuration words within their limits (redundancy counts, face
// library size, nonzero recovery ratio and cluster multiple).
bool key_param_config_valid(const KeyParamBlock *kp);
// Default configuration words (5, 10, 10, 4, 4, 4, 4, 3; 512; 1000; 2);
// other fields are left as they are.
void key_param_set_defaults(KeyParamBlock *kp);

// ---------------------------------------------------------------- area placement

// The division parameters of a partition: where each area lies (sectors
// relative to the partition's start).
struct PDivP {
    uint64_t total_sectors;               // T
    uint32_t groups;                      // n
    uint32_t dir_size;                    // D
    uint32_t index_size;                  // Ix
    uint32_t mark_file_index_block_size;  // G
    uint32_t special_info_block_size;     // 3072
    uint32_t mark_file_info_block_size;   // G + 3072
    uint32_t dir_offset;                  // L
    uint32_t backdir_offset;              // L + D
    uint32_t ext_dir_offset;              // M
    uint32_t index_offset;                // Q
    uint32_t lock_file_info_off;          // R
    uint32_t mark_file_info_off;          // V
    uint32_t face_lib_param_offset;       // A
    uint32_t cur_face_lib_record_offset;  // F
    uint32_t face_lib_record_block_size;  // E
    uint32_t face_pic_offset;             // Dp
    uint32_t face_pic_block_size;         // Cp
    uint32_t face_pic_index_size;         // H
    uint32_t face_area_size;              // W
    uint32_t sys_area_end;                // J
    uint64_t recovery_sectors;            // T / sys_recv_ratio_sectors
    uint32_t data_offset;
    uint32_t total_cluster;
    uint32_t rev_clus;
};

#define PDIVP_CLUSTER_SECTORS 4096

// Places the areas of a partition of `total_sectors` with the configuration
// of `kp` (its area_base and configuration words); the face library only on
// partition 0. 0, or -1 when the configuration is out of its limits, an
// offset does not fit in 32 bits, or no cluster fits.
int compute_pdivp(uint64_t total_sectors, const KeyParamBlock *kp, int part, PDivP *out);
// Copies the placement into the key-parameter block's offset words (with
// the derived ends), total and start.
void key_param_apply_pdivp(const PDivP *dp, uint64_t start_sector, KeyParamBlock *kp);

// ---------------------------------------------------------------- partition parameters

#define PP_SIZE 336                   // bytes used of the sector
#define PP_GENERATION 8               // u8
#define PP_COLLISION_DIRTY 9          // u8
#define PP_STATUS 12                  // u32: 170 = closed cleanly
#define PP_START_TIME1 16
#define PP_END_TIME1 20
#define PP_CURRENT_CLUSTER 24
#define PP_START_CLUSTER2 28
#define PP_END_CLUSTER2 32
#define PP_START_TIME2 36
#define PP_END_TIME2 40
#define PP_BYTES_PER_SECTOR 44
#define PP_SEC_PER_CLUS 48
#define PP_EXT_DIR_OFFSET 52
#define PP_REV_CLUS 56
#define PP_INDEX_OFFSET 60
#define PP_TEMP_OFF 64
#define PP_DIR_OFFSET 68
#define PP_DATA_OFFSET 72
#define PP_TOTAL_CLUSTER 76
#define PP_DRIVER_TYPE 84
#define PP_UD_OFFSET 88
#define PP_UD_AREA_WORD 92
#define PP_UD_ITEM_COUNT 96
#define PP_UD_FIRST_ITEM 100
#define PP_UD_LAST_ITEM 104
#define PP_DEV 108
#define PP_SAVED_CURRENT_CLUSTER 112
#define PP_INDEX_RESTORE_POINT 116    // i32
#define PP_PART 140
#define PP_EXTRA_AREA_OFFSET 144
#define PP_EXTRA_AREA_SIZE 148
#define PP_BAD_STATUS 152
#define PP_COLLISION_OFFSET 156
#define PP_COLLISION_COUNT 160
#define PP_COLLISION_SPLIT 164
#define PP_SYS_AREA_END 176
#define PP_EXTRA_AREA2_OFFSET 184
#define PP_EXTRA_AREA2_SIZE 188
#define PP_START_SECTOR 224           // u64
#define PP_BACKDIR_OFFSET 236
#define PP_FACE_LIB_PARAM_OFFSET 240
#define PP_LOCK_FILE_INFO_OFF 248
#define PP_MARK_FILE_INFO_OFF 256
#define PP_MARK_INDEX_OFFSET 260
#define PP_MARK_AREA_END 264
#define PP_PROTECTED_FLAG 324
#define PP_CHECK 328

#define PARTITION_STATUS_CLEAN 170
#define BAD_STATUS_OK 0
#define BAD_STATUS_MARKED 15

enum DriverType {
    DRIVER_TYPE_RECORD = 0,    // recording partition
    DRIVER_TYPE_READONLY = 1,
    DRIVER_TYPE_MIRROR = 3,    // receives the mirror of a recording written in parallel
    DRIVER_TYPE_PICTURE = 4,
    DRIVER_TYPE_5 = 5,         // met on disks; listed like a recording partition
    DRIVER_TYPE_FREE = 255,    // free driver slot (memory only)
};
#define DRIVER_TYPE_RINGS 7     // types 0-6 have a work-driver ring
#define DRIVER_TYPE_HIGHEST 7   // a queried type above this is made read-only

// The types a recorder writes into (recording, mirror and picture
// partitions): a partition of one of them left open is repaired at mount,
// and its write section is refreshed before its time sections are shown.
inline bool driver_type_written(uint32_t type)
{
    return type == DRIVER_TYPE_RECORD || type == DRIVER_TYPE_MIRROR || type == DRIVER_TYPE_PICTURE;
}

#define COLLISION_ENTRIES 128
#define FACE_LIB_RECORD_SIZE 228
#define FACE_LIB_MAGIC "FACELIB"  // and a zero byte: 8 bytes compared

struct TimeSection;  // the mount's time-section record

// The runtime record of a mounted partition ("driver"): the fields of the
// partition parameter block in the block's order, with runtime fields in
// place of the bytes that are not copied.
struct DriverParam {
    uint32_t reserved_0;              // 0
    uint32_t reserved_4;              // 4
    uint8_t generation;               // 8  shown as "F"
    uint8_t collision_dirty;          // 9  collision sector must be written
    uint8_t carried_10[2];            // 10
    uint32_t status;                  // 12 170 = closed cleanly
    uint32_t start_time1;             // 16 oldest recording of the current pass
    uint32_t end_time1;               // 20 newest recording
    uint32_t current_cluster;         // 24 0 = no recording
    uint32_t start_cluster2;          // 28 previous pass still intact, or 0
    uint32_t end_cluster2;            // 32
    uint32_t start_time2;             // 36
    uint32_t end_time2;               // 40
    uint32_t bytes_per_sector;        // 44 512
    uint32_t sec_per_clus;            // 48
    uint32_t ext_dir_offset;          // 52
    uint32_t rev_clus;                // 56 reserved clusters
    uint32_t index_offset;            // 60
    uint32_t temp_off;                // 64 this block's own offset
    uint32_t dir_offset;              // 68
    uint32_t data_offset;             // 72 first sector of cluster 0
    uint32_t total_cluster;           // 76
    uint32_t reserved_80;             // 80
    uint32_t driver_type;             // 84
    uint32_t ud_offset;               // 88 user-data area
    uint32_t ud_area_word;            // 92
    uint32_t ud_item_count;           // 96
    uint32_t ud_first_item;           // 100
    uint32_t ud_last_item;            // 104
    uint32_t dev;                     // 108 disk number
    uint32_t saved_current_cluster;   // 112
    int32_t index_restore_point;      // 116
    DriverParam *prev;                // runtime (bytes 120-135 not copied)
    DriverParam *next;                //   work-driver ring links
    uint32_t reserved_136;            // 136
    uint32_t part;                    // 140 partition number
    uint32_t extra_area_offset;       // 144
    uint32_t extra_area_size;         // 148
    uint32_t bad_status;              // 152 0 usable, 15 bad
    uint32_t collision_offset;        // 156
    uint32_t collision_count;         // 160
    uint32_t collision_split;         // 164
    uint32_t *collision_clusters;     // runtime (bytes 168-175 not copied):
    TimeSection *time_sections;       //   128 clusters, 130 sections
    uint32_t sys_area_end;            // 176 J
    uint32_t reserved_180;            // 180 cleared at mount
    uint32_t extra_area2_offset;      // 184
    uint32_t extra_area2_size;        // 188
    uint8_t carried_192[32];          // 192
    uint64_t start_sector;            // 224
    uint32_t reserved_232;            // 232
    uint32_t backdir_offset;          // 236
    uint32_t face_lib_param_offset;   // 240 "face_off"
    uint8_t *face_lib_record;         // runtime (bytes 244-247): 228 bytes
    uint32_t lock_file_info_off;      // 248 "lock_off"
    uint32_t reserved_252;            // 252
    uint32_t mark_file_info_off;      // 256 "mark_off"
    uint32_t mark_index_offset;       // 260
    uint32_t mark_area_end;           // 264
    uint32_t reserved_268;            // 268
    uint8_t carried_272[52];          // 272
    uint32_t protected_flag;          // 324 nonzero: may not be formatted
    uint32_t check_word;              // 328 0x789ABCDE
};

// Copies the block's fields into `pdp`; the runtime fields are left as they
// are. 0, or -1 when the check word is not 0x789ABCDE (the fields are
// copied all the same).
int decode_partition_param(const uint8_t *sector, DriverParam *pdp);
// Writes the fields into the first 336 bytes of `sector`; the bytes that are
// not copied and the rest of the sector are left as they are (zero the
// sector first for a fresh block).
void encode_partition_param(const DriverParam *pdp, uint8_t *sector);

// Sanity of the geometry before anything divides by it or scans by it:
// sec_per_clus a nonzero power of two, total_cluster nonzero, and the data
// area (data_offset + total_cluster x sec_per_clus) within `part_total`
// sectors. True when usable.
bool driver_geometry_ok(const DriverParam *pdp, uint64_t part_total);

// First sector of cluster c: start + data_offset + c x sec_per_clus, in 64
// bits.
uint64_t cluster_to_sector(const DriverParam *pdp, uint32_t cluster);

// Collision sector: up to 128 u32 cluster numbers.
void decode_collision_sector(const uint8_t *sector, uint32_t clusters[COLLISION_ENTRIES]);
void encode_collision_sector(const uint32_t clusters[COLLISION_ENTRIES], uint8_t *sector);

// "FACELIB" and a zero byte at the start of the sector.
bool face_lib_record_valid(const uint8_t *sector);
