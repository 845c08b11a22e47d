// Fragments: what is left of a recording whose first cluster the ring has
// taken again.
//
// When the writer comes round the ring it takes the oldest clusters first,
// so the recording that was oldest loses its first cluster (and perhaps a
// few more) while its later clusters stay on the disk. Each of them still
// carries a continuation record naming the old first cluster, the channel,
// its place in the chain (item_num), the links up and down and its own start
// and end times; nothing reachable from a listing leads to them any more.
//
// A *surviving cluster* is a continuation record (dir_flag 0, 1 or 5,
// item_num >= 1) naming a first cluster F inside the data area, F not the
// cluster itself, whose F no longer starts its recording: F's record is not a
// first cluster of the same channel, stream type and AV with at least as many
// clusters, started no later than the surviving cluster (a kept first
// cluster the writer passed over has new times and is not compared by time).
//
// Two surviving clusters A and B are neighbours in the chain when A links
// down to B, B links up to A, both name the same F, channel, stream type and
// AV, and B's item_num is A's + 1. Every cluster so has at most one neighbour
// on each side, and item_num grows by one along a chain, so chains cannot
// loop and are at most 65,536 clusters long. A *fragment* is one whole chain
// of surviving clusters: it starts at the cluster without an upper
// neighbour, which is its identity.
//
// The recovery scan (recover.h) finds every fragment of a partition in one
// pass; the functions here decide the same things for one cluster at a time
// from the directory, for opening and reading a fragment by its path.
#pragma once

#include <cstdint>

#include "wfs/file/records.h"

struct DriverParam;

// One fragment: its chain and what a reader needs of it.
struct wfs_fragment {
    uint32_t first;          // first surviving cluster (0 = no fragment)
    uint32_t lost_first;     // the first cluster its records still name
    uint32_t last;           // last surviving cluster
    uint32_t clusters;       // surviving clusters
    uint16_t base_item;      // item_num of `first` in the old recording
    uint32_t last_sectors;   // sectors of data in `last` (its end_length, a whole cluster for 0)
    wfs_time start_time;     // start_time of `first`
    wfs_time end_time;       // end_time of `last`
};

// What a first-cluster record tells about the recording it starts, enough
// to decide whether a continuation record still belongs to it.
struct wfs_head_info {
    uint32_t clus;
    uint32_t start_time;
    uint16_t item_num;
    uint8_t dir_flag;
    uint8_t channel;
    uint8_t stream_type;
    uint8_t av;
};

// Whether `item` (the record of `clus`) starts a recording: a first-cluster
// role (dir_flag 2, 3 or 4) naming itself.
bool dir_item_starts_recording(const dir_item *item, uint32_t clus);

// The head description of a first-cluster record.
void wfs_head_info_from(const dir_item *item, uint32_t clus, wfs_head_info *out);

// Whether `item` (of cluster `clus`) is a continuation record naming a first
// cluster inside the partition's data area other than itself: one that may
// survive its first cluster.
bool fragment_candidate(const DriverParam *pdp, uint32_t clus, const dir_item *item);

// Whether the recording started by `head` (null: F holds no first cluster)
// still owns the continuation record `item`.
bool head_owns(const wfs_head_info *head, const dir_item *item);

// Whether surviving clusters a (record ia) and b (record ib) are neighbours,
// a above b.
bool fragment_linked(uint32_t a, const dir_item *ia, uint32_t b, const dir_item *ib);

// Sectors of data in the last cluster of a chain: its end_length, a whole
// cluster when that is 0 or more than a cluster.
uint32_t fragment_last_sectors(const dir_item *last, uint32_t sec_per_clus);

// Whether clus is a surviving cluster (its record in *item when wanted).
// False also when a record cannot be read.
bool fragment_surviving(DriverParam *pdp, uint32_t clus, dir_item *item);

// When clus is the first cluster of a fragment: FS_OK and *out filled.
// FS_NO_EXIST_FILE otherwise (a surviving cluster in the middle of a chain
// included), or the status of a directory read that failed.
unsigned fragment_find(DriverParam *pdp, uint32_t clus, wfs_fragment *out);

// The neighbour below (above) the surviving cluster `from`; FS_NOT_FOUND at
// the end of its chain.
unsigned fragment_next(DriverParam *pdp, uint32_t from, uint32_t *next);
unsigned fragment_prev(DriverParam *pdp, uint32_t from, uint32_t *prev);
