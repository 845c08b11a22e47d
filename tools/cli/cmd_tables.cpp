// orvelle-cli tables: the volume layer's four driver tables (basic
// parameters, operation parameters, time chart, time sections) of every
// mounted partition, as the library traces them after initialisation.
#include <cstdio>
#include <string>

#include "cli_disks.h"
#include "wfs/volume/driver_tables.h"
#include "wfs/volume/mount.h"

static int run_tables(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    if (!args.empty())
        return cli::usage_error("tables takes no arguments");
    cli::scan_disks(opts);
    std::vector<UnreadableDrive> unreadable = cli::report_unreadable_drives();
    int mounted = 0;
    wfs_file_sys_init(&mounted, 0);
    int disks = wfs_disk_count();
    std::string text = driver_tables_text();
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    close_recorder_disks();
    return cli::scan_outcome(opts, unreadable, disks);
}

static cli::CliCommandRegistrar s_tables({"tables", "tables",
                                          "the driver tables: layout, write position, time chart, time sections",
                                          run_tables});
