// Taking clusters: the ring of a partition, the previous pass kept ahead of
// the write position, time collisions, and a full ring ("disk over").
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/file/area_io.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"
#include "wfs/file/writer.h"
#include "wfs/file/writer_internal.h"
#include "wfs/volume/disk_error.h"
#include "wfs/volume/mount.h"

namespace {

FileHandle *g_writers[WFS_MAX_FILE_HANDLES];
uint8_t g_repeat_counter = 0;

bool live(const FileHandle *h)
{
    return h && h->gen_stamp == wfs_file_generation() &&
           (h->file_flag == FILE_FLAG_WRITE || h->file_flag == FILE_FLAG_SUSPENDED);
}

uint32_t interval_of(const DriverParam *pdp)
{
    return pdp->driver_type == DRIVER_TYPE_PICTURE ? WFS_WRITER_INTERVAL_PICTURE : WFS_WRITER_INTERVAL_RECORD;
}

// Collision list of the driver: cluster numbers, ascending.
void collisions_remove_range(DriverParam *pdp, uint64_t lo, uint64_t hi)
{
    uint32_t *list = pdp->collision_clusters;
    if (!list)
        return;
    uint32_t n = pdp->collision_count > COLLISION_ENTRIES ? COLLISION_ENTRIES : pdp->collision_count;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (list[i] >= lo && list[i] <= hi)
            continue;
        list[kept++] = list[i];
    }
    if (kept != n) {
        for (uint32_t i = kept; i < n; ++i)
            list[i] = 0;
        pdp->collision_count = kept;
        pdp->collision_dirty = 1;
    }
}

void collisions_add(DriverParam *pdp, uint32_t clus)
{
    uint32_t *list = pdp->collision_clusters;
    if (!list)
        return;
    uint32_t n = pdp->collision_count > COLLISION_ENTRIES ? COLLISION_ENTRIES : pdp->collision_count;
    if (n >= COLLISION_ENTRIES) {
        wfs_warn("collision list of disk %u partition %u full, cluster %u not listed\n", pdp->dev, pdp->part, clus);
        return;
    }
    uint32_t at = 0;
    while (at < n && list[at] < clus)
        ++at;
    if (at < n && list[at] == clus)
        return;
    std::memmove(list + at + 1, list + at, (n - at) * sizeof(uint32_t));
    list[at] = clus;
    pdp->collision_count = n + 1;
    pdp->collision_dirty = 1;
}

// The first cluster the writer may take at or after `from` + 1: not flag 3,
// below total_cluster - total_cluster / 2097152.
unsigned next_writable(DriverParam *pdp, uint32_t from, uint32_t *out)
{
    return index_search(pdp, INDEX_SEARCH_WRITER_NEXT, from, 0, out, INDEX_ANY_CHANNEL);
}

uint32_t scan_origin(const DriverParam *pdp)
{
    if (pdp->current_cluster >= pdp->rev_clus && pdp->current_cluster != 0)
        return pdp->current_cluster;
    return pdp->rev_clus > 0 ? pdp->rev_clus - 1 : 0;
}

// The driver's pass has reached the end of its ring: what it wrote becomes
// the previous pass and writing goes on from the start of the ring.
void begin_new_pass(DriverParam *pdp)
{
    uint32_t last = pdp->current_cluster;
    if (last != 0) {
        wfs_time end = 0;
        if (get_dir_item_time1(pdp, last, &end) != FS_OK)
            end = pdp->end_time1;
        pdp->end_cluster2 = last;
        pdp->end_time2 = end;
        pdp->start_cluster2 = pdp->rev_clus;  // moved ahead of the first cluster taken
    }
    pdp->current_cluster = 0;  // the next cluster taken starts the pass
}

// Keeps the previous pass an interval ahead of the write position, and
// forgets it (with its collision entries) once it is used up.
void advance_previous_pass(DriverParam *pdp, uint32_t clus)
{
    if (pdp->start_cluster2 == 0)
        return;
    uint64_t ahead = uint64_t(clus) + interval_of(pdp);
    if (ahead < pdp->end_cluster2) {
        pdp->start_cluster2 = static_cast<uint32_t>(ahead);
        wfs_time t = 0;
        if (get_dir_item_time(pdp, pdp->start_cluster2, &t) == FS_OK)
            pdp->start_time2 = t;
    } else {
        pdp->start_cluster2 = pdp->end_cluster2 = 0;
        pdp->start_time2 = pdp->end_time2 = 0;
        collisions_remove_range(pdp, uint64_t(clus) + 1, UINT32_MAX);
    }
}

}  // namespace

// Every writing handle on a full driver closes its recording and goes on,
// in special mode, on the next driver of the ring (the same one when it is
// alone, writing over its oldest recordings).
DriverParam *writer_disk_over(DriverParam *full)
{
    wfs_console("DISK OVER\n");
    wfs_time now = wfs_writer_now();
    FileHandle *hs[WFS_MAX_FILE_HANDLES];
    int n = writer_collect(full, hs, WFS_MAX_FILE_HANDLES);
    for (int i = 0; i < n; ++i) {
        writer_close_at(hs[i], now);
        hs[i]->file_flag = FILE_FLAG_SUSPENDED;
    }
    DriverParam *next = full->next ? full->next : full;
    uint32_t probe = 0;
    // Alone in its ring, the driver starts its next pass; another driver
    // does so only when it is full as well.
    if (next == full || next_writable(next, scan_origin(next), &probe) != FS_OK)
        begin_new_pass(next);
    int type = static_cast<int>(full->driver_type);
    if (type >= 0 && type < DRIVER_TYPE_RINGS && g_work_drivers[type].head != nullptr)
        g_work_drivers[type].head = next;
    for (int i = 0; i < n; ++i) {
        FileHandle *h = hs[i];
        h->pdp = next;
        h->special_mode = 1;
        h->file_flag = FILE_FLAG_WRITE;
        writer_begin_recording(h, now);
    }
    writer_save_driver(full);
    if (next != full)
        writer_mark_busy(next);
    wfs_event("DiskOver", "%u", full->dev);
    return next;
}

uint64_t writer_clusters_left(const DriverParam *pdp)
{
    uint64_t limit = uint64_t(pdp->total_cluster) - pdp->total_cluster / 2097152u;
    uint64_t from = scan_origin(pdp);
    return limit > from + 1 ? limit - from - 1 : 0;
}

void writer_register(FileHandle *h)
{
    for (FileHandle *&slot : g_writers) {
        if (slot == h)
            return;
    }
    for (FileHandle *&slot : g_writers) {
        if (slot == nullptr || !live(slot)) {
            slot = h;
            return;
        }
    }
}

void writer_unregister(FileHandle *h)
{
    for (FileHandle *&slot : g_writers) {
        if (slot == h)
            slot = nullptr;
    }
}

int writer_collect(const DriverParam *pdp, FileHandle **out, int max)
{
    int n = 0;
    for (FileHandle *h : g_writers) {
        if (n < max && live(h) && h->pdp == pdp)
            out[n++] = h;
    }
    return n;
}

int wfs_writer_handles_on(const DriverParam *pdp)
{
    FileHandle *hs[WFS_MAX_FILE_HANDLES];
    return writer_collect(pdp, hs, WFS_MAX_FILE_HANDLES);
}

uint8_t writer_next_repeat_no(void) { return g_repeat_counter++; }

unsigned writer_put_index(DriverParam *pdp, uint32_t clus, uint8_t value, bool flush)
{
    if (pdp->index_offset == 0)
        return FS_NO_INDEX_AREA;
    if (clus >= pdp->total_cluster)
        return FS_BAD_CLUSTER;
    AreaPos p = area_pos(pdp, pdp->index_offset, clus, 1);
    BufferHead *bh = area_bread(pdp, p.sector, DISK_ERR_INDEX);
    if (bh == nullptr)
        return FS_READ_ERROR;
    bh->data[p.offset] = value;
    bh->dirt = 1;
    int rc = flush ? sync_buffer(bh) : 0;
    release_block(bh);
    return rc == 0 ? FS_OK : FS_READ_ERROR;
}

void writer_save_driver(DriverParam *pdp)
{
    if (pdp->collision_dirty && pdp->collision_clusters) {
        BufferHead *bh = getblk(pdp->dev, pdp->start_sector + pdp->collision_offset);
        if (bh != nullptr) {
            std::memset(bh->data, 0, WFS_SECTOR_SIZE);
            encode_collision_sector(pdp->collision_clusters, bh->data);
            bh->uptodate = 1;
            bh->dirt = 1;
            if (sync_buffer_unchecked(bh) == 0)
                pdp->collision_dirty = 0;
            release_block(bh);
        }
    }
    wfs_save_driver_param(pdp);
}

void writer_mark_busy(DriverParam *pdp)
{
    if (pdp->status != 0) {
        pdp->status = 0;
        writer_save_driver(pdp);
    }
}

void writer_mark_idle_if_unused(DriverParam *pdp)
{
    FileHandle *hs[1];
    if (writer_collect(pdp, hs, 1) == 0) {
        pdp->status = PARTITION_STATUS_CLEAN;
        sync_disk_buffers(pdp->dev);
        writer_save_driver(pdp);
    }
}

unsigned set_new_clus(FileHandle *h)
{
    DriverParam *pdp = h->pdp;
    if (pdp == nullptr)
        return FS_NO_EXIST_FILE;
    uint32_t clus = 0;
    unsigned st = next_writable(pdp, scan_origin(pdp), &clus);
    if (st == FS_NOT_FOUND) {
        pdp = writer_disk_over(pdp);
        st = next_writable(pdp, scan_origin(pdp), &clus);
    }
    if (st != FS_OK)
        return st;

    const wfs_time now = wfs_writer_now();
    const uint32_t prev_current = pdp->current_cluster;
    const bool starts_pass = prev_current == 0;
    const bool first = h->first_cluster == 0;

    if (!first) {
        // The cluster before gets its end and its link to the new one.
        uint32_t old = h->cur_cluster;
        if ((st = set_dir_item_end_time(pdp, old, now, 0, false)) != FS_OK ||
            (st = set_dir_item_down_clus(pdp, old, clus, true)) != FS_OK)
            return st;
    }

    dir_item item;
    std::memset(&item, 0, sizeof item);
    item.alarm = h->alarm;
    item.up_cluster_no = first ? 0 : h->cur_cluster;
    item.down_cluster_no = DIR_DOWN_OPEN;
    item.head_sectors = static_cast<uint16_t>(h->head_bytes / WFS_SECTOR_SIZE);
    item.sub_type = h->writer_attr[1] & 7u;
    item.sub_type2 = h->writer_attr[2] & 3u;
    item.keep_flag = h->writer_attr[0] & 1u;
    item.attr_high = (h->writer_attr[0] >> 1) & 3u;
    item.stream_type = h->stream_type;
    item.channel = h->channel & 0x3Fu;
    item.AV = h->av & 3u;
    uint8_t index_flag;
    if (first) {
        item.dir_flag = h->special_mode ? DIR_FLAG_FIRST_SPECIAL : DIR_FLAG_FIRST;
        index_flag = h->special_mode ? INDEX_FLAG_SPECIAL : INDEX_FLAG_FIRST;
        item.item_num = 0;
        item.first_cluster_no = clus;
        item.repeat_no = writer_next_repeat_no();
        item.start_time = h->search_time != 0 ? h->search_time : now;
        h->curr_clus_num = 0;
    } else {
        item.dir_flag = DIR_FLAG_CONT;
        index_flag = INDEX_FLAG_CONT;
        h->curr_clus_num += 1;
        item.item_num = static_cast<uint16_t>(h->curr_clus_num);
        item.first_cluster_no = h->first_cluster;
        item.repeat_no = h->cur_dir_info.repeat_no;
        item.start_time = now;
    }
    item.end_time = item.start_time;

    // A cluster that starts earlier than the newest one of the partition is
    // a time collision (the clock went back); the start of the ring is not.
    if (prev_current != 0 && clus > prev_current)
        collisions_remove_range(pdp, uint64_t(prev_current) + 1, clus);
    else
        collisions_remove_range(pdp, 0, clus);
    if (!starts_pass && pdp->end_time1 != 0 && now < pdp->end_time1 && clus != pdp->rev_clus) {
        char was[24], is[24];
        wfs_trace("time collision at cluster %u: %s after %s\n", clus, wfs_time_format(now, is, sizeof is),
                  wfs_time_format(pdp->end_time1, was, sizeof was));
        collisions_add(pdp, clus);
    }

    if ((st = set_dir_item_info(pdp, clus, &item, true)) != FS_OK)
        return st;
    if (pdp->ext_dir_offset != 0) {
        ext_dir_item ext;
        std::memset(&ext, 0, sizeof ext);
        ext.attr1 = h->writer_attr[3];
        ext.attr2 = h->writer_attr[4];
        set_ext_dir_item(pdp, clus, &ext, true);
    }
    bool flush_index = h->stream_type == 3 || h->stream_type == 4;
    if ((st = writer_put_index(pdp, clus, index_item_make(item.channel, index_flag), flush_index)) != FS_OK)
        return st;

    h->cur_cluster = clus;
    h->cur_offset = 0;
    h->written_sectors[0] = 0;
    h->cur_dir_info = item;
    h->clus_len = pdp->sec_per_clus;
    if (first) {
        h->first_cluster = clus;
        if (h->ud_pending && !h->ud_stored) {
            uint32_t ud_no = 0;
            if (ud_add_item(pdp, clus, h->ud_data, &ud_no) == FS_OK) {
                set_dir_item_up_clus(pdp, clus, ud_no, true);
                h->cur_dir_info.up_cluster_no = ud_no;
                h->ud_stored = 1;
            } else {
                wfs_trace("_set_file_ud() the following user data not write to file first_cluster %d\n",
                          static_cast<int>(clus));
            }
            h->ud_pending = 0;
        }
    } else {
        // Running totals in the first cluster's record.
        set_dir_first_item(pdp, h->first_cluster, 0, static_cast<uint16_t>(h->curr_clus_num), now, true);
    }

    if (starts_pass || pdp->start_time1 == 0 || clus == pdp->rev_clus)
        pdp->start_time1 = item.start_time;
    pdp->current_cluster = clus;
    pdp->end_time1 = now;
    advance_previous_pass(pdp, clus);
    writer_save_driver(pdp);
    build_time_sections(pdp);
    return FS_OK;
}
