// orvelle-cli tables: the volume layer's four driver tables (basic
// parameters, operation parameters, time chart, time sections) of every
// mounted partition, as the library traces them after initialisation.
#include <cstdio>
#include <string>

#include "command.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/volume/driver_tables.h"
#include "wfs/volume/mount.h"

static int run_tables(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    if (!args.empty())
        return cli::usage_error("tables takes no arguments");
    wfs_log_set_route(opts.verbose ? WFS_LOG_STDERR : WFS_LOG_SILENT);
    if (!opts.images.empty()) {
        set_images_only(true);
        for (const std::string &img : opts.images)
            register_image_file(img.c_str());
    }
    scan_recorder_disks();
    std::vector<UnreadableDrive> unreadable = unreadable_drives();
    for (const UnreadableDrive &u : unreadable)
        std::fprintf(stderr, "orvelle-cli: %s\n", unreadable_drive_text(u).c_str());
    int mounted = 0;
    wfs_file_sys_init(&mounted, 0);
    int disks = wfs_disk_count();
    std::string text = driver_tables_text();
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    close_recorder_disks();
    if (!opts.images.empty() && !unreadable.empty())
        return cli::kExitFailure;
    if (disks == 0) {
        std::fprintf(stderr, "orvelle-cli: no recorder disk found\n");
        return cli::kExitFailure;
    }
    return cli::kExitOk;
}

static cli::CliCommandRegistrar s_tables({"tables", "tables",
                                          "the driver tables: layout, write position, time chart, time sections",
                                          run_tables});
