// Mounting one partition: its key parameters, its parameter block, its
// collision sector and, after an unclean stop, the repair.
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/volume/disk_error.h"
#include "wfs/volume/mount_internal.h"
#include "wfs/volume/restore.h"

// Directory offset of an older layout whose key parameters are discarded.
static const uint32_t kOldLayoutDirOffset = 187;

// Start sector that each slot's parameter block itself names (the driver's
// start_sector is replaced by the partition table's).
static uint64_t g_block_start[WFS_DRIVER_SLOTS];

static void read_error_trace(uint64_t sector, int line)
{
    wfs_trace("\33[1;33m read block:%d error! file:%s,line:%d\n \33[m", static_cast<int>(sector), __FILE__, line);
}

int load_part_key_param(int disk, int part, uint64_t start)
{
    uint64_t sector = start + key_param_offset[disk][part] + KEY_PARAM_SECTOR;
    BufferHead *bh = bread(static_cast<uint32_t>(disk), sector);
    if (bh == nullptr) {
        read_error_trace(sector, __LINE__);
        wfs_disk_error(disk, part * 100 + DISK_ERR_PARAM);
        wfs_trace(" load_part_key_param  error !  fun: %d , line: %d \n", 0, __LINE__);
        return 1;
    }
    KeyParamBlock kp;
    decode_key_param(bh->data, &kp);
    release_block(bh);
    if (key_param_valid(&kp, key_param_offset[disk][part]))
        g_part_key_param[disk][part] = kp;
    return 0;
}

void sanitise_driver(DriverParam *pdp)
{
    const uint32_t tc = pdp->total_cluster;
    const uint32_t last = tc == 0 ? 0 : tc - 1;
    if (pdp->current_cluster > last)
        pdp->current_cluster = last;
    if (pdp->start_cluster2 > last)
        pdp->start_cluster2 = last;
    if (pdp->end_cluster2 > last)
        pdp->end_cluster2 = last;

    uint32_t n = pdp->collision_count > COLLISION_ENTRIES ? COLLISION_ENTRIES : pdp->collision_count;
    uint32_t lowest = pdp->rev_clus > 1 ? pdp->rev_clus : 1;
    uint32_t kept = 0;
    uint32_t prev = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t c = pdp->collision_clusters[i];
        if (c < lowest || c >= tc || (kept > 0 && c <= prev)) {
            wfs_trace("collision cluster %u dropped (dev %u part %u)\n", c, pdp->dev, pdp->part);
            continue;
        }
        pdp->collision_clusters[kept++] = c;
        prev = c;
    }
    for (uint32_t i = kept; i < COLLISION_ENTRIES; ++i)
        pdp->collision_clusters[i] = 0;
    pdp->collision_count = kept;
}

DriverParam *fill_driver_param(int disk, int part, uint64_t start)
{
    if (disk < 0 || disk >= WFS_KEY_PARAM_DISKS || part < 0 || part >= WFS_PARTS_PER_DISK)
        return nullptr;
    const uint32_t offset = key_param_offset[disk][part] + PART_PARAM_SECTOR;
    wfs_trace("\33[1;35m 123____disk_no=%d, start_sector=%lld, tempParamOff=%lld, function:%s,file:%s,line:%d\n \33[m",
              disk, static_cast<long long>(start), static_cast<long long>(offset), __func__, __FILE__, __LINE__);
    BufferHead *bh = bread(static_cast<uint32_t>(disk), start + offset);
    if (bh == nullptr) {
        read_error_trace(start + offset, __LINE__);
        wfs_disk_error(disk, part * 100 + DISK_ERR_PARAM);
        return nullptr;
    }
    DriverParam image;
    std::memset(&image, 0, sizeof image);
    int rc = decode_partition_param(bh->data, &image);
    release_block(bh);
    if (rc != 0) {
        wfs_error("temp sec check flag error\n");
        return nullptr;
    }

    DriverParam *pdp = get_pdp(disk, part);
    if (pdp == nullptr) {
        int slot = get_empty_driver();
        if (slot < 0) {
            wfs_error("get_empty_driver failed!!!!!!!!!!!!!\n");
            return nullptr;
        }
        pdp = &g_drivers[slot];
    }

    image.collision_dirty = 0;
    image.dev = static_cast<uint32_t>(disk);
    image.part = static_cast<uint32_t>(part);
    image.temp_off = offset;
    if (image.collision_offset == 0)
        image.collision_offset = image.temp_off + 4;
    image.reserved_180 = 0;
    const uint64_t block_start = image.start_sector;
    image.start_sector = start;

    // The collision sector and the face-library record go to the slot's own
    // buffers; read them before the slot is taken so that a failure leaves
    // it as it was.
    uint32_t collisions[COLLISION_ENTRIES];
    bh = bread(static_cast<uint32_t>(disk), start + image.collision_offset);
    if (bh == nullptr) {
        wfs_error("collision sec read error\n");
        wfs_disk_error(disk, part * 100 + DISK_ERR_PARAM);
        return nullptr;
    }
    decode_collision_sector(bh->data, collisions);
    release_block(bh);

    uint8_t face[FACE_LIB_RECORD_SIZE];
    std::memset(face, 0, sizeof face);
    if (part == 0) {
        bh = bread(static_cast<uint32_t>(disk), start + image.face_lib_param_offset);
        if (bh != nullptr) {
            if (face_lib_record_valid(bh->data))
                std::memcpy(face, bh->data, sizeof face);
            release_block(bh);
        }
    }

    image.collision_clusters = pdp->collision_clusters;
    image.time_sections = pdp->time_sections;
    image.face_lib_record = pdp->face_lib_record;
    image.prev = image.next = nullptr;
    *pdp = image;
    std::memcpy(pdp->collision_clusters, collisions, sizeof collisions);
    std::memcpy(pdp->face_lib_record, face, sizeof face);
    wfs_trace("\33[1;33m disk_no=%d,part=%d,driverTP=%d,driverTP1=%d,start=%lld,start1:%lld,start2:%lld, line=%d\n "
              "\33[m",
              disk, part, static_cast<int>(pdp->driver_type), static_cast<int>(pdp->driver_type),
              static_cast<long long>(start), static_cast<long long>(block_start),
              static_cast<long long>(pdp->start_sector), __LINE__);
    g_block_start[pdp - g_drivers] = block_start;  // for the mount's consistency check
    return pdp;
}

int wfs_save_driver_param(DriverParam *pdp)
{
    BufferHead *bh = bread(pdp->dev, pdp->start_sector + pdp->temp_off);
    if (bh == nullptr)
        return 1;
    pdp->saved_current_cluster = pdp->current_cluster;
    pdp->index_restore_point = static_cast<int32_t>(pdp->current_cluster);
    encode_partition_param(pdp, bh->data);
    bh->dirt = 1;
    int rc = sync_buffer_unchecked(bh);
    release_block(bh);
    return rc;
}

int wfs_fs_mount(int disk, int part)
{
    if (disk < 0 || disk >= WFS_KEY_PARAM_DISKS || part < 0 || part >= WFS_PARTS_PER_DISK)
        return -1;
    WfsPartition table[WFS_PARTS_PER_DISK];
    std::memset(table, 0, sizeof table);
    if (wfs_read_partitions(disk, table, WFS_PARTS_PER_DISK) != 0)
        return -1;
    const WfsPartition entry = table[part];
    if (entry.total == 0)
        return -1;

    if (load_part_key_param(disk, part, entry.start) != 0)
        return 1;

    DriverParam *pdp = fill_driver_param(disk, part, entry.start);
    if (pdp == nullptr)
        return -1;
    const uint64_t block_start = g_block_start[pdp - g_drivers];

    KeyParamBlock &kp = g_part_key_param[disk][part];
    if (kp.version == -1) {
        kp.version = 0;
    } else if (pdp->dir_offset == kOldLayoutDirOffset) {
        std::memset(&kp, 0, sizeof kp);
        BufferHead *bh = bread(static_cast<uint32_t>(disk), entry.start + key_param_offset[disk][part] + KEY_PARAM_SECTOR);
        if (bh != nullptr) {
            std::memset(bh->data, 0, WFS_SECTOR_SIZE);
            bh->dirt = 1;
            sync_buffer_unchecked(bh);
            release_block(bh);
        }
        wfs_trace("\33[1;33m\n WFS delete 10 block data, dir_offset:%d\n\33[0m", static_cast<int>(pdp->dir_offset));
        wfs_event("WFS", "delete 10 block data, dir_offset:%u", pdp->dir_offset);
    }

    // A parameter block that does not describe this partition, or whose
    // clusters do not fit in it, is refused before anything divides or scans
    // by its numbers.
    if (!driver_geometry_ok(pdp, entry.total)) {
        wfs_warn("wfs_fs_mount failed, bad geometry (sec/clus %u, %u clusters)\n", pdp->sec_per_clus,
                 pdp->total_cluster);
        pdp->driver_type = DRIVER_TYPE_FREE;
        return -1;
    }
    if (entry.start != block_start || entry.total / pdp->sec_per_clus < pdp->total_cluster) {
        wfs_warn("wfs_fs_mount failed, partition crashed\n");
        pdp->driver_type = DRIVER_TYPE_FREE;
        return -1;
    }
    sanitise_driver(pdp);

    if (pdp->status != PARTITION_STATUS_CLEAN && driver_type_written(pdp->driver_type)) {
        unsigned st = restore_fs41(pdp);
        if (st == 0) {
            pdp->status = PARTITION_STATUS_CLEAN;
            wfs_save_driver_param(pdp);
        } else {
            // Keep what the repair could do: hiding the partition would hide
            // every recording on it.
            wfs_warn("restore of disk %d partition %d stopped with status %u; mounted as far as repaired\n", disk,
                     part, st);
        }
    }
    build_time_sections(pdp);
    return 0;
}
