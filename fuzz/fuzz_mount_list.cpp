// Mounting and listing a disk whose structure sectors (MBR, volume head,
// partition table, key parameters, parameter block, collision sector,
// directory, index and extended directory records) are mutated: the
// catalogue load the disk page runs (with the recovery scan), then the
// per-day search and the disk space query of every listed recording's
// partition, the recovery scan of every partition, and reading recovered
// items back by their paths. A recovered item that overlaps another, or a
// fragment that opens with another length than the scan found, aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"
#include "app/records/catalogue/RecordNaming.h"
#include "fuzz/support/fuzz_disk.h"
#include "wfs/common/log.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/recover.h"
#include "wfs/volume/mount.h"

namespace {

void fail(const char *what, uint32_t clus)
{
    std::fprintf(stderr, "fuzz_mount_list: %s (cluster %u)\n", what, clus);
    std::abort();
}

// The recovery scan of every partition: items never share a cluster, and a
// fragment reads back exactly the length the scan gave it.
void scan_partitions()
{
    for (int part = 0; part < 4; ++part) {
        DriverParam *pdp = get_pdp(0, part);
        if (!pdp)
            continue;
        std::vector<wfs_recovered> found;
        if (wfs_recover_scan(pdp, &found, nullptr) != FS_OK)
            continue;
        std::set<uint32_t> used;
        size_t opened = 0;
        for (const wfs_recovered &r : found) {
            uint32_t c = r.info.first_cluster_no;
            if (r.state == WFS_STATE_FRAGMENT) {
                for (uint32_t k = 0; k < r.clusters; ++k) {
                    if (!used.insert(c).second)
                        fail("a cluster in two fragments", c);
                    uint32_t next = 0;
                    if (k + 1 < r.clusters && fragment_next(pdp, c, &next) != FS_OK)
                        fail("a fragment's chain breaks off", c);
                    c = next;
                }
            } else if (!used.insert(c).second) {
                fail("an item found twice", c);
            }
            if (wfs_recovery_state_of(pdp, r.info.first_cluster_no) != r.state)
                fail("the state of an item differs from the scan's", r.info.first_cluster_no);
            if (++opened > 8)
                continue;
            fs_file *f = fs_fopen(MakeRecordPath(r.info).c_str(), "rb");
            if (!f) {
                if (r.state == WFS_STATE_FRAGMENT)
                    fail("a fragment does not open", r.info.first_cluster_no);
                continue;
            }
            std::vector<uint8_t> buf(65536);
            uint64_t total = 0;
            for (size_t n; total < (uint64_t(64) << 20) && (n = fs_fread(buf.data(), 1, buf.size(), f)) > 0;)
                total += n;
            fs_fclose(f);
            if (r.state == WFS_STATE_FRAGMENT && total != r.sectors * 512)
                fail("a fragment reads another length than the scan found", r.info.first_cluster_no);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    if (fuzzdisk::write_seeds_if_asked({}))
        std::exit(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto &bases = fuzzdisk::bases();
    if (size < 1 || bases.empty())
        return 0;
    const fuzzdisk::BaseImage &base = bases[data[0] % bases.size()];
    fuzzdisk::attach_only(fuzzdisk::make_drive(base, data + 1, size - 1));
    CRecordCatalogue catalogue;
    catalogue.SetScanRecovered(true);
    int disks = catalogue.InitialiseDisks();
    if (disks > 0) {
        catalogue.LoadDataFromDisk(disks);
        std::vector<CatalogueEntry> entries = catalogue.Entries();
        std::vector<uint32_t> words;
        for (int part = 0; part < 4; ++part)
            CRecordCatalogue::ReadCalendar(0, part, &words);
        CatalogueDiskTotals totals;
        CRecordCatalogue::DiskTotals(0, &totals);
        size_t n = 0;
        for (const CatalogueEntry &e : entries) {
            if (++n > 8)
                break;
            // The folder of the recording's day and channel, as a find.
            std::string dir = e.path.substr(0, e.path.rfind('/') + 1) + "*";
            find_data fd;
            intptr_t h = fs_findfirst(dir.c_str(), &fd);
            if (h != -1) {
                for (int i = 0; i < 64 && fs_findnext(h, &fd) == 0; ++i) {
                }
                fs_findclose(h);
            }
            uint64_t free_bytes = 0, total = 0, free2 = 0;
            fs_disk_space(e.path.c_str(), &free_bytes, &total, &free2);
        }
        scan_partitions();
    }
    fuzzdisk::unmount_all();
    return 0;
}
