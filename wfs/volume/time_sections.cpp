// Time sections: the stretches of a driver's cluster ring between time
// collisions, cut at the current cluster. Entries up to the split index hold
// the current pass (oldest first), the entries after it the part of the
// previous pass that is not yet overwritten.
#include <cstring>

#include "wfs/file/records.h"
#include "wfs/volume/mount_internal.h"

uint32_t cluster_end_time(DriverParam *pdp, uint32_t clus)
{
    wfs_time t = 0;
    return get_dir_item_time1(pdp, clus, &t) == FS_OK ? t : 0;
}

uint32_t cluster_start_time(DriverParam *pdp, uint32_t clus)
{
    wfs_time t = 0;
    return get_dir_item_time(pdp, clus, &t) == FS_OK ? t : 0;
}

static uint32_t collision_entries(const DriverParam *pdp)
{
    return pdp->collision_count > COLLISION_ENTRIES ? COLLISION_ENTRIES : pdp->collision_count;
}

int time_section_count(const DriverParam *pdp) { return static_cast<int>(collision_entries(pdp)) + 2; }

bool time_section_valid(const TimeSection *ts)
{
    return ts->start_clus != 0 && ts->start_clus <= ts->end_clus && ts->start_time <= ts->end_time;
}

void build_time_sections(DriverParam *pdp)
{
    TimeSection *ts = pdp->time_sections;
    if (ts == nullptr)
        return;
    for (int i = 0; i < WFS_TIME_SECTIONS; ++i) {
        ts[i].owner = pdp;
        ts[i].next = nullptr;
    }
    const uint32_t n = collision_entries(pdp);
    for (uint32_t i = 0; i < n + 2; ++i) {
        ts[i].start_time = ts[i].end_time = 0;
        ts[i].start_clus = ts[i].end_clus = 0;
        ts[i].cursor = ts[i].state = ts[i].cand_time = 0;
    }
    if (pdp->current_cluster == 0)
        return;  // no recording: entries 0 and 1 stay zero

    const uint32_t none = 0xFFFFFFFFu;
    uint32_t split = none;
    ts[0].start_time = pdp->start_time1;
    ts[0].start_clus = pdp->rev_clus;
    uint32_t j = 0;
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t c = pdp->collision_clusters[k];
        if (c == 0)
            continue;  // cannot be cut before; dropped at mount anyway
        if (split == none && c >= pdp->current_cluster) {
            split = k;
            ++j;
        }
        ts[j].end_time = cluster_end_time(pdp, c - 1);
        ts[j].end_clus = c - 1;
        ++j;
        ts[j].start_time = cluster_start_time(pdp, c);
        ts[j].start_clus = c;
    }
    if (split == none)
        split = n;
    pdp->collision_split = split;

    TimeSection &last = ts[n + 1];
    if (pdp->start_cluster2 != 0) {
        last.end_time = pdp->end_time2;
        last.end_clus = pdp->end_cluster2;
    } else {
        last.start_clus = 0;
        last.end_clus = 0;
    }
    refresh_current_section(pdp);
}

void refresh_current_section(DriverParam *pdp)
{
    TimeSection *ts = pdp->time_sections;
    if (ts == nullptr || pdp->current_cluster == 0)
        return;
    uint32_t split = pdp->collision_split;
    if (split > collision_entries(pdp))
        return;  // sections not built
    const uint32_t cur = pdp->current_cluster;
    ts[split].end_time = cluster_end_time(pdp, cur);
    ts[split].end_clus = cur;
    TimeSection &following = ts[split + 1];
    if (following.end_clus != 0) {
        following.start_time = cluster_start_time(pdp, cur + 1);
        following.start_clus = cur + 1;
    }
}
