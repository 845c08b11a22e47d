#include "app/records/catalogue/RecoveredRecords.h"

#include <algorithm>

#include "app/fs/FSCriticalSection.h"
#include "app/records/catalogue/RecordNaming.h"
#include "wfs/file/recover.h"
#include "wfs/volume/mount.h"

std::vector<CatalogueEntry> ListRecoveredRecords(int disk, int part, int recordFormat)
{
    std::vector<wfs_recovered> found;
    {
        CFSLocker lock;
        DriverParam* pdp = get_pdp(disk, part);
        if (pdp == nullptr || pdp->bad_status == BAD_STATUS_MARKED)
            return {};
        wfs_recover_scan(pdp, &found, nullptr);
    }
    std::vector<CatalogueEntry> out;
    for (const wfs_recovered& r : found) {
        const file_info_v2& fi = r.info;
        if (fi.part != part || (fi.av != 2 && fi.av != 3) ||
            static_cast<int>(file_info_v2_stream_type(&fi)) != recordFormat)
            continue;
        CatalogueEntry e;
        e.key = MakeRecordKey(fi);
        e.name = MakeDisplayName(fi);
        e.path = MakeRecordPath(fi);
        e.info = fi;
        e.state = r.state;
        e.lostFirstCluster = r.lost_first_cluster;
        e.clusters = r.clusters;
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(), [](const CatalogueEntry& a, const CatalogueEntry& b) { return a.key < b.key; });
    return out;
}

const char* RecordStateName(int state)
{
    return wfs_recovery_state_name(static_cast<unsigned>(state));
}
