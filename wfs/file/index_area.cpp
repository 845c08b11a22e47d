// The index area (one byte per cluster: channel and state), the cluster
// predicates over it, the index scanner and the rebuild of the index from
// the directory.
#include "wfs/common/log.h"
#include "wfs/file/area_io.h"
#include "wfs/file/records.h"
#include "wfs/volume/disk_error.h"

unsigned get_index_item(DriverParam *pdp, uint32_t clus, uint8_t *out)
{
    if (pdp->index_offset == 0)
        return FS_NO_INDEX_AREA;
    if (clus > pdp->total_cluster)
        return FS_BAD_CLUSTER;
    AreaPos p = area_pos(pdp, pdp->index_offset, clus, 1);
    BufferHead *bh = area_bread(pdp, p.sector, DISK_ERR_INDEX);
    if (bh == nullptr)
        return FS_READ_ERROR;
    *out = bh->data[p.offset];
    release_block(bh);
    return FS_OK;
}

static unsigned write_index_byte(DriverParam *pdp, uint32_t clus, uint8_t value, bool flush)
{
    AreaPos p = area_pos(pdp, pdp->index_offset, clus, 1);
    BufferHead *bh = area_bread(pdp, p.sector, DISK_ERR_INDEX);
    if (bh == nullptr)
        return FS_READ_ERROR;
    if (bh->data[p.offset] != value) {
        bh->data[p.offset] = value;
        bh->dirt = 1;
    }
    int rc = flush ? sync_buffer(bh) : 0;
    release_block(bh);
    return rc == 0 ? FS_OK : FS_READ_ERROR;
}

unsigned set_index_item_info(DriverParam *pdp, uint32_t clus, uint8_t value, bool flush)
{
    uint8_t cur = 0;
    unsigned st = get_index_item(pdp, clus, &cur);
    if (st != FS_OK)
        return st;
    dir_item item;
    const dir_item *pitem = nullptr;
    if (index_item_flag(cur) == INDEX_FLAG_RESERVED) {
        st = get_dir_item_info(pdp, clus, &item);
        if (st != FS_OK)
            return st;
        pitem = &item;
    }
    if (!clus_pred_in_use(cur, pitem))
        return FS_OK;  // a cluster that is not in use keeps its byte
    return write_index_byte(pdp, clus, value, flush);
}

// ---------------------------------------------------------------- scanner

namespace {

// Walks the index byte by byte, keeping the current sector's buffer.
struct IndexCursor {
    DriverParam *pdp;
    BufferHead *bh = nullptr;
    uint64_t sector = 0;

    explicit IndexCursor(DriverParam *p) : pdp(p) {}
    ~IndexCursor() { release_block(bh); }

    unsigned get(uint32_t clus, uint8_t *out)
    {
        AreaPos p = area_pos(pdp, pdp->index_offset, clus, 1);
        if (bh == nullptr || sector != p.sector) {
            release_block(bh);
            bh = area_bread(pdp, p.sector, DISK_ERR_INDEX);
            if (bh == nullptr)
                return FS_READ_ERROR;
            sector = p.sector;
        }
        *out = bh->data[p.offset];
        return FS_OK;
    }
};

bool channel_matches(uint8_t index_byte, uint8_t ch)
{
    return ch == INDEX_ANY_CHANNEL || index_item_channel(index_byte) == ch;
}

bool is_backward(int mode)
{
    return mode == INDEX_SEARCH_BACK_IN_USE || mode == INDEX_SEARCH_BACK_START || mode == INDEX_SEARCH_PREV_CLUS ||
           mode == INDEX_SEARCH_BACK_FROM;
}

// The item of a cluster with flag 3 (the predicates need its keep_flag);
// null for other flags. A failed read counts as "not kept".
const dir_item *item_if_reserved(DriverParam *pdp, uint32_t clus, uint8_t b, dir_item *buf)
{
    if (index_item_flag(b) != INDEX_FLAG_RESERVED)
        return nullptr;
    return get_dir_item_info(pdp, clus, buf) == FS_OK ? buf : nullptr;
}

// Writer scan: passes over flag-3 clusters, marking kept ones as passed
// over and resetting bad ones.
unsigned writer_pass_over(DriverParam *pdp, uint32_t clus)
{
    dir_item item;
    unsigned st = get_dir_item_info(pdp, clus, &item);
    if (st != FS_OK)
        return st;
    if (item.keep_flag) {
        item.dir_flag = item.dir_flag == DIR_FLAG_FIRST ? DIR_FLAG_KEPT_FIRST : DIR_FLAG_KEPT_CONT;
    } else {
        wfs_trace("jump over bad cluster, dev = %d, clus = %d\n", static_cast<int>(pdp->dev), static_cast<int>(clus));
        item.dir_flag = DIR_FLAG_FIRST;
        item.first_cluster_no = clus;
    }
    wfs_time now = wfs_time_now();
    item.start_time = now;
    item.end_time = now;
    return set_dir_item_info(pdp, clus, &item, false);
}

}  // namespace

unsigned index_search(DriverParam *pdp, int mode, uint32_t from, uint32_t bound, uint32_t *out, uint8_t ch)
{
    if (pdp->index_offset == 0)
        return FS_NO_INDEX_AREA;
    if (pdp->total_cluster == 0)
        return FS_NOT_FOUND;
    const bool backward = is_backward(mode);
    const uint32_t last_valid = pdp->total_cluster - 1;

    // The range [lo, hi] the scan may visit.
    uint64_t lo, hi;
    if (mode == INDEX_SEARCH_WRITER_NEXT) {
        lo = from;
        hi = bound != 0 ? bound : last_valid;
        uint64_t limit = static_cast<uint64_t>(pdp->total_cluster) - pdp->total_cluster / 2097152u;
        if (limit == 0)
            return FS_NOT_FOUND;
        if (hi > limit - 1)
            hi = limit - 1;
    } else if (bound != 0) {
        lo = backward ? bound : from;
        hi = backward ? from : bound;
    } else if (from > pdp->current_cluster) {
        lo = static_cast<uint64_t>(pdp->current_cluster) + 1;  // older recordings behind the write position
        hi = pdp->end_cluster2;
    } else {
        lo = pdp->rev_clus;  // newer recordings
        hi = pdp->current_cluster;
    }
    if (hi > last_valid)
        hi = last_valid;

    IndexCursor cur(pdp);
    uint8_t start_byte = 0;
    dir_item start_item{};
    bool start_item_ok = false;
    unsigned st;

    // The start cluster, for the modes that look at it.
    if (mode == INDEX_SEARCH_NEXT_CLUS || mode == INDEX_SEARCH_PREV_CLUS || mode == INDEX_SEARCH_BACK_FROM) {
        if (from > last_valid)
            return FS_NOT_FOUND;
        if ((st = cur.get(from, &start_byte)) != FS_OK)
            return st;
        st = get_dir_item_info(pdp, from, &start_item);
        if (st != FS_OK)
            return st;
        start_item_ok = true;
        const dir_item *res = index_item_flag(start_byte) == INDEX_FLAG_RESERVED ? &start_item : nullptr;
        if (mode == INDEX_SEARCH_PREV_CLUS && !clus_pred_continuation(start_byte, res))
            return FS_AT_START;
        if (mode == INDEX_SEARCH_BACK_FROM && clus_pred_record_start(start_byte, res) &&
            channel_matches(start_byte, ch))
            return FS_AT_START;
    }
    const unsigned start_channel = index_item_channel(start_byte);

    int64_t step = backward ? -1 : 1;
    int64_t c = static_cast<int64_t>(from) + step;
    for (; c >= static_cast<int64_t>(lo) && c <= static_cast<int64_t>(hi); c += step) {
        uint32_t clus = static_cast<uint32_t>(c);
        uint8_t b = 0;
        if ((st = cur.get(clus, &b)) != FS_OK)
            return st;
        dir_item buf;
        switch (mode) {
        case INDEX_SEARCH_IN_USE:
        case INDEX_SEARCH_BACK_IN_USE:
        case INDEX_SEARCH_BACK_FROM:
            if (channel_matches(b, ch) && clus_pred_in_use(b, item_if_reserved(pdp, clus, b, &buf))) {
                *out = clus;
                return FS_OK;
            }
            break;
        case INDEX_SEARCH_START:
        case INDEX_SEARCH_BACK_START:
            if (channel_matches(b, ch) && clus_pred_record_start(b, item_if_reserved(pdp, clus, b, &buf))) {
                *out = clus;
                return FS_OK;
            }
            break;
        case INDEX_SEARCH_ANY_START:
            if (clus_pred_record_start(b, item_if_reserved(pdp, clus, b, &buf))) {
                *out = clus;
                return FS_OK;
            }
            break;
        case INDEX_SEARCH_CHANNEL:
            if (channel_matches(b, ch)) {
                if (index_item_flag(b) == INDEX_FLAG_FIRST)
                    return FS_AT_START;
                *out = clus;
                return FS_OK;
            }
            break;
        case INDEX_SEARCH_RESERVED:
            if (index_item_flag(b) == INDEX_FLAG_RESERVED) {
                *out = clus;
                return FS_OK;
            }
            break;
        case INDEX_SEARCH_NEXT_CLUS: {
            if (index_item_channel(b) != start_channel)
                break;
            const dir_item *res = item_if_reserved(pdp, clus, b, &buf);
            if (!clus_pred_in_use(b, res))
                break;
            dir_item item;
            if ((st = get_dir_item_info(pdp, clus, &item)) != FS_OK)
                return st;
            if (!start_item_ok || item.stream_type != start_item.stream_type)
                break;
            if (clus_pred_continuation(b, res)) {
                *out = clus;
                return FS_OK;
            }
            return FS_NOT_FOUND;  // a new recording of the channel begins: this one has ended
        }
        case INDEX_SEARCH_PREV_CLUS: {
            if (!channel_matches(b, ch))
                break;
            if (!clus_pred_in_use(b, item_if_reserved(pdp, clus, b, &buf)))
                break;
            dir_item item;
            if ((st = get_dir_item_info(pdp, clus, &item)) != FS_OK)
                return st;
            if (item.stream_type == start_item.stream_type) {
                *out = clus;
                return FS_OK;
            }
            break;
        }
        case INDEX_SEARCH_WRITER_NEXT:
            if (index_item_flag(b) != INDEX_FLAG_RESERVED) {
                *out = clus;
                return FS_OK;
            }
            if ((st = writer_pass_over(pdp, clus)) != FS_OK)
                return st;
            break;
        default:
            return FS_NOT_FOUND;
        }
    }
    return FS_NOT_FOUND;
}

// ---------------------------------------------------------------- rebuild

unsigned restore_clus_index_range(DriverParam *pdp, uint32_t first, uint32_t last)
{
    if (pdp->index_offset == 0)
        return FS_NO_INDEX_AREA;
    if (pdp->total_cluster == 0)
        return FS_OK;
    if (first < pdp->rev_clus)
        first = pdp->rev_clus;
    if (last > pdp->total_cluster - 1)
        last = pdp->total_cluster - 1;
    for (uint64_t c = first; c <= last; ++c) {
        uint32_t clus = static_cast<uint32_t>(c);
        dir_item item;
        unsigned st = get_dir_item_info(pdp, clus, &item);
        if (st != FS_OK)
            return st;
        unsigned flag = index_flag_for_dir_flag(item.dir_flag);
        if (flag == INDEX_FLAG_RESERVED && !item.keep_flag)
            wfs_trace("restore_clus_index: set bad clus %u\n", clus);
        st = write_index_byte(pdp, clus, index_item_make(item.channel, flag), false);
        if (st != FS_OK)
            return st;
    }
    return FS_OK;
}

// The rebuild starts at the index restore point (the current cluster at the
// partition's last save) when it lies within [rev_clus, current_cluster];
// otherwise at the saved current cluster, and failing that at the current
// cluster itself. At most this many clusters are rebuilt.
static const uint32_t kMaxRestoreClusters = 65536;

unsigned restore_clus_index(DriverParam *pdp)
{
    uint32_t cur = pdp->current_cluster;
    if (cur == 0 || pdp->total_cluster == 0)
        return FS_OK;
    uint32_t first = cur;
    int32_t rp = pdp->index_restore_point;
    if (rp >= 0 && static_cast<uint32_t>(rp) >= pdp->rev_clus && static_cast<uint32_t>(rp) <= cur)
        first = static_cast<uint32_t>(rp);
    else if (pdp->saved_current_cluster >= pdp->rev_clus && pdp->saved_current_cluster <= cur)
        first = pdp->saved_current_cluster;
    if (cur - first > kMaxRestoreClusters)
        first = cur - kMaxRestoreClusters;
    return restore_clus_index_range(pdp, first, cur);
}
