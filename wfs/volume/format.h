// Formatting a recorder disk or one of its partitions: the partition table
// and volume head, the key-parameter and partition parameter blocks, and
// the per-cluster areas (directory, backup directory, index, extended
// directory, lock and mark files, face library, user data).
//
// Every write goes through the block cache to the device entry. On the
// player's read-only disks that changes cached blocks only (the bulk area
// writes are not even kept there); on the image tool's writable image they
// reach the file.
#pragma once

#include <cstdint>

#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

// Results of the format functions besides 0.
#define WFS_FORMAT_BAD_PARAM 1      // partition number or cluster size refused
#define WFS_FORMAT_BAD_SIZE 2       // the partition cannot hold the areas and a cluster
#define WFS_FORMAT_PROTECTED 3      // the partition's parameter block forbids formatting
#define WFS_FORMAT_IO 4             // a sector could not be read or written
#define WFS_FORMAT_OVERLAP 1        // wfs_write_partitions: two entries overlap

// Largest cluster the records can describe (end_length is 16 bits wide).
#define WFS_FORMAT_MAX_SEC_PER_CLUS 32768

// Writes the partition table of `disk` from `count` entries (at most 4;
// an entry with total 0 is empty) and its backup copy. A disk without a
// valid head gets a fresh head. 0, WFS_FORMAT_OVERLAP or WFS_FORMAT_IO.
int wfs_write_partitions(int disk, const WfsPartition *table, int count);

// Clears the disk's drivers, writes a one-partition table over the whole
// disk, formats partition 0 with 4096 sectors per cluster and mounts it.
int wfs_format_disk(int disk);

// Formats partition `part` of `disk` as a recording partition with
// `sec_per_clus` sectors per cluster (a power of two). 0 or WFS_FORMAT_*.
int wfs_format_driver(int disk, int part, uint32_t sec_per_clus);
// The same with the partition's driver_type (0 recording, 4 pictures ...).
int wfs_format_driver_type(int disk, int part, uint32_t sec_per_clus, uint32_t driver_type);

// The configuration words a rebuilt key-parameter block of (disk, part)
// takes (the defaults of key_param_set_defaults until set). Refused (-1)
// when outside the limits of key_param_config_valid.
int wfs_set_key_config(int disk, int part, const KeyParamBlock *config);

// Places the areas of the partition (start, total sectors) from its
// in-memory key-parameter block, rebuilding and writing that block first
// when it is not valid. 0 or WFS_FORMAT_*.
int wfs_init_key_param(int disk, int part, uint64_t start, uint64_t total, PDivP *out);

// Fills `count` sectors from `first` with `fill`, in runs of 16 sectors.
// 0, or 1 when a run could not be written.
int wfs_init_area_data(int disk, uint64_t first, uint64_t count, uint8_t fill);

// A directory area and its backup: dir_size sectors each of never-written
// records (dir_flag 0xFE; 0xFF for the reserved clusters below rev_clus).
int init_dir_area(int disk, uint64_t dir_sector, uint64_t backdir_sector, uint32_t rev_clus, uint32_t dir_size);

// An index area of index_size sectors: reserved clusters carry flag 3 (never
// written), every data cluster a free byte the writer may take.
int init_index_area(int disk, uint64_t index_sector, uint32_t rev_clus, uint32_t index_size);

// The index byte of a data cluster that was never written.
#define INDEX_BYTE_FRESH 0xFCu
// The index byte of a reserved cluster.
#define INDEX_BYTE_RESERVED 0x03u

// Lets wfs_file_sys_init format a disk whose head or partition table cannot
// be used, and a partition that fails to mount, then mount it again (the
// image tool does this for blank images).
void wfs_use_format_fallbacks(void);
