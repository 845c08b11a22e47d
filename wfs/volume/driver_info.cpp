// What the disk-information view asks about one partition.
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/volume/mount_internal.h"

// Clusters kept back from the free space: one per 2097152 clusters, plus one.
static uint64_t reserve_clusters(uint32_t total_cluster) { return total_cluster / 2097152u + 1; }

// Free space in MiB: 0 once the partition has wrapped (the previous pass is
// being overwritten), and below 16 MiB.
static uint32_t free_mib(const DriverParam *pdp)
{
    if (pdp->start_cluster2 != 0)
        return 0;
    uint64_t used = reserve_clusters(pdp->total_cluster) + pdp->current_cluster;
    if (used >= pdp->total_cluster)
        return 0;  // nothing left (never a wrapped-around difference)
    uint64_t mib = (pdp->total_cluster - used) * static_cast<uint64_t>(pdp->sec_per_clus) / 2048;
    if (mib < 16)
        return 0;
    return mib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(mib);
}

static uint32_t total_mib(const DriverParam *pdp)
{
    uint64_t mib = (static_cast<uint64_t>(pdp->total_cluster) * pdp->sec_per_clus + pdp->data_offset) / 2048;
    return mib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(mib);
}

static void widen(uint32_t *start, uint32_t *end, const TimeSection &ts)
{
    if (ts.start_time < *start)
        *start = ts.start_time;
    if (ts.end_time > *end)
        *end = ts.end_time;
}

// The disk's position among the set bits of ide_mask (below 2 x ide_port).
// Each disk up to the requested one takes the next set bit; a disk that
// finds none is logged and takes the position where the search gave up.
// A mask of 0, as every scan leaves it, assigns no port to any disk: there
// is nothing to look up and nothing has failed, so nothing is logged; each
// disk takes the position the search would have given up at.
static uint32_t port_index(int disk)
{
    const IdeInfo &ide = volume_ide_info();
    const int64_t limit = 2 * static_cast<int64_t>(ide.ide_port);
    const uint32_t mask = ide.ide_mask;
    if (mask == 0)
        return disk >= 0 && disk < ide.ide_num ? static_cast<uint32_t>((limit > 0 ? limit : 0) + disk) : 0;
    int64_t bit = 0;
    for (int d = 0; d < ide.ide_num; ++d) {
        while (bit < limit && !(bit < 32 && (mask >> bit) & 1u))
            ++bit;
        if (bit >= limit)
            wfs_error("wfs_get_driver_info disk number(%d) to index (%d) failed!!!!!\n", d, static_cast<int>(bit));
        if (d == disk)
            return static_cast<uint32_t>(bit);
        ++bit;
    }
    return 0;
}

int wfs_get_driver_info(int disk, int part, DriverInfo *info)
{
    wfs_trace("wfs_get_driver_info!");
    DriverParam *pdp = get_pdp(disk, part);
    if (pdp == nullptr)
        return 1;

    info->driver_type = pdp->driver_type;
    if (pdp->driver_type > DRIVER_TYPE_HIGHEST) {
        wfs_warn("wfs_get_driver_info() DISK Set to ReadOnly!\n");
        info->is_work = 0;
        pdp->driver_type = DRIVER_TYPE_READONLY;
    } else {
        info->is_work = is_work_driver(pdp) ? 1 : 0;
    }

    const int count = time_section_count(pdp);
    info->section_count = static_cast<uint32_t>(count);
    info->start_time1 = pdp->start_time1;
    info->end_time1 = pdp->end_time1;
    info->zero = 0;
    info->start_time2 = pdp->start_time2;
    info->end_time2 = 0;
    info->total_space = total_mib(pdp);
    info->free_space = free_mib(pdp);
    info->bad_status = pdp->bad_status;
    if (is_work_driver(pdp))
        refresh_current_section(pdp);

    const TimeSection *ts = pdp->time_sections;
    for (int i = 0; ts != nullptr && i < count; ++i) {
        if (i != 0 && !time_section_valid(&ts[i]))
            continue;
        if (ts[i].start_clus < pdp->current_cluster)
            widen(&info->start_time2, &info->end_time2, ts[i]);
        else
            widen(&info->start_time1, &info->end_time1, ts[i]);
    }

    info->port_index = port_index(disk);
    return 0;
}
