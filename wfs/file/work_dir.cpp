#include "wfs/file/work_dir.h"

#include <cstring>

#include "wfs/file/records.h"
#include "wfs/volume/mount.h"

namespace {

uint32_t s_calendar[WFS_DRIVER_SLOTS][WFS_CALENDAR_WORDS];

int slot_of(const DriverParam *pdp)
{
    if (!pdp || pdp < g_drivers || pdp >= g_drivers + WFS_DRIVER_SLOTS)
        return -1;
    return static_cast<int>(pdp - g_drivers);
}

void mark_day(uint32_t *cal, wfs_time t)
{
    unsigned year = wfs_time_year(t), month = wfs_time_month(t), day = wfs_time_day(t);
    if (month == 0 || month > 12 || day == 0)
        return;  // not a date: nothing to mark
    int w = wfs_calendar_word(static_cast<int>(year), static_cast<int>(month));
    if (w < 0 || w >= WFS_CALENDAR_WORDS)
        return;
    cal[w] |= 1u << day;
}

// Marks the start day of every recording start after `from` up to `bound`
// (0: the driver's ring stretch). Returns the last cluster examined through
// *last and the scan's final status.
unsigned scan_starts(DriverParam *pdp, uint32_t *cal, uint32_t from, uint32_t bound, uint32_t *last)
{
    uint32_t clus = from;
    // Each step moves forward; the data area bounds the number of steps.
    for (uint32_t steps = 0; steps <= pdp->total_cluster; ++steps) {
        uint32_t found = 0;
        unsigned rc = index_search(pdp, INDEX_SEARCH_ANY_START, clus, bound, &found, INDEX_ANY_CHANNEL);
        if (rc != FS_OK) {
            *last = clus;
            return rc;
        }
        if (found <= clus || found > pdp->total_cluster) {
            *last = clus;
            return FS_NOT_FOUND;
        }
        dir_item item;
        rc = get_dir_item_info(pdp, found, &item);
        if (rc != FS_OK) {
            *last = found;
            return rc;
        }
        mark_day(cal, item.start_time);
        clus = found;
    }
    *last = clus;
    return FS_NOT_FOUND;
}

}  // namespace

unsigned wfs_build_calendar(DriverParam *pdp, uint32_t *out)
{
    int slot = slot_of(pdp);
    if (slot < 0)
        return FS_NO_EXIST_FILE;
    uint32_t *cal = s_calendar[slot];
    std::memset(cal, 0, sizeof s_calendar[slot]);
    unsigned status = FS_OK;
    if (pdp->current_cluster != 0 && pdp->total_cluster != 0) {
        // The current pass: rev_clus .. current_cluster (the scan starts
        // behind the cluster it is given).
        uint32_t last = 0;
        uint32_t first = pdp->rev_clus ? pdp->rev_clus - 1 : 0;
        uint32_t upto = pdp->current_cluster < pdp->total_cluster ? pdp->current_cluster : pdp->total_cluster - 1;
        unsigned rc = first < upto ? scan_starts(pdp, cal, first, upto, &last) : FS_NOT_FOUND;
        if (rc != FS_OK && rc != FS_NOT_FOUND)
            status = rc;
        // The older pass behind the write position, when one is left.
        if (status == FS_OK && pdp->start_cluster2 != 0 && last < pdp->start_cluster2 &&
            pdp->start_cluster2 <= pdp->end_cluster2) {
            rc = scan_starts(pdp, cal, pdp->start_cluster2 - 1, pdp->end_cluster2, &last);
            if (rc != FS_OK && rc != FS_NOT_FOUND)
                status = rc;
        }
    }
    if (out)
        std::memcpy(out, cal, WFS_CALENDAR_BYTES);
    return status;
}

const uint32_t *wfs_partition_calendar(const DriverParam *pdp)
{
    int slot = slot_of(pdp);
    return slot < 0 ? nullptr : s_calendar[slot];
}
