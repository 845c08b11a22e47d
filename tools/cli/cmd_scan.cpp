// orvelle-cli scan: the recorder disks found among the drives, one line
// each: disk number, drive number, source, base sector, capacity in sectors
// and, for an image, its kind ("raw", "split raw (3 segments)", "ewf (2
// segments)") (tab-separated).
#include <cstdio>

#include "cli_disks.h"
#include "wfs/device/source_info.h"

static int run_scan(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    if (!args.empty())
        return cli::usage_error("scan takes no arguments");
    cli::scan_disks(opts);
    for (int d = 0; d < g_ide_info_wfs.ide_num; ++d) {
        DiskSourceInfo info;
        recorder_disk_source_info(d, &info);
        std::printf("%d\t%d\t%s\t%u\t%llu", d, recorder_disk_drive_no(d), recorder_disk_source(d).c_str(),
                    g_recorder_disks.base_lba[d], static_cast<unsigned long long>(g_ide_info_wfs.ide_cap[d]));
        if (info.kind != "block")
            std::printf("\t%s", info.kind_text.c_str());
        std::printf("\n");
    }
    std::fflush(stdout);
    std::vector<UnreadableDrive> unreadable = cli::report_unreadable_drives();
    int found = g_ide_info_wfs.ide_num;
    close_recorder_disks();
    return cli::scan_outcome(opts, unreadable, found);
}

static cli::CliCommandRegistrar s_scan({"scan", "scan",
                                        "recorder disks found: disk, drive, source, base sector, capacity, kind",
                                        run_scan});
