// Recovery: the recordings a recorder's own listing no longer shows although
// their bytes are still on the disk.
//
//   deleted   a recording whose first cluster's record has the type code 32
//             (deleting changes nothing else): the whole chain is intact
//             until the ring reaches it, and it opens and reads like any
//             recording by its first cluster;
//   fragment  the surviving clusters of a recording whose first cluster the
//             ring has taken again (fragment.h): it opens by its first
//             surviving cluster and reads along the surviving chain.
//
// wfs_recover_scan reads a partition's directory area once, in large
// sequential pieces, and returns both kinds. It is read-only, and bounded:
// its memory grows with the number of first clusters and surviving clusters
// found, never beyond the partition's cluster count; links that point
// outside the data area, loop or claim more clusters than item_num allows
// end a chain where it can no longer be followed.
#pragma once

#include <cstdint>
#include <vector>

#include "wfs/file/file_info.h"
#include "wfs/file/status.h"

struct DriverParam;

enum wfs_recovery_state : uint8_t {
    WFS_STATE_LIVE = 0,      // anything else: a listed recording, or nothing the scan finds
    WFS_STATE_DELETED = 1,
    WFS_STATE_FRAGMENT = 2,
};

// "live", "deleted" or "fragment".
const char *wfs_recovery_state_name(unsigned state);

struct wfs_recovered {
    // As the recording list describes a recording. first_cluster_no is the
    // item's identity: a deleted recording's first cluster, a fragment's
    // first surviving cluster. A fragment's start is that cluster's start
    // time, its end the end time of its last cluster, its type code and
    // attributes those of its first surviving cluster; up_cluster_no is 0.
    file_info_v2 info;
    uint8_t state;                // WFS_STATE_DELETED or WFS_STATE_FRAGMENT
    uint32_t lost_first_cluster;  // fragment: the first cluster its records name; deleted: 0
    uint32_t clusters;            // clusters that hold its data
    uint64_t sectors;             // its length in sectors (header included)
    uint64_t head_bytes;          // bytes of stream header at its start, which a reader skips: a
                                  // deleted recording's head_sectors (a "DHII" header is found at
                                  // opening), the part of the old header a fragment still holds
};

// What one scan read.
struct wfs_recover_stats {
    uint64_t reads;            // direct multi-sector reads of the directory area
    uint64_t sectors;          // sectors they asked for
    uint64_t failed_reads;     // pieces that could not be read (their records were passed over)
    uint64_t first_clusters;   // records that start a recording
    uint64_t surviving;        // surviving clusters found
};

// Directory sectors one read of the scan takes (4 MiB).
enum { WFS_RECOVER_PIECE_SECTORS = 8192 };

// Scans the directory area of clusters rev_clus .. total_cluster - 1 and
// appends every deleted recording and every fragment to *out, in order of
// their identity cluster. FS_OK (also when nothing was found), or
// FS_NO_EXIST_FILE for a partition without a usable geometry. A piece of the
// area that cannot be read is passed over (counted in stats): no record of
// it is recovered, and no surviving cluster whose first cluster lies there.
unsigned wfs_recover_scan(DriverParam *pdp, std::vector<wfs_recovered> *out, wfs_recover_stats *stats);

// The state of the recording that cluster clus identifies on the partition:
// WFS_STATE_DELETED for a deleted first cluster, WFS_STATE_FRAGMENT for the
// first cluster of a fragment, WFS_STATE_LIVE otherwise.
unsigned wfs_recovery_state_of(DriverParam *pdp, uint32_t clus);

// The same for a recording path (its "@" cluster); WFS_STATE_LIVE for a path
// that names no mounted partition or carries no cluster.
unsigned wfs_recovery_state_of_path(const char *path);
