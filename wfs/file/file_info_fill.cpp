// File-info records from the directory item of a recording's first cluster.
#include <cstring>

#include "wfs/common/log.h"
#include "wfs/file/file_info.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"
#include "wfs/volume/layout.h"

// Length in KB of a recording, from its first cluster's item. A length
// beyond 32 bits of KB is cut to the largest value.
static uint32_t length_kb(const dir_item *item, uint32_t sec_per_clus)
{
    uint64_t kb = dir_item_length_sectors(item, sec_per_clus) >> 1;
    return kb > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(kb);
}

void fill_file_info_v2_from(DriverParam *pdp, uint32_t clus, const dir_item *item, file_info_v2 *out)
{
    out->channel = item->channel;
    out->alarm = item->alarm;
    out->av = item->AV;
    out->repeat_no = item->repeat_no;
    out->disk = static_cast<uint8_t>(pdp->dev);
    out->part = static_cast<uint8_t>(pdp->part);
    out->sub_type = item->sub_type;
    out->type_bits = static_cast<uint8_t>((dir_item_attr_bits(item) << 4) | (item->stream_type & 0x0Fu));
    out->start_time = item->start_time;
    out->end_time = item->end_time;
    out->file_len = length_kb(item, pdp->sec_per_clus);
    out->up_cluster_no = item->up_cluster_no;
    out->first_cluster_no = item->first_cluster_no;
    out->sub_type2 = item->sub_type2;
    ext_dir_item ext;
    if (get_ext_dir_item(pdp, clus, &ext) == FS_OK) {
        out->ext_attr1 = ext.attr1;
        out->ext_attr2 = ext.attr2;
        out->ext_mask = ext.mask;
    } else {
        out->ext_attr1 = EXT_ATTR1_DEFAULT;
        out->ext_attr2 = EXT_ATTR2_DEFAULT;  // the mask is left as the caller had it
    }
}

unsigned fill_file_info_v2(DriverParam *pdp, uint32_t clus, file_info_v2 *out)
{
    if (clus > pdp->total_cluster) {
        wfs_warn("GET_DIR_ITEM(%d %u %s) failed!!!!!!!!!!!!\n", static_cast<int>(pdp->dev), clus, "fill_file_info_v2");
        return FS_BAD_CLUSTER;
    }
    dir_item item;
    unsigned st = get_dir_item_info(pdp, clus, &item);
    if (st != FS_OK)
        return st;
    fill_file_info_v2_from(pdp, clus, &item, out);
    return FS_OK;
}

unsigned fill_file_info(DriverParam *pdp, uint32_t clus, file_info *out)
{
    if (clus > pdp->total_cluster) {
        wfs_warn("GET_DIR_ITEM(%d %u %s) failed!!!!!!!!!!!!\n", static_cast<int>(pdp->dev), clus, "fill_file_info");
        return FS_BAD_CLUSTER;
    }
    dir_item item;
    unsigned st = get_dir_item_info(pdp, clus, &item);
    if (st != FS_OK)
        return st;
    out->channel = item.channel;
    out->alarm = item.alarm;
    out->sub_type = item.sub_type;
    out->av = item.AV;
    out->stream_type = item.stream_type;
    out->repeat_no = item.repeat_no;
    out->start_time = item.start_time;
    out->end_time = item.end_time;
    out->file_len = length_kb(&item, pdp->sec_per_clus);
    out->disk = pdp->dev;
    out->part = pdp->part;
    out->first_cluster_no = item.first_cluster_no;
    out->up_cluster_no = item.up_cluster_no;
    std::memset(out->user_data, 0, sizeof out->user_data);
    if ((item.alarm & 3u) != 0)
        ud_get_item(pdp, item.up_cluster_no, item.first_cluster_no, out->user_data);
    return FS_OK;
}
