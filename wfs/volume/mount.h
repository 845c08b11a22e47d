// Volume initialisation and mount: the driver table.
//
// wfs_file_sys_init brings the recorder disks found by the device scan into
// the volume layer: it checks each disk's head, reads its partition table,
// mounts every partition as a "driver" (one DriverParam per mounted
// partition, in one of 32 slots), builds each driver's time sections and
// groups the drivers into work-driver rings, one per driver_type 0 to 6.
//
// Every value taken from a disk is bounded before use: a partition whose
// geometry does not fit its partition is refused, collision clusters out of
// order or outside [rev_clus, total_cluster) are dropped, and the cluster
// numbers of the parameter block are clamped to total_cluster - 1.
#pragma once

#include <cstdint>

#include "wfs/volume/layout.h"

#define WFS_DRIVER_SLOTS 32       // mounted partitions at most
#define WFS_KEY_PARAM_DISKS 16    // disks with key parameters
#define WFS_PARTS_PER_DISK 4
#define WFS_DISK_SPACE_SLOTS 32
#define WFS_TIME_SECTIONS 130     // collision_count + 2 in use
#define WFS_TRACE_REVISION "orvelle-wfs 1"

// Status codes of the volume layer.
#define WFS_READ_PART_VERSION 1002   // the head is not "WFS0.4"
#define WFS_READ_PART_HEAD 1003      // the head could not be read
#define WFS_READ_PART_TABLE 4        // the partition table could not be read
#define WFS_INIT_NO_RECORD_DRIVER 7  // no recording driver is mounted

// check_disk_ver results.
#define DISK_VER_OK 1
#define DISK_VER_MISMATCH 3
#define DISK_VER_UNREADABLE 5

// One stretch of clusters recorded without a time collision.
struct TimeSection {
    DriverParam *owner;     // the driver
    TimeSection *next;      // link of a search's ordered list; cleared by build_time_sections
    uint32_t start_time;    // packed time of the section's first recording
    uint32_t end_time;      // packed time of its last recording
    uint32_t start_clus;    // first cluster
    uint32_t end_clus;      // last cluster
    uint32_t cursor;        // working fields of the time search
    uint32_t state;
    uint32_t cand_time;
};

// What wfs_get_driver_info reports about one partition.
struct DriverInfo {
    uint32_t driver_type;    // the type as it was when the call began
    uint32_t is_work;        // 1 when the driver heads its type's ring
    uint32_t section_count;  // collision_count + 2
    uint32_t start_time1;    // first time range
    uint32_t end_time1;
    uint32_t zero;
    uint32_t start_time2;    // second time range
    uint32_t end_time2;
    uint32_t total_space;    // MiB: (total_cluster x sec_per_clus + data_offset) / 2048
    uint32_t free_space;     // MiB; 0 once the partition has wrapped, and below 16 MiB
    uint32_t bad_status;
    uint32_t port_index;     // position of the disk among the set bits of ide_mask
};

// A partition as the partition table gives it.
struct WfsPartition {
    uint64_t start;   // start sector on the volume
    uint64_t total;   // total sectors; 0 = no partition
};

// A work-driver ring: the drivers of one type, headed by the one with the
// newest recording.
struct WorkDriverRing {
    DriverParam *head;  // null when the type has no driver
    int count;
};

// ---------------------------------------------------------------- tables

extern DriverParam g_drivers[WFS_DRIVER_SLOTS];
extern WorkDriverRing g_work_drivers[DRIVER_TYPE_RINGS];
extern KeyParamBlock g_part_key_param[WFS_KEY_PARAM_DISKS][WFS_PARTS_PER_DISK];
extern uint32_t key_param_offset[WFS_KEY_PARAM_DISKS][WFS_PARTS_PER_DISK];
extern uint64_t disk_space[WFS_DISK_SPACE_SLOTS];

// The volume layer's copy of the disk-information block.
int wfs_disk_count(void);
int32_t wfs_ide_port(void);
uint32_t wfs_ide_mask(void);
uint64_t wfs_ide_cap(int disk);

// The change counter, raised by every g_fs_change (each initialisation). A
// file handle records it when handed out; a handle whose value differs is
// stale.
uint32_t wfs_fs_generation(void);

// Functions run by every wfs_file_sys_init after the cache is reset and
// before any disk is mounted (the file layer resets its handle table here).
// Adding the same function twice keeps one entry. 0, or -1 when full.
typedef void (*WfsInitHook)(void);
int wfs_add_init_hook(WfsInitHook hook);
void wfs_remove_init_hook(WfsInitHook hook);

// The format fallbacks of initialisation: a disk whose head or partition
// table cannot be used goes to `disk_fn`, a partition that fails to mount to
// `driver_fn` (then it is mounted again). Both only ever change cached
// blocks. Without them (the default) such a disk or partition stays
// unmounted.
typedef int (*WfsFormatDiskFn)(int disk);
typedef int (*WfsFormatDriverFn)(int disk, int part, uint32_t sec_per_clus);
void wfs_set_format_fallbacks(WfsFormatDiskFn disk_fn, WfsFormatDriverFn driver_fn);

// ---------------------------------------------------------------- init and mount

// Initialises the volume layer over the disks of the last device scan and
// mounts every partition. *count receives the number of mounted drivers that
// are not bad. 0, or WFS_INIT_NO_RECORD_DRIVER. `option` is the repair option.
int wfs_file_sys_init(int *count, int option);
int wfs_repair_option(void);

// DISK_VER_* into *version; returns 0. A valid head loads the disk's four
// key_param_offset values. A "WFS0.3" head is valid once this
// initialisation has converted it.
int check_disk_ver(int disk, int *version);
// True when this initialisation found a "WFS0.3" head on the disk.
bool wfs_disk_converted(int disk);

// Fills up to min(max, 4) entries; reconciles the disk's capacity with the
// table. 0, WFS_READ_PART_VERSION, WFS_READ_PART_HEAD or WFS_READ_PART_TABLE.
int wfs_read_partitions(int disk, WfsPartition *table, int max);

// 0, 1 (key parameters unreadable) or -1 (anything else).
int wfs_fs_mount(int disk, int part);

// Reads the parameter block of (disk, part) at `start` into a driver slot.
DriverParam *fill_driver_param(int disk, int part, uint64_t start);

// Writes the driver's parameter block back (into the cache; the device
// discards it). 0 or a nonzero failure.
int wfs_save_driver_param(DriverParam *pdp);

// ---------------------------------------------------------------- driver slots

DriverParam *get_pdp(int disk, int part);
int get_empty_driver(void);
int clear_driver(int disk, int part);
bool driver_slot_used(const DriverParam *pdp);

// Rebuilds the seven work-driver rings and raises the change counter.
void g_fs_change(void);
DriverParam *get_work_driver(int type);
int get_work_driver_count(int type);
bool is_work_driver(const DriverParam *pdp);

// ---------------------------------------------------------------- time sections

void build_time_sections(DriverParam *pdp);
void refresh_current_section(DriverParam *pdp);
// Sections in use: collision_count + 2.
int time_section_count(const DriverParam *pdp);
// A section i > 0 is valid when its start cluster is nonzero and not above
// its end cluster, and its start time is not later than its end time.
bool time_section_valid(const TimeSection *ts);

// ---------------------------------------------------------------- queries

// 0, or 1 when (disk, part) is not mounted (the record is left untouched).
int wfs_get_driver_info(int disk, int part, DriverInfo *info);
void wake_work_drivers(void);
int set_multi_standby(int minutes);
