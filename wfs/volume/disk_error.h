// The disk-error hook: a host may register a function that hears of every
// unreadable (or unwritable) metadata sector, with the disk number and a
// code. Codes: 5 head-area or parameter sector, 6 backup copy, 7 directory
// area, 8 backup directory area, 9 index area; partition-level codes add
// 100 x the partition number. Without a hook nothing is called.
#pragma once

#define DISK_ERR_PARAM 5
#define DISK_ERR_BACKUP 6
#define DISK_ERR_DIR 7
#define DISK_ERR_BACKDIR 8
#define DISK_ERR_INDEX 9

typedef void (*WfsDiskErrorHook)(int disk, int code);
void wfs_set_disk_error_hook(WfsDiskErrorHook hook);
void wfs_disk_error(int disk, int code);
