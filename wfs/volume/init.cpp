// Initialisation of the volume layer: the disks' heads and partition
// tables, and the mount of every partition.
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/common/clock.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"
#include "wfs/volume/disk_error.h"
#include "wfs/volume/driver_tables.h"
#include "wfs/volume/mount_internal.h"

KeyParamBlock g_part_key_param[WFS_KEY_PARAM_DISKS][WFS_PARTS_PER_DISK];
uint32_t key_param_offset[WFS_KEY_PARAM_DISKS][WFS_PARTS_PER_DISK];
uint64_t disk_space[WFS_DISK_SPACE_SLOTS];

static IdeInfo g_ide;               // the volume layer's copy of the disk information
static int g_disk_count = 0;        // disks this initialisation works on
static int g_option = 0;            // repair option
static bool g_converted[WFS_KEY_PARAM_DISKS];  // "WFS0.3" head converted by this initialisation

// Slack between a disk's capacity and the sum of its partitions that still
// counts as a match (sectors).
static const uint64_t kCapacitySlack = 4096;
// Sectors per cluster of the driver format fallback.
static const uint32_t kFormatSecPerClus = 4096;

static const int kMaxInitHooks = 8;
static WfsInitHook g_init_hooks[kMaxInitHooks];

static WfsFormatDiskFn g_format_disk = nullptr;
static WfsFormatDriverFn g_format_driver = nullptr;

IdeInfo &volume_ide_info(void) { return g_ide; }
int wfs_disk_count(void) { return g_disk_count; }
int32_t wfs_ide_port(void) { return g_ide.ide_port; }
uint32_t wfs_ide_mask(void) { return g_ide.ide_mask; }
uint64_t wfs_ide_cap(int disk) { return disk >= 0 && disk < WFS_CAP_SLOTS ? g_ide.ide_cap[disk] : 0; }
int wfs_repair_option(void) { return g_option; }

bool wfs_disk_converted(int disk) { return disk >= 0 && disk < WFS_KEY_PARAM_DISKS && g_converted[disk]; }

int wfs_add_init_hook(WfsInitHook hook)
{
    for (WfsInitHook h : g_init_hooks) {
        if (h == hook)
            return 0;
    }
    for (WfsInitHook &h : g_init_hooks) {
        if (h == nullptr) {
            h = hook;
            return 0;
        }
    }
    return -1;
}

void wfs_remove_init_hook(WfsInitHook hook)
{
    for (WfsInitHook &h : g_init_hooks) {
        if (h == hook)
            h = nullptr;
    }
}

void wfs_set_format_fallbacks(WfsFormatDiskFn disk_fn, WfsFormatDriverFn driver_fn)
{
    g_format_disk = disk_fn;
    g_format_driver = driver_fn;
}

// The cache protects each disk's head and parameter sectors: up to the
// key-parameter offset + 1052 once partition 0's key parameters are known.
static uint64_t protected_limit(uint32_t dev)
{
    if (dev < WFS_KEY_PARAM_DISKS) {
        const KeyParamBlock &kp = g_part_key_param[dev][0];
        if (kp.check_word == WFS_CHECK_WORD && kp.version >= 1 && kp.total_sectors != 0)
            return static_cast<uint64_t>(key_param_offset[dev][0]) + WRITE_CHECK_PARAM_SPAN;
    }
    return WRITE_CHECK_DEFAULT_LIMIT;
}

// Partition 0 of a disk for the cache's device-error reporting: where its
// system areas and clusters end, and its bad mark.
static bool partition0_bounds(uint32_t dev, CachePartitionBounds *out)
{
    const DriverParam *pdp = get_pdp(static_cast<int>(dev), 0);
    if (!pdp || pdp->bad_status != BAD_STATUS_OK)
        return false;
    const uint64_t spc = pdp->sec_per_clus;
    const uint64_t data_start = pdp->start_sector + pdp->data_offset;
    out->system_end = data_start + static_cast<uint64_t>(pdp->rev_clus) * spc;
    out->end = data_start + static_cast<uint64_t>(pdp->total_cluster) * spc;
    return true;
}

static void mark_partition0_bad(uint32_t dev)
{
    DriverParam *pdp = get_pdp(static_cast<int>(dev), 0);
    if (pdp)
        pdp->bad_status = BAD_STATUS_MARKED;
}

int check_disk_ver(int disk, int *version)
{
    BufferHead *bh = bread(static_cast<uint32_t>(disk), 0);
    if (bh == nullptr) {
        *version = DISK_VER_UNREADABLE;
        return 0;
    }
    // A "WFS0.3" head that this initialisation converted stays valid even
    // when its converted copy has left the cache.
    bool ok = volume_head_is_current(bh->data) || (wfs_disk_converted(disk) && volume_head_is_old(bh->data));
    if (ok) {
        VolumeHead head;
        decode_volume_head(bh->data, &head);
        if (disk >= 0 && disk < WFS_KEY_PARAM_DISKS) {
            for (int p = 0; p < WFS_PARTS_PER_DISK; ++p)
                key_param_offset[disk][p] = head.key_param_offset[p];
        }
        *version = DISK_VER_OK;
    } else {
        wfs_trace("%s", volume_head_mismatch_text(bh->data).c_str());
        *version = DISK_VER_MISMATCH;
    }
    release_block(bh);
    return 0;
}

int wfs_read_partitions(int disk, WfsPartition *table, int max)
{
    if (disk < 0 || disk >= WFS_KEY_PARAM_DISKS)
        return WFS_READ_PART_HEAD;
    int ver = 0;
    check_disk_ver(disk, &ver);
    if (ver == DISK_VER_MISMATCH) {
        wfs_trace(" wfs_read_partitions ver no match\n");
        return WFS_READ_PART_VERSION;
    }
    if (ver != DISK_VER_OK) {
        wfs_trace(" wfs_read_partitions read head info failed\n");
        return WFS_READ_PART_HEAD;
    }
    uint64_t sector = static_cast<uint64_t>(key_param_offset[disk][0]) + PART_TABLE_SECTOR;
    BufferHead *bh = bread(static_cast<uint32_t>(disk), sector);
    if (bh == nullptr) {
        wfs_trace("\33[1;33m read block:%d error! file:%s,line:%d\n \33[m", static_cast<int>(sector), __FILE__,
                  __LINE__);
        wfs_disk_error(disk, DISK_ERR_PARAM);
        return WFS_READ_PART_TABLE;
    }
    PartitionTable pt;
    decode_partition_table(bh->data, &pt);
    release_block(bh);

    int n = max < PT_ENTRIES ? max : PT_ENTRIES;
    for (int i = 0; i < n; ++i) {
        uint64_t start = 0, total = 0;
        partition_table_entry(&pt, i, &start, &total);
        table[i].start = start;
        table[i].total = total;
    }

    // The capacity matches the table when it equals the running sum of the
    // partitions at some partition, or exceeds it by less than 4096 sectors.
    uint64_t sum = 0;
    bool matched = false;
    uint64_t cap = g_ide.ide_cap[disk];
    for (int i = 0; i < PT_ENTRIES; ++i) {
        uint64_t start = 0, total = 0;
        if (!partition_table_entry(&pt, i, &start, &total))
            continue;
        sum += total;
        if (cap == sum || (cap > sum && cap - sum < kCapacitySlack)) {
            if (cap != sum)
                wfs_trace("disk_no=%d, total=%lld, j=%d, ide_cap=%lld, file:%s,line:%d\n", disk,
                          static_cast<long long>(sum), i, static_cast<long long>(cap), __FILE__, __LINE__);
            matched = true;
        }
    }
    if (!matched && sum != 0) {
        g_ide.ide_cap[disk] = sum;
        if (disk < WFS_DISK_SPACE_SLOTS)
            disk_space[disk] = sum;
        set_ide_info(&g_ide);  // later readers of the block see the corrected capacity
    }
    return 0;
}

// The "WFS0.3" compatibility step: the head is converted in the cache only
// (the write check refuses to write it), and the conversion is remembered.
static void convert_old_head(int disk)
{
    BufferHead *bh = bread(static_cast<uint32_t>(disk), 0);
    if (bh == nullptr)
        return;
    if (volume_head_is_old(bh->data)) {
        volume_head_convert(bh->data);
        bh->dirt = 1;
        sync_buffer(bh);
        wfs_trace("WFS0.3->WFS0.4 compat convert!\n");
        g_converted[disk] = true;
    }
    release_block(bh);
}

// A partition of a converted disk gets a fresh user-data ring.
static void set_up_converted_partition(DriverParam *pdp)
{
    pdp->ud_offset = pdp->data_offset + 40960;
    pdp->ud_area_word = 16;
    pdp->ud_item_count = 0x280000;
    pdp->ud_first_item = 1;
    pdp->ud_last_item = 1;
    ud_init_area(pdp);
    wfs_save_driver_param(pdp);
}

static void mount_disk(int disk)
{
    WfsPartition table[WFS_PARTS_PER_DISK];
    std::memset(table, 0, sizeof table);
    if (wfs_read_partitions(disk, table, WFS_PARTS_PER_DISK) != 0) {
        wfs_trace("read fs partitions failed.\n");
        wfs_event("ClearDriver", "/dev/sd%d%c", disk, 'a');
        if (g_format_disk != nullptr)
            g_format_disk(disk);
        return;
    }
    for (int part = 0; part < WFS_PARTS_PER_DISK; ++part) {
        if (table[part].total == 0)
            continue;
        if (wfs_fs_mount(disk, part) != 0) {
            clear_driver(disk, part);
            bool mounted = false;
            if (g_format_driver != nullptr && g_format_driver(disk, part, kFormatSecPerClus) == 0)
                mounted = wfs_fs_mount(disk, part) == 0;
            if (!mounted) {
                wfs_warn("mount fs partition failed.\n");
                clear_driver(disk, part);
                continue;
            }
        }
        DriverParam *pdp = get_pdp(disk, part);
        if (pdp != nullptr && g_converted[disk])
            set_up_converted_partition(pdp);
    }
}

int wfs_file_sys_init(int *count, int option)
{
    wfs_trace("___________---------wfs_file_sys_init\n");
    wfs_trace("wfs_file_sys_init() libWFS.a %s, Build in:%s %s\n", WFS_TRACE_REVISION, __DATE__, __TIME__);
    g_option = option;

    get_ide_info(&g_ide);
    int n = g_ide.ide_num < 0 ? 0 : g_ide.ide_num;
    if (n > WFS_KEY_PARAM_DISKS)
        n = WFS_KEY_PARAM_DISKS;  // key parameters are kept for 16 disks
    g_disk_count = n;
    if (count)
        *count = 0;
    wfs_trace("disk_num = %d\n", n);
    wfs_trace("ide_num:%d\n", g_ide.ide_num);
    wfs_trace("ide_port:%d\n", g_ide.ide_port);
    wfs_trace("ide_mask:0x%x\n", g_ide.ide_mask);
    wfs_trace("ide_bad:0x%x\n", g_ide.ide_bad);
    wfs_trace("cap: ");
    for (int d = 0; d < n; ++d) {
        if (disk_space[d] != 0) {
            wfs_trace("%llu(G) -> %llu(G)", static_cast<unsigned long long>(g_ide.ide_cap[d] >> 21),
                      static_cast<unsigned long long>(disk_space[d] >> 21));
            g_ide.ide_cap[d] = disk_space[d];
        } else {
            disk_space[d] = g_ide.ide_cap[d];
            wfs_trace("%llu, %llu(G) ", static_cast<unsigned long long>(g_ide.ide_cap[d]),
                      static_cast<unsigned long long>(g_ide.ide_cap[d] >> 21));
        }
    }
    wfs_trace("\n");

    init_buffers();
    init_disk_timers();
    set_write_check_limit_hook(protected_limit);
    set_device_error_hooks(partition0_bounds, mark_partition0_bad);
    reset_driver_slots();

    for (WfsInitHook h : g_init_hooks) {
        if (h != nullptr)
            h();
    }

    for (int d = 0; d < WFS_KEY_PARAM_DISKS; ++d)
        g_converted[d] = false;
    for (int d = 0; d < n; ++d) {
        convert_old_head(d);
        mount_disk(d);
    }

    g_fs_change();

    int used = 0;
    for (const DriverParam &dp : g_drivers) {
        if (driver_slot_used(&dp) && dp.bad_status == 0)
            ++used;
    }
    if (count)
        *count = used;
    wfs_trace("wfs_file_sys_init() end============================\n\n");
    print_driver_tables();
    return get_work_driver_count(DRIVER_TYPE_RECORD) == 0 ? WFS_INIT_NO_RECORD_DRIVER : 0;
}

void wake_work_drivers(void)
{
    for (int t = 0; t < DRIVER_TYPE_RINGS; ++t) {
        DriverParam *head = g_work_drivers[t].head;
        if (head == nullptr)
            continue;
        ide_wakeup(static_cast<uint16_t>(head->dev));
        if (head->dev < CACHE_DISK_SLOTS)
            disk_timer[head->dev].last_access = wfs_tick_ms();
    }
}

int set_multi_standby(int minutes)
{
    int rc = ide_setstabdby_multi(g_ide.ide_mask, minutes);
    if (rc != 0)
        wfs_warn("ide_setstabdby_multi error!!!!\n");
    return rc;
}
