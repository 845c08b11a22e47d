// Decoding and encoding of the per-cluster directory, extended directory
// and user-data records, and the cluster predicates.
#include "wfs/common/bytes.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"

// dir_item byte offsets.
#define DI_ALARM 0           // u8   recording type code
#define DI_DIR_FLAG 1        // u8   cluster role
#define DI_ITEM_NUM 2        // u16  cluster index / last index
#define DI_UP_CLUS 4         // u32  previous cluster / user-data item
#define DI_DOWN_CLUS 8       // u32  next cluster / 0 / 0xFFFFFFFF
#define DI_START_TIME 12     // u32  wfs_time
#define DI_END_TIME 16       // u32  wfs_time
#define DI_HEAD_SECTORS 20   // u16  stream-header sectors
#define DI_END_LENGTH 22     // u16  sectors used in the last cluster
#define DI_FIRST_CLUS 24     // u32  first cluster of the recording
#define DI_ATTR 28           // u8   sub_type 0-2, sub_type2 3-4, keep 5, 6-7 carried
#define DI_STREAM_TYPE 29    // u8
#define DI_REPEAT_NO 30      // u8
#define DI_CHAN_AV 31        // u8   channel 2-7, AV 0-1

// ext_dir_item byte offsets.
#define EXT_ATTR1 0  // u8
#define EXT_ATTR2 1  // u8
#define EXT_MASK 4   // u32

// ud_item byte offsets.
#define UD_DATA 0         // 12 bytes: card number, kind, generation
#define UD_FIRST_CLUS 12  // u32

void dir_item_decode(const uint8_t *raw, dir_item *out)
{
    out->alarm = raw[DI_ALARM];
    out->dir_flag = raw[DI_DIR_FLAG];
    out->item_num = ld_16(raw + DI_ITEM_NUM);
    out->up_cluster_no = ld_32(raw + DI_UP_CLUS);
    out->down_cluster_no = ld_32(raw + DI_DOWN_CLUS);
    out->start_time = ld_32(raw + DI_START_TIME);
    out->end_time = ld_32(raw + DI_END_TIME);
    out->head_sectors = ld_16(raw + DI_HEAD_SECTORS);
    out->end_length = ld_16(raw + DI_END_LENGTH);
    out->first_cluster_no = ld_32(raw + DI_FIRST_CLUS);
    uint8_t attr = raw[DI_ATTR];
    out->sub_type = attr & 0x07u;
    out->sub_type2 = (attr >> 3) & 0x03u;
    out->keep_flag = (attr >> 5) & 0x01u;
    out->attr_high = (attr >> 6) & 0x03u;
    out->stream_type = raw[DI_STREAM_TYPE];
    out->repeat_no = raw[DI_REPEAT_NO];
    out->channel = raw[DI_CHAN_AV] >> 2;
    out->AV = raw[DI_CHAN_AV] & 0x03u;
}

void dir_item_encode(const dir_item *item, uint8_t *raw)
{
    raw[DI_ALARM] = item->alarm;
    raw[DI_DIR_FLAG] = item->dir_flag;
    st_16(raw + DI_ITEM_NUM, item->item_num);
    st_32(raw + DI_UP_CLUS, item->up_cluster_no);
    st_32(raw + DI_DOWN_CLUS, item->down_cluster_no);
    st_32(raw + DI_START_TIME, item->start_time);
    st_32(raw + DI_END_TIME, item->end_time);
    st_16(raw + DI_HEAD_SECTORS, item->head_sectors);
    st_16(raw + DI_END_LENGTH, item->end_length);
    st_32(raw + DI_FIRST_CLUS, item->first_cluster_no);
    raw[DI_ATTR] = static_cast<uint8_t>((item->sub_type & 0x07u) | ((item->sub_type2 & 0x03u) << 3) |
                                        ((item->keep_flag & 0x01u) << 5) | ((item->attr_high & 0x03u) << 6));
    raw[DI_STREAM_TYPE] = item->stream_type;
    raw[DI_REPEAT_NO] = item->repeat_no;
    raw[DI_CHAN_AV] = static_cast<uint8_t>(((item->channel & 0x3Fu) << 2) | (item->AV & 0x03u));
}

uint64_t dir_item_length_sectors(const dir_item *first, uint32_t sec_per_clus)
{
    return static_cast<uint64_t>(first->item_num) * sec_per_clus + first->end_length;
}

void ext_dir_item_decode(const uint8_t *raw, ext_dir_item *out)
{
    out->attr1 = raw[EXT_ATTR1];
    out->attr2 = raw[EXT_ATTR2];
    out->mask = ld_32(raw + EXT_MASK);
}

void ext_dir_item_encode(const ext_dir_item *item, uint8_t *raw)
{
    for (unsigned i = 0; i < DIR_ITEM_SIZE; ++i)
        raw[i] = 0;
    raw[EXT_ATTR1] = item->attr1;
    raw[EXT_ATTR2] = item->attr2;
    st_32(raw + EXT_MASK, item->mask);
}

void ud_item_decode(const uint8_t *raw, ud_item *out)
{
    for (unsigned i = 0; i < UD_DATA_SIZE; ++i)
        out->data[i] = raw[UD_DATA + i];
    out->first_cluster_no = ld_32(raw + UD_FIRST_CLUS);
}

void ud_item_encode(const ud_item *item, uint8_t *raw)
{
    for (unsigned i = 0; i < UD_DATA_SIZE; ++i)
        raw[UD_DATA + i] = item->data[i];
    st_32(raw + UD_FIRST_CLUS, item->first_cluster_no);
}

unsigned index_flag_for_dir_flag(unsigned dir_flag)
{
    switch (dir_flag) {
    case DIR_FLAG_CONT0:
    case DIR_FLAG_CONT:
        return INDEX_FLAG_CONT;
    case DIR_FLAG_FIRST:
        return INDEX_FLAG_FIRST;
    case DIR_FLAG_FIRST_SPECIAL:
        return INDEX_FLAG_SPECIAL;
    default:
        return INDEX_FLAG_RESERVED;
    }
}

static bool kept(const dir_item *item) { return item != nullptr && item->keep_flag != 0; }

bool clus_pred_in_use(uint8_t index_byte, const dir_item *item)
{
    return index_item_flag(index_byte) != INDEX_FLAG_RESERVED || kept(item);
}

bool clus_pred_continuation(uint8_t index_byte, const dir_item *item)
{
    unsigned flag = index_item_flag(index_byte);
    if (flag == INDEX_FLAG_CONT)
        return true;
    return flag == INDEX_FLAG_RESERVED && kept(item) &&
           (item->dir_flag == DIR_FLAG_CONT || item->dir_flag == DIR_FLAG_KEPT_CONT);
}

bool clus_pred_record_start(uint8_t index_byte, const dir_item *item)
{
    unsigned flag = index_item_flag(index_byte);
    if (flag == INDEX_FLAG_SPECIAL || flag == INDEX_FLAG_FIRST)
        return true;
    return flag == INDEX_FLAG_RESERVED && kept(item) &&
           (item->dir_flag == DIR_FLAG_CONT || item->dir_flag == DIR_FLAG_FIRST ||
            item->dir_flag == DIR_FLAG_KEPT_FIRST);
}
