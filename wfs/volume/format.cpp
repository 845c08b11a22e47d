// Formatting a disk or a partition.
#include "wfs/volume/format.h"

#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/cache/overlay.h"
#include "wfs/common/clock.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"
#include "wfs/volume/disk_error.h"

namespace {

// Sectors written per bulk transfer.
const uint32_t kRun = 16;
// The user-data ring lies this far into the reserved clusters.
const uint32_t kUdAreaStart = 40960;
// Items of a full-size user-data ring.
const uint32_t kUdItems = 0x280000;
const uint32_t kUdItemsPerSector = WFS_SECTOR_SIZE / UD_ITEM_SIZE;
// A ring smaller than this is not worth having.
const uint32_t kUdMinItems = 2048;
// Spare records beyond the last cluster in the directory and index areas.
const uint32_t kFaceParamSectors = 2048;

bool g_key_config_set[WFS_KEY_PARAM_DISKS][WFS_PARTS_PER_DISK];
KeyParamBlock g_key_config[WFS_KEY_PARAM_DISKS][WFS_PARTS_PER_DISK];

bool disk_ok(int disk) { return disk >= 0 && disk < WFS_KEY_PARAM_DISKS; }

// True when the disk's device keeps what is written (the image tool's
// writable image); the player's devices discard every write.
bool disk_keeps_writes(int disk)
{
    if (disk < 0 || disk >= WFS_DISK_SLOTS)
        return false;
    BlockDevice *dev = g_recorder_disks.handle[disk];
    return dev && dev->ops && dev->ops->write;
}

// Writes one whole sector through the cache. The head and parameter sectors
// need `unchecked` (the write check guards them).
int put_sector(int disk, uint64_t sector, const uint8_t *data, bool unchecked)
{
    BufferHead *bh = getblk(static_cast<uint32_t>(disk), sector);
    if (bh == nullptr)
        return 1;
    std::memcpy(bh->data, data, WFS_SECTOR_SIZE);
    bh->uptodate = 1;
    bh->dirt = 1;
    int rc = unchecked ? sync_buffer_unchecked(bh) : sync_buffer(bh);
    release_block(bh);
    return rc;
}

// After a bulk write the cached copies of the range are out of date: they
// are dropped so that the next read goes to the device. On a writable image
// the overlay's copies are dropped as well (the device holds everything
// that was written); on a read-only disk the bulk write is not kept.
void forget_range(int disk, uint64_t first, uint64_t count)
{
    for (BufferHead *head : hash_table) {
        int steps = 0;
        for (BufferHead *bh = head; bh && steps <= NR_BUFFERS; bh = bh->hash_next, ++steps) {
            if (bh->dev == static_cast<uint32_t>(disk) && bh->blocknr >= first && bh->blocknr - first < count &&
                bh->count == 0 && !bh->dirt)
                bh->uptodate = 0;
        }
    }
    if (disk_keeps_writes(disk))
        overlay_drop_disk(static_cast<uint32_t>(disk));
}

// Writes `count` sectors from `first`, each a copy of `pattern`, in runs of
// 16, flushing after the first run, every 1024th run and the tail.
int write_pattern(int disk, uint64_t first, uint64_t count, const uint8_t *pattern)
{
    static uint8_t run_buf[kRun * WFS_SECTOR_SIZE];
    for (uint32_t i = 0; i < kRun; ++i)
        std::memcpy(run_buf + i * WFS_SECTOR_SIZE, pattern, WFS_SECTOR_SIZE);
    sync_disk_buffers(static_cast<uint32_t>(disk));
    uint64_t done = 0;
    uint64_t runs = 0;
    int result = 0;
    while (done < count) {
        uint32_t n = count - done < kRun ? static_cast<uint32_t>(count - done) : kRun;
        if (bwrite_multi(static_cast<uint32_t>(disk), n, first + done, run_buf) != 0) {
            result = 1;
            break;
        }
        done += n;
        if (runs == 0 || runs % 1024 == 0 || done == count)
            ide_flush_cache(static_cast<uint16_t>(disk));
        ++runs;
    }
    forget_range(disk, first, count);
    return result;
}

void local_time_line(const char *what)
{
    WfsLocalTime t;
    wfs_local_time(&t);
    wfs_trace("\33[40;35m   %s  line: %d\t%04d-%02d-%02d  %02d:%02d:%02d \33[0m  \n", what, __LINE__, t.year, t.month,
              t.day, t.hour, t.minute, t.second);
}

bool power_of_two(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The partition's parameter block forbids formatting.
bool partition_protected(int disk, int part, uint64_t start)
{
    BufferHead *bh = bread(static_cast<uint32_t>(disk), start + key_param_offset[disk][part] + PART_PARAM_SECTOR);
    if (bh == nullptr)
        return false;
    DriverParam dp;
    std::memset(&dp, 0, sizeof dp);
    bool valid = decode_partition_param(bh->data, &dp) == 0;
    release_block(bh);
    return valid && dp.protected_flag != 0;
}

// The user-data ring at data_offset + 40960 must lie inside the reserved
// clusters. Small partitions (or small clusters) get a smaller ring, or a
// few more reserved clusters, or no ring at all.
void place_user_data(DriverParam *pdp)
{
    const uint64_t min_sectors = kUdAreaStart + kUdMinItems / kUdItemsPerSector;
    uint64_t reserved = uint64_t(pdp->rev_clus) * pdp->sec_per_clus;
    if (reserved < min_sectors) {
        uint64_t need = (min_sectors + pdp->sec_per_clus - 1) / pdp->sec_per_clus;
        if (need < pdp->total_cluster / 4) {
            pdp->rev_clus = static_cast<uint32_t>(need);
            reserved = need * pdp->sec_per_clus;
        }
    }
    if (reserved < min_sectors) {
        pdp->ud_offset = 0;
        pdp->ud_area_word = 0;
        pdp->ud_item_count = 0;
        pdp->ud_first_item = 1;
        pdp->ud_last_item = 1;
        return;
    }
    uint64_t items = (reserved - kUdAreaStart) * kUdItemsPerSector;
    pdp->ud_offset = pdp->data_offset + kUdAreaStart;
    pdp->ud_area_word = 16;
    pdp->ud_item_count = items < kUdItems ? static_cast<uint32_t>(items) : kUdItems;
    pdp->ud_first_item = 1;
    pdp->ud_last_item = 1;
}

}  // namespace

int wfs_set_key_config(int disk, int part, const KeyParamBlock *config)
{
    if (!disk_ok(disk) || part < 0 || part >= WFS_PARTS_PER_DISK || !config || !key_param_config_valid(config))
        return -1;
    g_key_config[disk][part] = *config;
    g_key_config_set[disk][part] = true;
    return 0;
}

int wfs_init_area_data(int disk, uint64_t first, uint64_t count, uint8_t fill)
{
    uint8_t pattern[WFS_SECTOR_SIZE];
    std::memset(pattern, fill, sizeof pattern);
    return write_pattern(disk, first, count, pattern);
}

int init_dir_area(int disk, uint64_t dir_sector, uint64_t backdir_sector, uint32_t rev_clus, uint32_t dir_size)
{
    const uint32_t per_sector = WFS_SECTOR_SIZE / DIR_ITEM_SIZE;
    uint8_t fresh[WFS_SECTOR_SIZE];
    std::memset(fresh, 0, sizeof fresh);
    for (uint32_t i = 0; i < per_sector; ++i)
        fresh[i * DIR_ITEM_SIZE + 1] = DIR_FLAG_UNWRITTEN;
    // Sectors holding reserved clusters' records come first.
    uint64_t reserved_sectors = (uint64_t(rev_clus) + per_sector - 1) / per_sector;
    if (reserved_sectors > dir_size)
        reserved_sectors = dir_size;
    const uint64_t areas[2] = {dir_sector, backdir_sector};
    for (uint64_t base : areas) {
        for (uint64_t s = 0; s < reserved_sectors; ++s) {
            uint8_t sector[WFS_SECTOR_SIZE];
            std::memcpy(sector, fresh, sizeof sector);
            for (uint32_t i = 0; i < per_sector; ++i) {
                if (s * per_sector + i < rev_clus)
                    sector[i * DIR_ITEM_SIZE + 1] = 0xFF;
            }
            if (bwrite_multi(static_cast<uint32_t>(disk), 1, base + s, sector) != 0)
                return 1;
        }
        if (write_pattern(disk, base + reserved_sectors, dir_size - reserved_sectors, fresh) != 0)
            return 1;
        forget_range(disk, base, reserved_sectors);
    }
    return 0;
}

int init_index_area(int disk, uint64_t index_sector, uint32_t rev_clus, uint32_t index_size)
{
    uint8_t fresh[WFS_SECTOR_SIZE];
    std::memset(fresh, INDEX_BYTE_FRESH, sizeof fresh);
    uint64_t reserved_sectors = (uint64_t(rev_clus) + WFS_SECTOR_SIZE - 1) / WFS_SECTOR_SIZE;
    if (reserved_sectors > index_size)
        reserved_sectors = index_size;
    for (uint64_t s = 0; s < reserved_sectors; ++s) {
        uint8_t sector[WFS_SECTOR_SIZE];
        for (uint32_t i = 0; i < WFS_SECTOR_SIZE; ++i)
            sector[i] = s * WFS_SECTOR_SIZE + i < rev_clus ? INDEX_BYTE_RESERVED : INDEX_BYTE_FRESH;
        if (bwrite_multi(static_cast<uint32_t>(disk), 1, index_sector + s, sector) != 0)
            return 1;
    }
    int rc = write_pattern(disk, index_sector + reserved_sectors, index_size - reserved_sectors, fresh);
    forget_range(disk, index_sector, reserved_sectors);
    return rc;
}

int wfs_write_partitions(int disk, const WfsPartition *table, int count)
{
    if (!disk_ok(disk) || !table || count < 0)
        return WFS_FORMAT_IO;
    int ver = 0;
    check_disk_ver(disk, &ver);
    bool fresh = ver != DISK_VER_OK;
    if (fresh) {
        for (int p = 0; p < WFS_PARTS_PER_DISK; ++p)
            key_param_offset[disk][p] = 0;
    }
    uint64_t table_sector = uint64_t(key_param_offset[disk][0]) + PART_TABLE_SECTOR;
    BufferHead *bh = bread(static_cast<uint32_t>(disk), table_sector);
    if (bh == nullptr) {
        wfs_trace("\33[1;33m read block:%d error! file:%s,line:%d\n \33[m", static_cast<int>(table_sector), __FILE__,
                  __LINE__);
        wfs_disk_error(disk, DISK_ERR_PARAM);
        return WFS_FORMAT_IO;
    }
    release_block(bh);

    PartitionTable pt;
    std::memset(&pt, 0, sizeof pt);
    int n = count < PT_ENTRIES ? count : PT_ENTRIES;
    for (int i = 0; i < n; ++i) {
        if (table[i].total == 0)
            continue;
        pt.entry[i].start = table[i].start;
        pt.entry[i].total = table[i].total;
        pt.entry[i].written = 1;
    }
    if (partition_table_overlaps(&pt)) {
        wfs_warn("wfs_write_partitions, partition range overlaped.\n");
        return WFS_FORMAT_OVERLAP;
    }
    bool head_changed = fresh;
    for (int i = 0; i < PT_ENTRIES; ++i) {
        if (i > 0 && key_param_offset[disk][i] != 0) {
            key_param_offset[disk][i] = 0;
            head_changed = true;
        }
        std::memset(&g_part_key_param[disk][i], 0, sizeof(KeyParamBlock));
    }

    uint8_t sector[WFS_SECTOR_SIZE];
    std::memset(sector, 0, sizeof sector);
    encode_partition_table(&pt, sector);
    if (put_sector(disk, table_sector, sector, true) != 0)
        return WFS_FORMAT_IO;
    if (put_sector(disk, table_sector + PARAM_COPY_DISTANCE, sector, true) != 0) {
        wfs_disk_error(disk, DISK_ERR_BACKUP);
        return WFS_FORMAT_IO;
    }
    if (head_changed) {
        encode_volume_head(key_param_offset[disk], sector);
        if (put_sector(disk, 0, sector, true) != 0)
            return WFS_FORMAT_IO;
    }
    return 0;
}

int wfs_init_key_param(int disk, int part, uint64_t start, uint64_t total, PDivP *out)
{
    if (!disk_ok(disk) || part < 0 || part >= WFS_PARTS_PER_DISK || !out)
        return WFS_FORMAT_BAD_PARAM;
    KeyParamBlock &kp = g_part_key_param[disk][part];
    bool valid = kp.check_word == WFS_CHECK_WORD && kp.version > 3 && kp.sys_recv_ratio_sectors != 0 &&
                 key_param_config_valid(&kp);
    if (valid)
        return compute_pdivp(total, &kp, part, out) == 0 ? 0 : WFS_FORMAT_BAD_SIZE;

    KeyParamBlock fresh;
    std::memset(&fresh, 0, sizeof fresh);
    if (g_key_config_set[disk][part])
        fresh = g_key_config[disk][part];
    else
        key_param_set_defaults(&fresh);
    fresh.area_base = kp.area_base;
    if (compute_pdivp(total, &fresh, part, out) != 0)
        return WFS_FORMAT_BAD_SIZE;
    key_param_apply_pdivp(out, start, &fresh);
    kp = fresh;
    uint8_t sector[WFS_SECTOR_SIZE];
    encode_key_param(&kp, sector);
    uint64_t at = start + key_param_offset[disk][part] + KEY_PARAM_SECTOR;
    if (put_sector(disk, at, sector, true) != 0 || put_sector(disk, at + PARAM_COPY_DISTANCE, sector, true) != 0)
        return WFS_FORMAT_IO;
    wfs_trace("\33[40;35m\t%s[%d]: modify param key param  !!!!\33[0m\t\n", "wfs_init_key_param", __LINE__);
    return 0;
}

int wfs_format_driver(int disk, int part, uint32_t sec_per_clus)
{
    return wfs_format_driver_type(disk, part, sec_per_clus, DRIVER_TYPE_RECORD);
}

int wfs_format_driver_type(int disk, int part, uint32_t c, uint32_t driver_type)
{
    local_time_line("wfs_format_driver");
    if (!disk_ok(disk) || part < 0 || part >= WFS_PARTS_PER_DISK || !power_of_two(c) ||
        c > WFS_FORMAT_MAX_SEC_PER_CLUS || driver_type >= DRIVER_TYPE_RINGS) {
        wfs_trace("wfs_format_driver bad parameter\n");
        return WFS_FORMAT_BAD_PARAM;
    }
    ide_wakeup(static_cast<uint16_t>(disk));
    WfsPartition table[WFS_PARTS_PER_DISK];
    std::memset(table, 0, sizeof table);
    if (wfs_read_partitions(disk, table, WFS_PARTS_PER_DISK) != 0) {
        wfs_trace("wfs_format_driver read partition failed\n");
        return WFS_FORMAT_IO;
    }
    const uint64_t start = table[part].start;
    const uint64_t total = table[part].total;
    if (total == 0 || total / c > UINT32_MAX) {
        wfs_trace("wfs_format_driver bad size of partition, %lld\n", static_cast<long long>(total));
        return WFS_FORMAT_BAD_SIZE;
    }
    if (partition_protected(disk, part, start)) {
        wfs_warn("wfs_format_driver: disk %d partition %d is protected\n", disk, part);
        return WFS_FORMAT_PROTECTED;
    }
    // A mounted driver of the partition stops describing it.
    if (get_pdp(disk, part) != nullptr) {
        KeyParamBlock keep = g_part_key_param[disk][part];
        clear_driver(disk, part);
        g_part_key_param[disk][part] = keep;
    }

    PDivP dp;
    int rc = wfs_init_key_param(disk, part, start, total, &dp);
    if (rc != 0) {
        wfs_trace("Error %d : wfs_init_key_param(disk_no, part, &PDivP)\n", rc);
        return rc;
    }
    const uint32_t kpo = key_param_offset[disk][part];

    DriverParam pd;
    std::memset(&pd, 0, sizeof pd);
    pd.status = PARTITION_STATUS_CLEAN;
    pd.bytes_per_sector = WFS_SECTOR_SIZE;
    pd.sec_per_clus = c;
    pd.data_offset = dp.data_offset;
    // The areas are placed for 4096-sector clusters; larger clusters must
    // still fit the partition.
    uint64_t fit = (total - dp.data_offset) / c;
    pd.total_cluster = fit < dp.total_cluster ? static_cast<uint32_t>(fit) : dp.total_cluster;
    // Cluster 0 never holds a recording: current_cluster 0 means "empty".
    pd.rev_clus = dp.rev_clus > 0 ? dp.rev_clus : 1;
    pd.check_word = WFS_CHECK_WORD;
    pd.start_sector = start;
    pd.temp_off = kpo + PART_PARAM_SECTOR;
    pd.collision_offset = kpo + COLLISION_SECTOR;
    pd.dir_offset = dp.dir_offset;
    pd.backdir_offset = dp.backdir_offset;
    pd.ext_dir_offset = dp.ext_dir_offset;
    pd.index_offset = dp.index_offset;
    pd.lock_file_info_off = dp.lock_file_info_off;
    pd.mark_file_info_off = dp.mark_file_info_off;
    pd.mark_index_offset = dp.mark_file_info_off + dp.special_info_block_size;
    pd.mark_area_end = pd.mark_index_offset + dp.mark_file_index_block_size;
    pd.face_lib_param_offset = dp.face_lib_param_offset;
    pd.sys_area_end = dp.sys_area_end;
    pd.dev = static_cast<uint32_t>(disk);
    pd.part = static_cast<uint32_t>(part);
    pd.driver_type = driver_type;
    place_user_data(&pd);
    if (pd.rev_clus >= pd.total_cluster) {
        wfs_trace("wfs_format_driver bad size of partition, %lld\n", static_cast<long long>(total));
        return WFS_FORMAT_BAD_SIZE;
    }
    uint64_t reserved = uint64_t(pd.rev_clus) * c;
    if (reserved > 16384) {
        pd.extra_area_offset = pd.data_offset;
        pd.extra_area_size = 16384;
    }
    if (reserved > 40960) {
        pd.extra_area2_offset = pd.data_offset + 20480;
        pd.extra_area2_size = 20480;
    }
    if (ud_init_area(&pd) != FS_OK) {
        wfs_trace("Error %d : ud_init_area(pdp)\n", WFS_FORMAT_IO);
        return WFS_FORMAT_IO;
    }

    uint8_t sector[WFS_SECTOR_SIZE];
    std::memset(sector, 0, sizeof sector);
    encode_partition_param(&pd, sector);
    uint64_t param = start + pd.temp_off;
    if (put_sector(disk, param, sector, true) != 0 || put_sector(disk, param + PARAM_COPY_DISTANCE, sector, true) != 0)
        return WFS_FORMAT_IO;
    std::memset(sector, 0, sizeof sector);
    uint64_t coll = start + pd.collision_offset;
    if (put_sector(disk, coll, sector, true) != 0 || put_sector(disk, coll + PARAM_COPY_DISTANCE, sector, true) != 0)
        return WFS_FORMAT_IO;

    // The face library of partition 0.
    const KeyParamBlock &kp = g_part_key_param[disk][part];
    if (part == 0 && kp.face_lib_support_size != 0) {
        uint64_t face = start + dp.face_lib_param_offset;
        BufferHead *bh = bread(static_cast<uint32_t>(disk), face);
        bool present = bh != nullptr && face_lib_record_valid(bh->data);
        release_block(bh);
        if (!present) {
            if (wfs_init_area_data(disk, face, kFaceParamSectors, 0) != 0 ||
                wfs_init_area_data(disk, start + dp.cur_face_lib_record_offset, dp.face_lib_record_block_size, 0) !=
                    0) {
                wfs_trace("Error %d : wfs_init_area_data(disk_no, face_lib_param_offset)\n", 1);
                return 1;
            }
            std::memset(sector, 0, sizeof sector);
            std::memcpy(sector, FACE_LIB_MAGIC, sizeof FACE_LIB_MAGIC);
            if (put_sector(disk, face, sector, false) != 0 ||
                put_sector(disk, face + PARAM_COPY_DISTANCE, sector, false) != 0)
                return WFS_FORMAT_IO;
        }
    }

    struct Step {
        const char *what;
        int rc;
    };
    Step steps[] = {
        {"Error %d : wfs_init_area_data(disk_no, start_sector + pdp->ext_dir_offset, PDivP.dir_size, 0)\n",
         wfs_init_area_data(disk, start + dp.ext_dir_offset, dp.dir_size, 0)},
        {"Error %d : wfs_init_area_data(disk_no, start_sector + pdp->lock_file_info_off, 3072, 0)\n",
         wfs_init_area_data(disk, start + dp.lock_file_info_off, dp.special_info_block_size, 0)},
        {"Error %d : wfs_init_area_data(disk_no, start_sector + pdp->mark_file_info_off, mark_file_info_block_size, 0)\n",
         wfs_init_area_data(disk, start + dp.mark_file_info_off, dp.mark_file_info_block_size, 0)},
        {"Error %d : wfs_init_area_data(disk_no, start_sector + mark_index_offset, mark_file_index_block_size, 0xFF)\n",
         wfs_init_area_data(disk, start + pd.mark_index_offset, dp.mark_file_index_block_size, 0xFF)},
        {"Error %d : init_dir_area(disk_no, start_sector + pdp->dir_offset, start_sector + pdp->backdir_offset, "
         "PDivP.rev_clus, PDivP.dir_size)\n",
         init_dir_area(disk, start + dp.dir_offset, start + dp.backdir_offset, pd.rev_clus, dp.dir_size)},
        {"Error %d : init_index_area(disk_no, start_sector + pdp->index_offset, PDivP.rev_clus, PDivP.index_size)\n",
         init_index_area(disk, start + dp.index_offset, pd.rev_clus, dp.index_size)},
    };
    for (const Step &s : steps) {
        if (s.rc != 0) {
            wfs_trace(s.what, s.rc);
            return s.rc;
        }
    }
    sync_disk_buffers(static_cast<uint32_t>(disk));
    ide_flush_cache(static_cast<uint16_t>(disk));
    local_time_line("wfs_format_driver");
    return 0;
}

int wfs_format_disk(int disk)
{
    if (!disk_ok(disk))
        return WFS_FORMAT_BAD_PARAM;
    for (int p = 0; p < WFS_PARTS_PER_DISK; ++p)
        clear_driver(disk, p);
    uint8_t zero[WFS_SECTOR_SIZE];
    std::memset(zero, 0, sizeof zero);
    put_sector(disk, KEY_PARAM_SECTOR, zero, true);
    WfsPartition one;
    one.start = 0;
    one.total = wfs_ide_cap(disk);
    int rc = wfs_write_partitions(disk, &one, 1);
    if (rc != 0)
        return rc;
    rc = wfs_format_driver(disk, 0, PDIVP_CLUSTER_SECTORS);
    if (rc != 0)
        return rc;
    return wfs_fs_mount(disk, 0) == 0 ? 0 : WFS_FORMAT_IO;
}

void wfs_use_format_fallbacks(void) { wfs_set_format_fallbacks(wfs_format_disk, wfs_format_driver); }
