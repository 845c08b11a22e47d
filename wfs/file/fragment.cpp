// Surviving clusters of overwritten recordings and their chains, one
// cluster at a time through the block cache.
#include "wfs/file/fragment.h"

#include <cstring>

#include "wfs/volume/layout.h"

namespace {

// Longest chain item_num can number (16 bits).
const uint32_t kMaxChain = 65536;

bool in_data_area(const DriverParam *pdp, uint32_t clus)
{
    return clus != 0 && clus >= pdp->rev_clus && clus < pdp->total_cluster;
}

// The head of the recording a candidate record names, read from its first
// cluster. False when F holds no first cluster; *ok false when it could not
// be read.
bool read_head(DriverParam *pdp, uint32_t first, wfs_head_info *out, bool *ok)
{
    dir_item fi;
    *ok = get_dir_item_info(pdp, first, &fi) == FS_OK;
    if (!*ok || !dir_item_starts_recording(&fi, first))
        return false;
    wfs_head_info_from(&fi, first, out);
    return true;
}

// The upper neighbour of the surviving cluster clus (record item), or 0.
uint32_t upper_neighbour(DriverParam *pdp, uint32_t clus, const dir_item *item)
{
    const uint32_t up = item->up_cluster_no;
    if (!in_data_area(pdp, up))
        return 0;
    dir_item ui;
    if (!fragment_surviving(pdp, up, &ui) || !fragment_linked(up, &ui, clus, item))
        return 0;
    return up;
}

// The lower neighbour of the surviving cluster clus (record item), or 0.
uint32_t lower_neighbour(DriverParam *pdp, uint32_t clus, const dir_item *item, dir_item *down_item)
{
    const uint32_t down = item->down_cluster_no;
    if (!in_data_area(pdp, down))
        return 0;
    if (!fragment_surviving(pdp, down, down_item) || !fragment_linked(clus, item, down, down_item))
        return 0;
    return down;
}

}  // namespace

bool dir_item_starts_recording(const dir_item *item, uint32_t clus)
{
    return item->first_cluster_no == clus &&
           (item->dir_flag == DIR_FLAG_FIRST || item->dir_flag == DIR_FLAG_FIRST_SPECIAL ||
            item->dir_flag == DIR_FLAG_KEPT_FIRST);
}

void wfs_head_info_from(const dir_item *item, uint32_t clus, wfs_head_info *out)
{
    out->clus = clus;
    out->start_time = item->start_time;
    out->item_num = item->item_num;
    out->dir_flag = item->dir_flag;
    out->channel = item->channel;
    out->stream_type = item->stream_type;
    out->av = item->AV;
}

bool fragment_candidate(const DriverParam *pdp, uint32_t clus, const dir_item *item)
{
    const bool continuation = item->dir_flag == DIR_FLAG_CONT0 || item->dir_flag == DIR_FLAG_CONT ||
                              item->dir_flag == DIR_FLAG_KEPT_CONT;
    return continuation && item->item_num >= 1 && item->first_cluster_no != clus &&
           in_data_area(pdp, item->first_cluster_no) && in_data_area(pdp, clus);
}

bool head_owns(const wfs_head_info *head, const dir_item *item)
{
    if (head == nullptr)
        return false;
    if (head->channel != item->channel || head->stream_type != item->stream_type || head->av != item->AV ||
        head->item_num < item->item_num)
        return false;
    // A recording that took F after the ring came round started after every
    // cluster of the old one. A kept first cluster the writer passed over
    // carries the time of that pass instead of its own.
    return head->dir_flag == DIR_FLAG_KEPT_FIRST || head->start_time <= item->start_time;
}

bool fragment_linked(uint32_t a, const dir_item *ia, uint32_t b, const dir_item *ib)
{
    return a != b && ia->down_cluster_no == b && ib->up_cluster_no == a &&
           ia->first_cluster_no == ib->first_cluster_no && ia->channel == ib->channel &&
           ia->stream_type == ib->stream_type && ia->AV == ib->AV &&
           static_cast<uint32_t>(ia->item_num) + 1u == ib->item_num;
}

uint32_t fragment_last_sectors(const dir_item *last, uint32_t sec_per_clus)
{
    const uint32_t n = last->end_length;
    return n != 0 && n < sec_per_clus ? n : sec_per_clus;
}

bool fragment_surviving(DriverParam *pdp, uint32_t clus, dir_item *item)
{
    dir_item it;
    if (!in_data_area(pdp, clus) || get_dir_item_info(pdp, clus, &it) != FS_OK || !fragment_candidate(pdp, clus, &it))
        return false;
    wfs_head_info head;
    bool ok = false;
    const bool has_head = read_head(pdp, it.first_cluster_no, &head, &ok);
    // A first cluster that cannot be read may well still own it.
    if (!ok || head_owns(has_head ? &head : nullptr, &it))
        return false;
    if (item != nullptr)
        *item = it;
    return true;
}

unsigned fragment_find(DriverParam *pdp, uint32_t clus, wfs_fragment *out)
{
    dir_item item;
    if (pdp == nullptr || !fragment_surviving(pdp, clus, &item) || upper_neighbour(pdp, clus, &item) != 0)
        return FS_NO_EXIST_FILE;
    wfs_fragment f;
    std::memset(&f, 0, sizeof f);
    f.first = clus;
    f.lost_first = item.first_cluster_no;
    f.base_item = item.item_num;
    f.start_time = item.start_time;
    f.clusters = 1;
    uint32_t cur = clus;
    dir_item next_item;
    while (f.clusters < kMaxChain) {
        const uint32_t next = lower_neighbour(pdp, cur, &item, &next_item);
        if (next == 0)
            break;
        cur = next;
        item = next_item;
        ++f.clusters;
    }
    f.last = cur;
    f.last_sectors = fragment_last_sectors(&item, pdp->sec_per_clus);
    f.end_time = item.end_time;
    if (out != nullptr)
        *out = f;
    return FS_OK;
}

unsigned fragment_next(DriverParam *pdp, uint32_t from, uint32_t *next)
{
    dir_item item, down;
    if (!fragment_surviving(pdp, from, &item))
        return FS_NOT_FOUND;
    const uint32_t n = lower_neighbour(pdp, from, &item, &down);
    if (n == 0)
        return FS_NOT_FOUND;
    *next = n;
    return FS_OK;
}

unsigned fragment_prev(DriverParam *pdp, uint32_t from, uint32_t *prev)
{
    dir_item item;
    if (!fragment_surviving(pdp, from, &item))
        return FS_NOT_FOUND;
    const uint32_t p = upper_neighbour(pdp, from, &item);
    if (p == 0)
        return FS_NOT_FOUND;
    *prev = p;
    return FS_OK;
}
