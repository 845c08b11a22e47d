// Repair of a partition that was being written when the disk was last used.
//
// The recorder writes clusters in ring order from current_cluster on; the
// parameter block is saved only now and then. After an unclean stop the
// directory may show recordings past the saved current cluster, the last of
// them still open (down link 0xFFFFFFFF). The repair walks the directory
// from the current cluster, closes the open recording where it was cut off,
// moves current_cluster to the last properly closed cluster and rebuilds
// the index behind it.
#include "wfs/volume/restore.h"

#include "wfs/common/log.h"
#include "wfs/file/records.h"
#include "wfs/volume/mount.h"

// A cluster starting more than this many seconds before the previous one
// belongs to an older pass: the scan stops there.
static const int64_t kBackwardsTolerance = 10;

static bool counts_for_scan(uint8_t dir_flag)
{
    return dir_flag == DIR_FLAG_CONT || dir_flag == DIR_FLAG_FIRST || dir_flag == DIR_FLAG_FIRST_SPECIAL;
}

// Closes the recording that was cut off at cluster i. `len` is the length
// used in that cluster.
static unsigned close_open_recording(DriverParam *pdp, uint32_t i, const dir_item &item, uint16_t len)
{
    unsigned st;
    wfs_time start = 0;
    if ((st = get_dir_item_time(pdp, i, &start)) != FS_OK) {
        wfs_trace("Error %d : get_dir_item_time(pdp,clus1,&start_time)\n", st);
        return st;
    }
    const uint32_t first = item.first_cluster_no;
    if ((st = set_dir_first_item(pdp, first, len, item.item_num, start, false)) != FS_OK) {
        wfs_trace("Error %d : set_dir_first_item(pdp,pdir_item->first_cluster_no,end_len,pdir_item->item_num,"
                  "start_time,FALSE)\n",
                  st);
        return st;
    }
    if ((st = set_dir_item_end_time(pdp, first, item.end_time, len, false)) != FS_OK) {
        wfs_trace("Error %d : set_dir_item_end_time(pdp,pdir_item->first_cluster_no,pdir_item->end_time,end_len,"
                  "FALSE)\n",
                  st);
        return st;
    }
    if ((st = set_dir_last_item(pdp, i, len, item.end_time, false)) != FS_OK) {
        wfs_trace("Error %d : set_dir_last_item(pdp,clus1,end_len,pdir_item->end_time,FALSE)\n", st);
        return st;
    }
    if ((st = set_dir_item_down_clus(pdp, i, 0, false)) != FS_OK) {
        wfs_trace("Error %d : set_dir_item_down_clus(pdp,clus1,0,FALSE)\n", st);
        return st;
    }
    if ((st = set_dir_item_end_time(pdp, i, item.end_time, len, false)) != FS_OK) {
        wfs_trace("Error %d : set_dir_item_end_time(pdp,clus1,pdir_item->end_time,end_len,FALSE)\n", st);
        return st;
    }
    return FS_OK;
}

unsigned restore_fs41(DriverParam *pdp)
{
    const uint32_t interval =
        pdp->driver_type == DRIVER_TYPE_PICTURE ? RESTORE_INTERVAL_PICTURE : RESTORE_INTERVAL_RECORD;
    const uint32_t total = pdp->total_cluster;
    const uint32_t first = pdp->rev_clus > pdp->current_cluster ? pdp->rev_clus : pdp->current_cluster;
    uint64_t end = static_cast<uint64_t>(pdp->current_cluster) + RESTORE_SCAN_CLUSTERS;
    if (end > total)
        end = total;

    uint32_t last_good = first;
    bool found = false;  // some cluster of the window holds a recording
    wfs_time last_start = 0;
    uint16_t prev_len = 0;
    unsigned st;

    for (uint64_t c = first; c < end; ++c) {
        const uint32_t i = static_cast<uint32_t>(c);
        dir_item item;
        if ((st = get_dir_item_info(pdp, i, &item)) != FS_OK) {
            wfs_trace("Error %d : get_dir_item_info(pdp,clus1,pdir_item)\n", st);
            return st;
        }
        if (!counts_for_scan(item.dir_flag))
            continue;
        if (last_start != 0 && wfs_time_diff(last_start, item.start_time) > kBackwardsTolerance)
            break;  // an older pass begins here
        last_start = item.start_time;

        if (item.dir_flag == DIR_FLAG_CONT) {
            // A continuation must be linked back from its predecessor.
            if (item.up_cluster_no > total)
                break;
            dir_item up;
            if ((st = get_dir_item_info(pdp, item.up_cluster_no, &up)) != FS_OK) {
                wfs_trace("Error %d : get_dir_item_info(pdp, pdir_item->up_cluster_no, &next_dir_item)\n", st);
                return st;
            }
            if (up.down_cluster_no != i)
                break;
        }

        if (item.down_cluster_no == 0 || item.stream_type == 3 || item.stream_type == 4) {
            last_good = i;  // a closed cluster
            found = true;
        } else if (item.down_cluster_no == DIR_DOWN_OPEN) {
            uint16_t len = (item.end_length >= 1 && item.end_length <= 4096) ? item.end_length : prev_len;
            prev_len = len;
            if ((st = close_open_recording(pdp, i, item, len)) != FS_OK)
                return st;
            last_good = i;
            found = true;
        }
        // Other clusters link on to the next one of their recording.
    }

    // An empty partition whose window holds no recording stays empty.
    const bool keep_empty = pdp->current_cluster == 0 && !found;
    if (pdp->rev_clus != pdp->current_cluster + 1 && !keep_empty) {
        pdp->current_cluster = last_good;
        if ((st = get_dir_item_time1(pdp, pdp->current_cluster, &pdp->end_time1)) != FS_OK) {
            wfs_trace("Error %d : get_dir_item_time1(pdp,pdp->current_cluster,&pdp->end_time1)\n", st);
            return st;
        }
    }

    if (pdp->start_cluster2 != 0) {
        uint64_t ahead = static_cast<uint64_t>(pdp->current_cluster) + interval;
        if (ahead < pdp->end_cluster2) {
            pdp->start_cluster2 = static_cast<uint32_t>(ahead);
            wfs_time t = 0;
            get_dir_item_time(pdp, pdp->start_cluster2, &t);
            pdp->start_time2 = t;
        } else {
            pdp->start_cluster2 = pdp->end_cluster2 = 0;
            pdp->start_time2 = pdp->end_time2 = 0;
        }
    }

    if (pdp->index_offset != 0 && (st = restore_clus_index(pdp)) != FS_OK) {
        wfs_trace("Error %d : restore_clus_index(pdp)\n", st);
        return st;
    }
    return FS_OK;
}
