// Pieces shared by the files of the mount code (not for other layers).
#pragma once

#include <cstdint>

#include "wfs/volume/mount.h"

// Frees every driver slot and empties the rings.
void reset_driver_slots(void);

// The volume layer's copy of the disk-information block.
struct IdeInfo;
IdeInfo &volume_ide_info(void);

// Bounds the values taken from a disk: collision list ascending within
// [max(rev_clus, 1), total_cluster), at most 128 entries; cluster numbers
// of the parameter block at most total_cluster - 1.
void sanitise_driver(DriverParam *pdp);

// The end time of a cluster's directory record, 0 when unreadable.
uint32_t cluster_end_time(DriverParam *pdp, uint32_t clus);
// The start time of a cluster's directory record, 0 when unreadable.
uint32_t cluster_start_time(DriverParam *pdp, uint32_t clus);

// Reads the partition's key-parameter block into g_part_key_param when it
// is valid. 0, or 1 when the sector cannot be read.
int load_part_key_param(int disk, int part, uint64_t start);
