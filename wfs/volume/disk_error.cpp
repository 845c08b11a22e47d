#include "wfs/volume/disk_error.h"

static WfsDiskErrorHook g_disk_error_hook = nullptr;

void wfs_set_disk_error_hook(WfsDiskErrorHook hook) { g_disk_error_hook = hook; }

void wfs_disk_error(int disk, int code)
{
    if (g_disk_error_hook)
        g_disk_error_hook(disk, code);
}
