// Moving a handle inside its recording by sectors, seconds and time.
#include "wfs/file/seek.h"

#include "wfs/common/log.h"
#include "wfs/volume/layout.h"

namespace {

const char *const kSrcFile = "Src\\file";
enum {
    SITE_MOVETO_LEN = 20,
    SITE_MOVETO_LEN_REL = 21,
    SITE_MOVETO_TIME = 22,
    SITE_MOVE_SECOND = 23,
    SITE_MOVE_SIZE = 24,
    SITE_CUR_TIME = 25,
};

bool positioned(const FileHandle *h)
{
    return h->cur_cluster != 0 && h->pdp != nullptr;
}

bool is_first_cluster(const FileHandle *h)
{
    return h->cur_cluster == h->cur_dir_info.first_cluster_no;
}

// Cluster index and offset of sector position p: a position on a cluster
// boundary stays at the end of the earlier cluster.
void split_position(uint64_t p, uint32_t sec_per_clus, uint64_t *k, uint32_t *offset)
{
    if (p == 0) {
        *k = 0;
        *offset = 0;
        return;
    }
    *k = (p - 1) / sec_per_clus;
    *offset = static_cast<uint32_t>(p - *k * sec_per_clus);
}

// Walks `steps` clusters of what the handle reads from `from`, forward or
// back.
unsigned walk_clusters(FileHandle *h, bool forward, uint32_t from, uint64_t steps, uint32_t *out)
{
    if (steps >= h->pdp->total_cluster)
        return FS_BEYOND_FILE;  // longer than any chain the partition can hold
    uint32_t clus = from;
    for (uint64_t i = 0; i < steps; ++i) {
        uint32_t next = 0;
        const unsigned st = forward ? handle_next_clus(h, clus, &next) : handle_prev_clus(h, clus, &next);
        if (st != FS_OK)
            return FS_BEYOND_FILE;
        clus = next;
    }
    *out = clus;
    return FS_OK;
}

// Loads the cluster a walk reached and sets the offset; on failure the
// handle goes back to the cluster and offset it had.
unsigned settle(FileHandle *h, uint32_t clus, uint32_t offset)
{
    const uint32_t old_cluster = h->cur_cluster;
    const uint32_t old_offset = h->cur_offset;
    unsigned st = file_load_clus(h, clus);
    if (st != FS_OK) {
        if (old_cluster != 0 && file_load_clus(h, old_cluster) == FS_OK)
            h->cur_offset = old_offset;
        return st;
    }
    h->cur_offset = offset;
    wfs_trace("clus_num=%u,offset=%u\n", h->curr_clus_num, offset);
    return FS_OK;
}

}  // namespace

uint32_t wfs_file_cluster_rate(const FileHandle *h)
{
    const dir_item &cur = h->cur_dir_info;
    int64_t d = wfs_time_diff(cur.end_time, cur.start_time);
    if (is_first_cluster(h))
        d /= cur.item_num != 0 ? cur.item_num : 1;
    if (d <= 0)
        d = 1;  // times that run backwards or stand still count as one second
    if (d > 0xFFFFFFFFll)
        d = 0xFFFFFFFFll;
    return static_cast<uint32_t>(d);
}

unsigned wfs_file_moveto_len(FileHandle *h, uint64_t p)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_MOVETO_LEN);
    if (st != FS_OK)
        return st;
    wfs_trace("wfs_file_moveto_len(%llu)\n", static_cast<unsigned long long>(p));
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    uint64_t length = 0;
    st = wfs_get_file_sectors(h, &length);
    if (st != FS_OK)
        return st;
    if (p > length)
        return FS_BEYOND_FILE;
    DriverParam *pdp = h->pdp;
    uint64_t k;
    uint32_t offset;
    split_position(p, pdp->sec_per_clus, &k, &offset);
    const uint32_t first = handle_first_clus(h);
    wfs_trace("fir_clus=%u,cur_clus=%u,down_clus:%u", first, h->cur_cluster, h->cur_dir_info.down_cluster_no);
    uint32_t target = 0;
    st = walk_clusters(h, true, first, k, &target);
    if (st != FS_OK)
        return st;
    return settle(h, target, offset);
}

unsigned wfs_file_moveto_len_relative(FileHandle *h, uint64_t p)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_MOVETO_LEN_REL);
    if (st != FS_OK)
        return st;
    wfs_trace("wfs_file_moveto_len(%llu)\n", static_cast<unsigned long long>(p));
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    DriverParam *pdp = h->pdp;
    uint64_t k;
    uint32_t offset;
    split_position(p, pdp->sec_per_clus, &k, &offset);
    const uint64_t here = h->curr_clus_num;
    uint32_t target = 0;
    if (k < here)
        st = walk_clusters(h, false, h->cur_cluster, here - k, &target);
    else
        st = walk_clusters(h, true, h->cur_cluster, k - here, &target);
    if (st != FS_OK)
        return st;
    return settle(h, target, offset);
}

unsigned wfs_file_moveto_time(FileHandle *h, wfs_time t)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_MOVETO_TIME);
    if (st != FS_OK)
        return st;
    wfs_trace("wfs_file_moveto_time:");
    wfs_time_print(t);
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    wfs_time start = 0, end = 0;
    uint32_t kb = 0;
    st = wfs_get_file_info2(h, &start, &end, &kb);
    if (st != FS_OK)
        return st;
    if (t <= start)
        return wfs_file_moveto_len(h, 0);
    if (t >= end) {
        uint64_t length = 0;
        st = wfs_get_file_sectors(h, &length);
        if (st != FS_OK)
            return st;
        return wfs_file_moveto_len(h, length);
    }

    // Find the last cluster that was opened before t: walk the recording
    // until a cluster starts at or after t and take the one before it.
    const uint32_t old_cluster = h->cur_cluster;
    const uint32_t old_offset = h->cur_offset;
    DriverParam *pdp = h->pdp;
    uint32_t clus = handle_first_clus(h);
    st = file_load_clus(h, clus);
    if (st != FS_OK) {
        settle(h, old_cluster, old_offset);
        return st;
    }
    uint32_t prev = 0;
    for (uint32_t steps = 0; t > h->cur_dir_info.start_time; ++steps) {
        uint32_t next = 0;
        if (steps >= pdp->total_cluster ||
            handle_next_clus(h, h->cur_cluster, &next) != FS_OK) {
            prev = 0;  // end of the chain: the cluster loaded last is the one
            break;
        }
        prev = h->cur_cluster;
        st = file_load_clus(h, next);
        if (st != FS_OK) {
            settle(h, old_cluster, old_offset);
            return st;
        }
    }
    if (prev != 0) {
        st = file_load_clus(h, prev);
        if (st != FS_OK) {
            settle(h, old_cluster, old_offset);
            return st;
        }
    }

    const uint32_t d = wfs_file_cluster_rate(h);
    int64_t e = wfs_time_diff(t, h->cur_dir_info.start_time);
    if (e < 0)
        e = 0;
    uint64_t offset = static_cast<uint64_t>(e) * h->clus_len / d;
    offset -= offset % WFS_TIME_STEP_SECTORS;
    if (offset > h->clus_len)
        offset = h->clus_len;
    h->cur_offset = static_cast<uint32_t>(offset);
    wfs_trace("wfs_file_moveto_time %u/%u s, sectors = %u\n", d, static_cast<unsigned>(e), h->cur_offset);
    return FS_OK;
}

unsigned wfs_file_move_size(FileHandle *h, int dir, uint64_t n)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_MOVE_SIZE);
    if (st != FS_OK)
        return st;
    wfs_trace("wfs_file_move_size(%u,%llu)\n", static_cast<unsigned>(dir), static_cast<unsigned long long>(n));
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    const uint64_t c = static_cast<uint64_t>(h->curr_clus_num) * h->pdp->sec_per_clus + h->cur_offset;
    wfs_trace("curr_sector=%llu\n", static_cast<unsigned long long>(c));
    if (dir == 0)
        return wfs_file_moveto_len(h, c + n);
    return wfs_file_moveto_len(h, n < c ? c - n : 0);
}

unsigned wfs_file_move_second(FileHandle *h, int dir, uint32_t seconds)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_MOVE_SECOND);
    if (st != FS_OK)
        return st;
    wfs_trace("wfs_file_move_second(%u,%u)\n", static_cast<unsigned>(dir), seconds);
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    const uint32_t d = wfs_file_cluster_rate(h);
    wfs_trace("curr_item total time =%u\n", d);
    wfs_file_move_size(h, dir, static_cast<uint64_t>(seconds) * h->pdp->sec_per_clus / d);
    return FS_OK;
}

unsigned wfs_file_cur_time(FileHandle *h, wfs_time *out)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_CUR_TIME);
    if (st != FS_OK)
        return st;
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    const dir_item &cur = h->cur_dir_info;
    wfs_trace("current clus start time-end time:%llds\n",
              static_cast<long long>(wfs_time_diff(cur.end_time, cur.start_time)));
    const uint32_t d = wfs_file_cluster_rate(h);
    wfs_trace("current clus total second:%us\n", d);
    const uint32_t len = h->clus_len != 0 ? h->clus_len : 1;
    const uint64_t o = static_cast<uint64_t>(d) * h->cur_offset / len;
    wfs_trace("current clus offset second:%us\n", static_cast<unsigned>(o));
    if (out != nullptr)
        *out = wfs_time_add(h->cur_dir_info.start_time, static_cast<int64_t>(o));
    return FS_OK;
}
