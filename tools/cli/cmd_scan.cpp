// orvelle-cli scan: the recorder disks found among the drives, one line
// each: disk number, drive number, source, base sector, capacity in sectors
// (tab-separated).
#include <cstdio>

#include "command.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

static int run_scan(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    if (!args.empty())
        return cli::usage_error("scan takes no arguments");
    wfs_log_set_route(opts.verbose ? WFS_LOG_STDERR : WFS_LOG_SILENT);
    if (!opts.images.empty()) {
        set_images_only(true);
        for (const std::string &img : opts.images)
            register_image_file(img.c_str());
    }
    scan_recorder_disks();
    for (int d = 0; d < g_ide_info_wfs.ide_num; ++d) {
        std::printf("%d\t%d\t%s\t%u\t%llu\n", d, recorder_disk_drive_no(d), recorder_disk_source(d).c_str(),
                    g_recorder_disks.base_lba[d], static_cast<unsigned long long>(g_ide_info_wfs.ide_cap[d]));
    }
    std::fflush(stdout);
    std::vector<UnreadableDrive> unreadable = unreadable_drives();
    for (const UnreadableDrive &u : unreadable)
        std::fprintf(stderr, "orvelle-cli: %s\n", unreadable_drive_text(u).c_str());
    int found = g_ide_info_wfs.ide_num;
    close_recorder_disks();
    // An image named on the command line that cannot be read is a failure;
    // an unreadable machine drive is only worth the note above.
    if (!opts.images.empty() && !unreadable.empty())
        return cli::kExitFailure;
    if (found == 0) {
        std::fprintf(stderr, "orvelle-cli: no recorder disk found\n");
        return cli::kExitFailure;
    }
    return cli::kExitOk;
}

static cli::CliCommandRegistrar s_scan({"scan", "scan",
                                        "recorder disks found: disk, drive, source, base sector, capacity",
                                        run_scan});
