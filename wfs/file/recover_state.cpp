// The recovery state of one recording, from its identity cluster.
#include "wfs/file/fragment.h"
#include "wfs/file/path_name.h"
#include "wfs/file/recover.h"
#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

unsigned wfs_recovery_state_of(DriverParam *pdp, uint32_t clus)
{
    if (pdp == nullptr || clus == 0 || clus < pdp->rev_clus || clus >= pdp->total_cluster)
        return WFS_STATE_LIVE;
    dir_item item;
    if (get_dir_item_info(pdp, clus, &item) != FS_OK)
        return WFS_STATE_LIVE;
    if (dir_item_starts_recording(&item, clus))
        return item.alarm == WFS_ALARM_DELETED && item.start_time != 0 ? WFS_STATE_DELETED : WFS_STATE_LIVE;
    return fragment_find(pdp, clus, nullptr) == FS_OK ? WFS_STATE_FRAGMENT : WFS_STATE_LIVE;
}

unsigned wfs_recovery_state_of_path(const char *path)
{
    wfs_record_name name;
    if (path == nullptr || wfs_path_kind(path) != WFS_PATH_RECORD || wfs_parse_record_name(path, &name) != 0)
        return WFS_STATE_LIVE;
    return wfs_recovery_state_of(get_pdp(name.disk, name.part), name.first_cluster);
}
