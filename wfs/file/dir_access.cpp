// Reading and writing the directory, backup directory and extended
// directory records of single clusters through the block cache.
#include <cstring>

#include "wfs/common/log.h"
#include "wfs/file/area_io.h"
#include "wfs/file/records.h"
#include "wfs/volume/disk_error.h"

static bool g_backup_dir_writing = true;

void wfs_set_backup_dir_writing(bool on) { g_backup_dir_writing = on; }
bool wfs_backup_dir_writing(void) { return g_backup_dir_writing; }

BufferHead *area_bread(const DriverParam *pdp, uint64_t sector, int area_code)
{
    BufferHead *bh = bread(pdp->dev, sector);
    if (bh == nullptr)
        wfs_disk_error(static_cast<int>(pdp->dev), static_cast<int>(pdp->part) * 100 + area_code);
    return bh;
}

// A cluster number may reach total_cluster (the areas have spare records).
static bool clus_ok(const DriverParam *pdp, uint32_t clus, const char *op)
{
    if (clus <= pdp->total_cluster)
        return true;
    wfs_warn("GET_DIR_ITEM(%d %u %s) failed!!!!!!!!!!!!\n", static_cast<int>(pdp->dev), clus, op);
    return false;
}

static unsigned read_raw(DriverParam *pdp, uint32_t area_offset, uint32_t clus, int area_code, uint8_t *raw)
{
    AreaPos p = area_pos(pdp, area_offset, clus, DIR_ITEM_SIZE);
    BufferHead *bh = area_bread(pdp, p.sector, area_code);
    if (bh == nullptr)
        return FS_READ_ERROR;
    std::memcpy(raw, bh->data + p.offset, DIR_ITEM_SIZE);
    release_block(bh);
    return FS_OK;
}

unsigned get_dir_item_info(DriverParam *pdp, uint32_t clus, dir_item *out)
{
    if (!clus_ok(pdp, clus, "get_dir_item_info"))
        return FS_BAD_CLUSTER;
    uint8_t raw[DIR_ITEM_SIZE];
    unsigned st = read_raw(pdp, pdp->dir_offset, clus, DISK_ERR_DIR, raw);
    if (st == FS_OK)
        dir_item_decode(raw, out);
    return st;
}

unsigned get_dir_item_time(DriverParam *pdp, uint32_t clus, wfs_time *out)
{
    if (!clus_ok(pdp, clus, "get_dir_item_time"))
        return FS_BAD_CLUSTER;
    dir_item item;
    unsigned st = get_dir_item_info(pdp, clus, &item);
    if (st == FS_OK)
        *out = item.start_time;
    return st;
}

unsigned get_dir_item_time1(DriverParam *pdp, uint32_t clus, wfs_time *out)
{
    if (!clus_ok(pdp, clus, "get_dir_item_time1"))
        return FS_BAD_CLUSTER;
    dir_item item;
    unsigned st = get_dir_item_info(pdp, clus, &item);
    if (st != FS_OK)
        return st;
    // A link to a real cluster ends this one where the next one starts. A
    // link outside the partition is treated like a last cluster.
    if (item.down_cluster_no != 0 && item.down_cluster_no != DIR_DOWN_OPEN &&
        item.down_cluster_no <= pdp->total_cluster)
        return get_dir_item_time(pdp, item.down_cluster_no, out);
    if (item.end_time != item.start_time)
        *out = item.end_time;
    else
        *out = wfs_time_add(item.end_time, 1);  // a closed cluster lasts at least one second
    return FS_OK;
}

// Applies `change` to the cluster's raw record in one area and marks the
// block dirty; writes it out when `flush`.
template <typename Change>
static unsigned modify_area(DriverParam *pdp, uint32_t area_offset, uint32_t clus, int area_code, bool flush,
                            Change change)
{
    AreaPos p = area_pos(pdp, area_offset, clus, DIR_ITEM_SIZE);
    BufferHead *bh = area_bread(pdp, p.sector, area_code);
    if (bh == nullptr)
        return FS_READ_ERROR;
    change(bh->data + p.offset);
    bh->dirt = 1;
    int rc = flush ? sync_buffer(bh) : 0;
    release_block(bh);
    return rc == 0 ? FS_OK : FS_READ_ERROR;
}

// Changes the directory record and mirrors the change into the backup
// directory area.
template <typename Change>
static unsigned modify_dir(DriverParam *pdp, uint32_t clus, const char *op, bool flush, Change change)
{
    if (!clus_ok(pdp, clus, op))
        return FS_BAD_CLUSTER;
    unsigned st = modify_area(pdp, pdp->dir_offset, clus, DISK_ERR_DIR, flush, change);
    if (st != FS_OK)
        return st;
    if (g_backup_dir_writing && pdp->backdir_offset != 0) {
        unsigned bst = modify_area(pdp, pdp->backdir_offset, clus, DISK_ERR_BACKDIR, flush, change);
        if (bst != FS_OK)
            wfs_trace("GET_BK_DIR_ITEM(%d %d) failed!!!!!!!!!!!!\n", static_cast<int>(pdp->dev),
                      static_cast<int>(clus));
    }
    return FS_OK;
}

// Decode, change the fields, encode.
template <typename Fields>
static unsigned modify_dir_fields(DriverParam *pdp, uint32_t clus, const char *op, bool flush, Fields fields)
{
    return modify_dir(pdp, clus, op, flush, [&](uint8_t *raw) {
        dir_item item;
        dir_item_decode(raw, &item);
        fields(item);
        dir_item_encode(&item, raw);
    });
}

unsigned set_dir_item_info(DriverParam *pdp, uint32_t clus, const dir_item *item, bool flush)
{
    return modify_dir(pdp, clus, "set_dir_item_info", flush, [&](uint8_t *raw) { dir_item_encode(item, raw); });
}

unsigned set_dir_item_down_clus(DriverParam *pdp, uint32_t clus, uint32_t next, bool flush)
{
    // The next cluster's record is written anyway when it shares the sector.
    bool other_sector = next / (WFS_SECTOR_SIZE / DIR_ITEM_SIZE) != clus / (WFS_SECTOR_SIZE / DIR_ITEM_SIZE);
    return modify_dir_fields(pdp, clus, "set_dir_item_down_clus", flush && other_sector,
                             [&](dir_item &d) { d.down_cluster_no = next; });
}

unsigned set_dir_item_up_clus(DriverParam *pdp, uint32_t clus, uint32_t value, bool flush)
{
    return modify_dir_fields(pdp, clus, "set_dir_item_up_clus", flush, [&](dir_item &d) { d.up_cluster_no = value; });
}

unsigned set_dir_last_item(DriverParam *pdp, uint32_t clus, uint16_t end_length, wfs_time end_time, bool flush)
{
    return modify_dir_fields(pdp, clus, "set_dir_last_item", flush, [&](dir_item &d) {
        d.end_time = end_time;
        d.end_length = end_length;
        d.down_cluster_no = 0;
    });
}

unsigned set_dir_last_item1(DriverParam *pdp, uint32_t clus, bool flush)
{
    return modify_dir_fields(pdp, clus, "set_dir_last_item1", flush, [&](dir_item &d) { d.down_cluster_no = 0; });
}

unsigned set_dir_first_item(DriverParam *pdp, uint32_t first_clus, uint16_t end_length, uint16_t item_count,
                            wfs_time end_time, bool flush)
{
    return modify_dir_fields(pdp, first_clus, "set_dir_first_item", flush, [&](dir_item &d) {
        d.end_time = end_time;
        d.end_length = end_length;
        d.item_num = item_count;
    });
}

unsigned set_dir_item_end_time(DriverParam *pdp, uint32_t clus, wfs_time end_time, uint16_t end_length, bool flush)
{
    return modify_dir_fields(pdp, clus, "set_dir_item_end_time", flush, [&](dir_item &d) {
        d.end_time = end_time;
        d.end_length = end_length;
    });
}

unsigned set_dir_file_alrm(DriverParam *pdp, uint32_t clus, uint8_t alarm, bool flush)
{
    return modify_dir_fields(pdp, clus, "set_dir_file_alrm", flush, [&](dir_item &d) { d.alarm = alarm; });
}

// ---------------------------------------------------------------- extended

static bool ext_clus_ok(const DriverParam *pdp, uint32_t clus)
{
    if (clus <= pdp->total_cluster)
        return true;
    wfs_warn("GET_EXT_DIR_ITEM(%d %d) failed!!!!!!!!!!!!\n", static_cast<int>(pdp->dev), static_cast<int>(clus));
    return false;
}

unsigned get_ext_dir_item(DriverParam *pdp, uint32_t clus, ext_dir_item *out)
{
    if (pdp->ext_dir_offset == 0)
        return FS_NO_EXT_DIR;
    if (!ext_clus_ok(pdp, clus))
        return FS_BAD_CLUSTER;
    uint8_t raw[DIR_ITEM_SIZE];
    unsigned st = read_raw(pdp, pdp->ext_dir_offset, clus, DISK_ERR_DIR, raw);
    if (st == FS_OK)
        ext_dir_item_decode(raw, out);
    return st;
}

unsigned set_ext_dir_item(DriverParam *pdp, uint32_t clus, const ext_dir_item *item, bool flush)
{
    if (pdp->ext_dir_offset == 0)
        return FS_NO_EXT_DIR;
    if (!ext_clus_ok(pdp, clus))
        return FS_BAD_CLUSTER;
    return modify_area(pdp, pdp->ext_dir_offset, clus, DISK_ERR_DIR, flush,
                       [&](uint8_t *raw) { ext_dir_item_encode(item, raw); });
}

unsigned set_ext_dir_mask_bit(DriverParam *pdp, uint32_t clus, unsigned bit, bool flush)
{
    if (pdp->ext_dir_offset == 0)
        return FS_NO_EXT_DIR;
    if (!ext_clus_ok(pdp, clus))
        return FS_BAD_CLUSTER;
    if (bit >= 32)
        return FS_OK;  // the mask has 32 bits; a larger number sets nothing
    return modify_area(pdp, pdp->ext_dir_offset, clus, DISK_ERR_DIR, flush, [&](uint8_t *raw) {
        ext_dir_item e;
        ext_dir_item_decode(raw, &e);
        e.mask |= 1u << bit;
        // Only the mask changes; the other bytes of the record stay.
        raw[4] = static_cast<uint8_t>(e.mask);
        raw[5] = static_cast<uint8_t>(e.mask >> 8);
        raw[6] = static_cast<uint8_t>(e.mask >> 16);
        raw[7] = static_cast<uint8_t>(e.mask >> 24);
    });
}
