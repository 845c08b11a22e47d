// Repair of a recording partition that was being written when the disk was
// last used (its status is not 170): closes the recording that was cut off,
// moves the current cluster to the last cluster that was closed properly,
// and rebuilds the index behind it. The changes live in the block cache and
// in the driver record only; nothing reaches the disk.
#pragma once

struct DriverParam;

// Clusters after current_cluster that the repair looks at.
#define RESTORE_SCAN_CLUSTERS 520
// How far the previous pass is kept ahead of the current cluster.
#define RESTORE_INTERVAL_RECORD 256
#define RESTORE_INTERVAL_PICTURE 64

// 0, or the status of the directory access that failed.
unsigned restore_fs41(DriverParam *pdp);
