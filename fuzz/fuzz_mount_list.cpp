// Mounting and listing a disk whose structure sectors (MBR, volume head,
// partition table, key parameters, parameter block, collision sector,
// directory, index and extended directory records) are mutated: the
// catalogue load the disk page runs, then the per-day search and the disk
// space query of every listed recording's partition.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"
#include "fuzz/support/fuzz_disk.h"
#include "wfs/common/log.h"
#include "wfs/file/name_layer.h"

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
    }
    fuzzdisk::unmount_all();
    return 0;
}
