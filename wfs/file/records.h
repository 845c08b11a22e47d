// The per-cluster records of a WFS partition and their accessors.
//
// A partition keeps, for every cluster c of its data area, three parallel
// tables (all offsets in sectors from the partition's first sector):
//   directory area       dir_offset      32-byte dir_item, 16 per sector
//   backup directory     backdir_offset  the same records, mirrored
//   extended directory   ext_dir_offset  32-byte ext_dir_item (0 = absent)
//   index area           index_offset    1-byte index_item, 512 per sector
// and a ring of 16-byte user-data items at ud_offset.
//
// A cluster number is valid for these tables when it is not greater than
// total_cluster; every accessor refuses a larger one with FS_BAD_CLUSTER.
// Every function takes the partition's DriverParam first and returns a
// status of wfs/file/status.h. "flush" means: write the changed block out at
// once; otherwise it is only marked dirty in the block cache.
#pragma once

#include <cstdint>

#include "wfs/file/status.h"
#include "wfs/file/wfs_time.h"

struct DriverParam;
struct file_info;
struct file_info_v2;

// ---------------------------------------------------------------------------
// dir_item: one cluster's directory record (32 bytes on disk, little-endian).

// dir_flag values: the role of a cluster.
enum {
    DIR_FLAG_CONT0 = 0,        // continuation cluster of a recording
    DIR_FLAG_CONT = 1,         // continuation cluster of a recording
    DIR_FLAG_FIRST = 2,        // first cluster of a recording
    DIR_FLAG_FIRST_SPECIAL = 3,  // first cluster, special-mode recording (index flag 1)
    DIR_FLAG_KEPT_FIRST = 4,   // first cluster the writer passed over because it is kept
    DIR_FLAG_KEPT_CONT = 5,    // continuation cluster the writer passed over because it is kept
    DIR_FLAG_UNWRITTEN = 0xFE  // value of a freshly initialised area
};

// Type code (alarm) that marks a deleted recording in its first cluster's
// record; deleting changes nothing else.
#define WFS_ALARM_DELETED 32

// down_cluster_no of a cluster whose recording was still being written past it.
const uint32_t DIR_DOWN_OPEN = 0xFFFFFFFFu;

struct dir_item {
    uint8_t alarm;              // byte 0: recording type code
    uint8_t dir_flag;           // byte 1: cluster role (DIR_FLAG_*)
    uint16_t item_num;          // byte 2: first cluster: last cluster's index; else own index
    uint32_t up_cluster_no;     // byte 4: previous cluster; first cluster: user-data item (0 none)
    uint32_t down_cluster_no;   // byte 8: next cluster; DIR_DOWN_OPEN while written; 0 = last
    uint32_t start_time;        // byte 12: wfs_time; first cluster: start of the recording
    uint32_t end_time;          // byte 16: wfs_time; first cluster: end of the whole recording
    uint16_t head_sectors;      // byte 20: stream-header sectors at the start of the recording
    uint16_t end_length;        // byte 22: sectors used in the last cluster, 0 = full
    uint32_t first_cluster_no;  // byte 24: first cluster of the recording
    uint8_t sub_type;           // byte 28 bits 0-2
    uint8_t sub_type2;          // byte 28 bits 3-4
    uint8_t keep_flag;          // byte 28 bit 5: recording must not be overwritten
    uint8_t attr_high;          // byte 28 bits 6-7, carried unchanged
    uint8_t stream_type;        // byte 29
    uint8_t repeat_no;          // byte 30: sequence number of the recording
    uint8_t channel;            // byte 31 bits 2-7: 0-based channel
    uint8_t AV;                 // byte 31 bits 0-1: 0 picture, else video
};

const unsigned DIR_ITEM_SIZE = 32;

void dir_item_decode(const uint8_t *raw, dir_item *out);
void dir_item_encode(const dir_item *item, uint8_t *raw);

// Byte 28 bits 5-7 as one 3-bit value (keep_flag is its lowest bit).
inline unsigned dir_item_attr_bits(const dir_item *d) { return (d->keep_flag & 1u) | ((d->attr_high & 3u) << 1); }

// Length of a recording from its first cluster's item, in sectors (64-bit).
uint64_t dir_item_length_sectors(const dir_item *first, uint32_t sec_per_clus);

unsigned get_dir_item_info(DriverParam *pdp, uint32_t clus, dir_item *out);
// The cluster's start_time.
unsigned get_dir_item_time(DriverParam *pdp, uint32_t clus, wfs_time *out);
// The cluster's end: the start of the next cluster when the item links to a
// real one; otherwise end_time, or end_time + 1 s when it equals start_time.
unsigned get_dir_item_time1(DriverParam *pdp, uint32_t clus, wfs_time *out);

// Setters. Each one changes the directory area and, when backup writing is
// on (the default), the backup directory area the same way.
unsigned set_dir_item_info(DriverParam *pdp, uint32_t clus, const dir_item *item, bool flush);
unsigned set_dir_item_down_clus(DriverParam *pdp, uint32_t clus, uint32_t next, bool flush);
unsigned set_dir_item_up_clus(DriverParam *pdp, uint32_t clus, uint32_t value, bool flush);
unsigned set_dir_last_item(DriverParam *pdp, uint32_t clus, uint16_t end_length, wfs_time end_time, bool flush);
unsigned set_dir_last_item1(DriverParam *pdp, uint32_t clus, bool flush);
unsigned set_dir_first_item(DriverParam *pdp, uint32_t first_clus, uint16_t end_length, uint16_t item_count,
                            wfs_time end_time, bool flush);
unsigned set_dir_item_end_time(DriverParam *pdp, uint32_t clus, wfs_time end_time, uint16_t end_length, bool flush);
unsigned set_dir_file_alrm(DriverParam *pdp, uint32_t clus, uint8_t alarm, bool flush);

// Backup writing of the directory setters (on by default).
void wfs_set_backup_dir_writing(bool on);
bool wfs_backup_dir_writing(void);

// ---------------------------------------------------------------------------
// ext_dir_item: the optional extended directory record (32 bytes).

struct ext_dir_item {
    uint8_t attr1;   // byte 0: attribute taken from the open file (63 when absent)
    uint8_t attr2;   // byte 1: second attribute (0 when absent)
    uint32_t mask;   // bytes 4-7: bits set one by one by number
};

const uint8_t EXT_ATTR1_DEFAULT = 63;
const uint8_t EXT_ATTR2_DEFAULT = 0;

void ext_dir_item_decode(const uint8_t *raw, ext_dir_item *out);
void ext_dir_item_encode(const ext_dir_item *item, uint8_t *raw);

// FS_NO_EXT_DIR when the partition has no extended area.
unsigned get_ext_dir_item(DriverParam *pdp, uint32_t clus, ext_dir_item *out);
unsigned set_ext_dir_item(DriverParam *pdp, uint32_t clus, const ext_dir_item *item, bool flush);
unsigned set_ext_dir_mask_bit(DriverParam *pdp, uint32_t clus, unsigned bit, bool flush);

// ---------------------------------------------------------------------------
// index_item: one byte per cluster, channel in bits 7-2, flag in bits 1-0.

enum {
    INDEX_FLAG_CONT = 0,       // continuation cluster
    INDEX_FLAG_SPECIAL = 1,    // first cluster of a special-mode recording
    INDEX_FLAG_FIRST = 2,      // first cluster of a recording
    INDEX_FLAG_RESERVED = 3    // bad cluster, or (with keep_flag) a kept recording's cluster
};

inline unsigned index_item_channel(uint8_t b) { return b >> 2; }
inline unsigned index_item_flag(uint8_t b) { return b & 3u; }
inline uint8_t index_item_make(unsigned channel, unsigned flag)
{
    return static_cast<uint8_t>(((channel & 0x3Fu) << 2) | (flag & 3u));
}

// The index flag a directory item maps to when the index is rebuilt:
// dir_flag 0/1 -> 0, 2 -> 2, 3 -> 1, anything else -> 3.
unsigned index_flag_for_dir_flag(unsigned dir_flag);

// The three cluster predicates. The directory item is consulted only for
// flag 3 and may be null otherwise (null then counts as "not kept").
bool clus_pred_in_use(uint8_t index_byte, const dir_item *item);
bool clus_pred_continuation(uint8_t index_byte, const dir_item *item);
bool clus_pred_record_start(uint8_t index_byte, const dir_item *item);

unsigned get_index_item(DriverParam *pdp, uint32_t clus, uint8_t *out);
// Writes the byte only when the cluster is currently in use; otherwise
// nothing changes and the result is FS_OK.
unsigned set_index_item_info(DriverParam *pdp, uint32_t clus, uint8_t value, bool flush);

// Index scan modes.
enum {
    INDEX_SEARCH_WRITER_NEXT = 1,  // writer: next cluster whose flag is not 3
    INDEX_SEARCH_IN_USE = 2,       // forward: in use, channel ch
    INDEX_SEARCH_START = 3,        // forward: recording start, channel ch
    INDEX_SEARCH_CHANNEL = 4,      // forward: channel ch, not a start (start -> FS_AT_START)
    INDEX_SEARCH_RESERVED = 5,     // forward: flag 3
    INDEX_SEARCH_BACK_IN_USE = 7,  // backward: in use, channel ch
    INDEX_SEARCH_BACK_START = 8,   // backward: recording start, channel ch
    INDEX_SEARCH_NEXT_CLUS = 9,    // forward: next cluster of the recording at "from"
    INDEX_SEARCH_ANY_START = 10,   // forward: any recording start
    INDEX_SEARCH_PREV_CLUS = 11,   // backward: previous cluster of the recording at "from"
    INDEX_SEARCH_BACK_FROM = 12    // backward: as 7, unless "from" is itself a start
};

const uint8_t INDEX_ANY_CHANNEL = 0xFF;

// The index scanner. Walks the index from "from" (exclusive) in the mode's
// direction within [from, bound] (forward) or [bound, from] (backward); a
// bound of 0 follows the driver's ring: from above current_cluster the
// stretch current_cluster + 1 .. end_cluster2, otherwise rev_clus ..
// current_cluster. Every scan also stays below total_cluster.
unsigned index_search(DriverParam *pdp, int mode, uint32_t from, uint32_t bound, uint32_t *out, uint8_t ch);

// Rebuilds the index bytes of clusters first .. last (inclusive, clamped to
// rev_clus .. total_cluster - 1) from their directory items.
unsigned restore_clus_index_range(DriverParam *pdp, uint32_t first, uint32_t last);
// Rebuilds the index from the partition's index restore point up to its
// current cluster.
unsigned restore_clus_index(DriverParam *pdp);

// ---------------------------------------------------------------------------
// File-info records from a recording's first cluster.

unsigned fill_file_info_v2(DriverParam *pdp, uint32_t clus, file_info_v2 *out);
// The same from a record already read (the extended item is still read).
void fill_file_info_v2_from(DriverParam *pdp, uint32_t clus, const dir_item *item, file_info_v2 *out);
unsigned fill_file_info(DriverParam *pdp, uint32_t clus, file_info *out);
