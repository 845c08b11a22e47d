// Deleting and re-typing single recordings: only the type code in the
// first cluster's directory record changes.
#include "wfs/common/log.h"
#include "wfs/file/records.h"
#include "wfs/file/writer.h"
#include "wfs/volume/mount.h"

namespace {

// The partition and first-cluster record of a listed recording, checked to
// really be a recording's first cluster.
unsigned locate(const file_info *fi, DriverParam **pdp_out, const char *who)
{
    if (fi == nullptr) {
        wfs_error("%s invalid file info\n", who);
        return FS_NO_EXIST_FILE;
    }
    DriverParam *pdp = get_pdp(static_cast<int>(fi->disk), static_cast<int>(fi->part));
    if (pdp == nullptr) {
        wfs_error("%s no driver disk:%u, part:%u\n", who, fi->disk, fi->part);
        return FS_NO_EXIST_FILE;
    }
    uint32_t clus = fi->first_cluster_no;
    if (clus < pdp->rev_clus || clus >= pdp->total_cluster) {
        wfs_error("%s bad cluster %u\n", who, clus);
        return FS_NO_EXIST_FILE;
    }
    dir_item item;
    unsigned st = get_dir_item_info(pdp, clus, &item);
    if (st != FS_OK) {
        wfs_error("Error %d : get_dir_item_info(pdp,clus1,pdir_item)\n", static_cast<int>(st));
        return st;
    }
    bool first = item.first_cluster_no == clus &&
                 (item.dir_flag == DIR_FLAG_FIRST || item.dir_flag == DIR_FLAG_FIRST_SPECIAL ||
                  item.dir_flag == DIR_FLAG_KEPT_FIRST);
    if (!first) {
        wfs_error("%s cluster %u is not the start of a recording\n", who, clus);
        return FS_NO_EXIST_FILE;
    }
    *pdp_out = pdp;
    return FS_OK;
}

}  // namespace

unsigned wfs_delete_appoint_file(const file_info *fi)
{
    DriverParam *pdp = nullptr;
    unsigned st = locate(fi, &pdp, "wfs_delete_appoint_file");
    if (st != FS_OK)
        return st;
    st = set_dir_file_alrm(pdp, fi->first_cluster_no, WFS_ALARM_DELETED, true);
    if (st != FS_OK) {
        wfs_error("Error %d : set_dir_file_alrm(pdp, clus, 32, TRUE)\n", static_cast<int>(st));
        return st;
    }
    wfs_trace("wfs_delete_appoint_file  success delete  %d clus point file  !!!\n",
              static_cast<int>(fi->first_cluster_no));
    return FS_OK;
}

unsigned wfs_retype_appoint_file(const file_info *fi, uint8_t alarm)
{
    if (alarm >= WFS_ALARM_DELETED)
        return FS_BAD_CLUSTER;
    DriverParam *pdp = nullptr;
    unsigned st = locate(fi, &pdp, "wfs_retype_appoint_file");
    if (st != FS_OK)
        return st;
    return set_dir_file_alrm(pdp, fi->first_cluster_no, alarm, true);
}
