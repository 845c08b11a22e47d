// Stepping from one cluster of a recording to the next or the previous one.
//
// Readers follow the index: the next cluster of a recording is the next
// cluster of its channel and stream type that the index marks as a
// continuation. The index scan stays inside one stretch of the ring,
// though, and a recording that was being written when the writer came to
// the end of the ring continues at its start. There, and only there, the
// directory's chain link is followed instead, once it checks out as the
// same recording's neighbouring cluster.
//
// A fragment of an overwritten recording has no first cluster to start an
// index walk from: it is read along its surviving chain (fragment.h).
#include "wfs/common/log.h"
#include "wfs/file/handle.h"
#include "wfs/volume/layout.h"

namespace {

// Whether `link`, named by the chain link of `from`, really is the next
// (forward) or previous cluster of from's recording.
bool verified_link(DriverParam *pdp, uint32_t from, const dir_item &from_item, uint32_t link, bool forward)
{
    if (link == 0 || link == DIR_DOWN_OPEN || link == from || link < pdp->rev_clus || link >= pdp->total_cluster)
        return false;
    uint8_t from_index = 0, link_index = 0;
    dir_item item;
    if (get_index_item(pdp, from, &from_index) != FS_OK || get_index_item(pdp, link, &link_index) != FS_OK ||
        get_dir_item_info(pdp, link, &item) != FS_OK)
        return false;
    if (index_item_channel(link_index) != index_item_channel(from_index) || !clus_pred_in_use(link_index, &item))
        return false;
    if (item.first_cluster_no != from_item.first_cluster_no || item.stream_type != from_item.stream_type)
        return false;
    const bool from_first = from == from_item.first_cluster_no;
    if (forward)
        return clus_pred_continuation(link_index, &item) &&
               item.item_num == (from_first ? 1u : from_item.item_num + 1u);
    if (from_first)
        return false;
    if (link == item.first_cluster_no)
        return from_item.item_num == 1;
    return clus_pred_continuation(link_index, &item) && item.item_num + 1u == from_item.item_num;
}

}  // namespace

unsigned file_next_clus(DriverParam *pdp, uint32_t from, uint8_t ch, uint32_t *next)
{
    const unsigned st = index_search(pdp, INDEX_SEARCH_NEXT_CLUS, from, 0, next, ch);
    if (st == FS_OK || st == FS_NO_INDEX_AREA)
        return st;
    dir_item item;
    if (get_dir_item_info(pdp, from, &item) != FS_OK)
        return st;
    const uint32_t link = item.down_cluster_no;
    if (link >= from || !verified_link(pdp, from, item, link, true))
        return st;
    wfs_trace("file_next_clus: %u continues at %u behind the ring's end\n", from, link);
    *next = link;
    return FS_OK;
}

unsigned file_prev_clus(DriverParam *pdp, uint32_t from, uint8_t ch, uint32_t *prev)
{
    const unsigned st = index_search(pdp, INDEX_SEARCH_PREV_CLUS, from, 0, prev, ch);
    if (st == FS_OK || st == FS_NO_INDEX_AREA)
        return st;
    dir_item item;
    if (get_dir_item_info(pdp, from, &item) != FS_OK)
        return st;
    const uint32_t link = item.up_cluster_no;
    if (link <= from || !verified_link(pdp, from, item, link, false))
        return st;
    wfs_trace("file_prev_clus: %u continues at %u before the ring's start\n", from, link);
    *prev = link;
    return FS_OK;
}

unsigned handle_next_clus(FileHandle *h, uint32_t from, uint32_t *next)
{
    if (h->frag.first == 0)
        return file_next_clus(h->pdp, from, h->channel, next);
    // A fragment ends with its last surviving cluster even when that
    // cluster's links lead on.
    if (from == h->frag.last)
        return FS_NOT_FOUND;
    return fragment_next(h->pdp, from, next);
}

unsigned handle_prev_clus(FileHandle *h, uint32_t from, uint32_t *prev)
{
    if (h->frag.first == 0)
        return file_prev_clus(h->pdp, from, h->channel, prev);
    if (from == h->frag.first)
        return FS_NOT_FOUND;
    return fragment_prev(h->pdp, from, prev);
}

uint32_t handle_first_clus(const FileHandle *h)
{
    return h->frag.first != 0 ? h->frag.first : h->cur_dir_info.first_cluster_no;
}
