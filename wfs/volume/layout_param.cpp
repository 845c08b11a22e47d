// The partition parameter block, the collision sector and the face-library
// record.
#include <cstring>

#include "wfs/common/bytes.h"
#include "wfs/volume/layout.h"

// Byte ranges carried through unchanged.
#define PP_CARRIED_10 10    // 2 bytes
#define PP_CARRIED_192 192  // 32 bytes
#define PP_CARRIED_272 272  // 52 bytes
// Reserved words.
#define PP_RESERVED_0 0
#define PP_RESERVED_4 4
#define PP_RESERVED_80 80
#define PP_RESERVED_136 136
#define PP_RESERVED_180 180
#define PP_RESERVED_232 232
#define PP_RESERVED_252 252
#define PP_RESERVED_268 268

int decode_partition_param(const uint8_t *s, DriverParam *p)
{
    p->reserved_0 = ld_32(s + PP_RESERVED_0);
    p->reserved_4 = ld_32(s + PP_RESERVED_4);
    p->generation = s[PP_GENERATION];
    p->collision_dirty = s[PP_COLLISION_DIRTY];
    std::memcpy(p->carried_10, s + PP_CARRIED_10, sizeof p->carried_10);
    p->status = ld_32(s + PP_STATUS);
    p->start_time1 = ld_32(s + PP_START_TIME1);
    p->end_time1 = ld_32(s + PP_END_TIME1);
    p->current_cluster = ld_32(s + PP_CURRENT_CLUSTER);
    p->start_cluster2 = ld_32(s + PP_START_CLUSTER2);
    p->end_cluster2 = ld_32(s + PP_END_CLUSTER2);
    p->start_time2 = ld_32(s + PP_START_TIME2);
    p->end_time2 = ld_32(s + PP_END_TIME2);
    p->bytes_per_sector = ld_32(s + PP_BYTES_PER_SECTOR);
    p->sec_per_clus = ld_32(s + PP_SEC_PER_CLUS);
    p->ext_dir_offset = ld_32(s + PP_EXT_DIR_OFFSET);
    p->rev_clus = ld_32(s + PP_REV_CLUS);
    p->index_offset = ld_32(s + PP_INDEX_OFFSET);
    p->temp_off = ld_32(s + PP_TEMP_OFF);
    p->dir_offset = ld_32(s + PP_DIR_OFFSET);
    p->data_offset = ld_32(s + PP_DATA_OFFSET);
    p->total_cluster = ld_32(s + PP_TOTAL_CLUSTER);
    p->reserved_80 = ld_32(s + PP_RESERVED_80);
    p->driver_type = ld_32(s + PP_DRIVER_TYPE);
    p->ud_offset = ld_32(s + PP_UD_OFFSET);
    p->ud_area_word = ld_32(s + PP_UD_AREA_WORD);
    p->ud_item_count = ld_32(s + PP_UD_ITEM_COUNT);
    p->ud_first_item = ld_32(s + PP_UD_FIRST_ITEM);
    p->ud_last_item = ld_32(s + PP_UD_LAST_ITEM);
    p->dev = ld_32(s + PP_DEV);
    p->saved_current_cluster = ld_32(s + PP_SAVED_CURRENT_CLUSTER);
    p->index_restore_point = static_cast<int32_t>(ld_32(s + PP_INDEX_RESTORE_POINT));
    p->reserved_136 = ld_32(s + PP_RESERVED_136);
    p->part = ld_32(s + PP_PART);
    p->extra_area_offset = ld_32(s + PP_EXTRA_AREA_OFFSET);
    p->extra_area_size = ld_32(s + PP_EXTRA_AREA_SIZE);
    p->bad_status = ld_32(s + PP_BAD_STATUS);
    p->collision_offset = ld_32(s + PP_COLLISION_OFFSET);
    p->collision_count = ld_32(s + PP_COLLISION_COUNT);
    p->collision_split = ld_32(s + PP_COLLISION_SPLIT);
    p->sys_area_end = ld_32(s + PP_SYS_AREA_END);
    p->reserved_180 = ld_32(s + PP_RESERVED_180);
    p->extra_area2_offset = ld_32(s + PP_EXTRA_AREA2_OFFSET);
    p->extra_area2_size = ld_32(s + PP_EXTRA_AREA2_SIZE);
    std::memcpy(p->carried_192, s + PP_CARRIED_192, sizeof p->carried_192);
    p->start_sector = ld_64(s + PP_START_SECTOR);
    p->reserved_232 = ld_32(s + PP_RESERVED_232);
    p->backdir_offset = ld_32(s + PP_BACKDIR_OFFSET);
    p->face_lib_param_offset = ld_32(s + PP_FACE_LIB_PARAM_OFFSET);
    p->lock_file_info_off = ld_32(s + PP_LOCK_FILE_INFO_OFF);
    p->reserved_252 = ld_32(s + PP_RESERVED_252);
    p->mark_file_info_off = ld_32(s + PP_MARK_FILE_INFO_OFF);
    p->mark_index_offset = ld_32(s + PP_MARK_INDEX_OFFSET);
    p->mark_area_end = ld_32(s + PP_MARK_AREA_END);
    p->reserved_268 = ld_32(s + PP_RESERVED_268);
    std::memcpy(p->carried_272, s + PP_CARRIED_272, sizeof p->carried_272);
    p->protected_flag = ld_32(s + PP_PROTECTED_FLAG);
    p->check_word = ld_32(s + PP_CHECK);
    return p->check_word == WFS_CHECK_WORD ? 0 : -1;
}

void encode_partition_param(const DriverParam *p, uint8_t *s)
{
    st_32(s + PP_RESERVED_0, p->reserved_0);
    st_32(s + PP_RESERVED_4, p->reserved_4);
    s[PP_GENERATION] = p->generation;
    s[PP_COLLISION_DIRTY] = p->collision_dirty;
    std::memcpy(s + PP_CARRIED_10, p->carried_10, sizeof p->carried_10);
    st_32(s + PP_STATUS, p->status);
    st_32(s + PP_START_TIME1, p->start_time1);
    st_32(s + PP_END_TIME1, p->end_time1);
    st_32(s + PP_CURRENT_CLUSTER, p->current_cluster);
    st_32(s + PP_START_CLUSTER2, p->start_cluster2);
    st_32(s + PP_END_CLUSTER2, p->end_cluster2);
    st_32(s + PP_START_TIME2, p->start_time2);
    st_32(s + PP_END_TIME2, p->end_time2);
    st_32(s + PP_BYTES_PER_SECTOR, p->bytes_per_sector);
    st_32(s + PP_SEC_PER_CLUS, p->sec_per_clus);
    st_32(s + PP_EXT_DIR_OFFSET, p->ext_dir_offset);
    st_32(s + PP_REV_CLUS, p->rev_clus);
    st_32(s + PP_INDEX_OFFSET, p->index_offset);
    st_32(s + PP_TEMP_OFF, p->temp_off);
    st_32(s + PP_DIR_OFFSET, p->dir_offset);
    st_32(s + PP_DATA_OFFSET, p->data_offset);
    st_32(s + PP_TOTAL_CLUSTER, p->total_cluster);
    st_32(s + PP_RESERVED_80, p->reserved_80);
    st_32(s + PP_DRIVER_TYPE, p->driver_type);
    st_32(s + PP_UD_OFFSET, p->ud_offset);
    st_32(s + PP_UD_AREA_WORD, p->ud_area_word);
    st_32(s + PP_UD_ITEM_COUNT, p->ud_item_count);
    st_32(s + PP_UD_FIRST_ITEM, p->ud_first_item);
    st_32(s + PP_UD_LAST_ITEM, p->ud_last_item);
    st_32(s + PP_DEV, p->dev);
    st_32(s + PP_SAVED_CURRENT_CLUSTER, p->saved_current_cluster);
    st_32(s + PP_INDEX_RESTORE_POINT, static_cast<uint32_t>(p->index_restore_point));
    st_32(s + PP_RESERVED_136, p->reserved_136);
    st_32(s + PP_PART, p->part);
    st_32(s + PP_EXTRA_AREA_OFFSET, p->extra_area_offset);
    st_32(s + PP_EXTRA_AREA_SIZE, p->extra_area_size);
    st_32(s + PP_BAD_STATUS, p->bad_status);
    st_32(s + PP_COLLISION_OFFSET, p->collision_offset);
    st_32(s + PP_COLLISION_COUNT, p->collision_count);
    st_32(s + PP_COLLISION_SPLIT, p->collision_split);
    st_32(s + PP_SYS_AREA_END, p->sys_area_end);
    st_32(s + PP_RESERVED_180, p->reserved_180);
    st_32(s + PP_EXTRA_AREA2_OFFSET, p->extra_area2_offset);
    st_32(s + PP_EXTRA_AREA2_SIZE, p->extra_area2_size);
    std::memcpy(s + PP_CARRIED_192, p->carried_192, sizeof p->carried_192);
    st_64(s + PP_START_SECTOR, p->start_sector);
    st_32(s + PP_RESERVED_232, p->reserved_232);
    st_32(s + PP_BACKDIR_OFFSET, p->backdir_offset);
    st_32(s + PP_FACE_LIB_PARAM_OFFSET, p->face_lib_param_offset);
    st_32(s + PP_LOCK_FILE_INFO_OFF, p->lock_file_info_off);
    st_32(s + PP_RESERVED_252, p->reserved_252);
    st_32(s + PP_MARK_FILE_INFO_OFF, p->mark_file_info_off);
    st_32(s + PP_MARK_INDEX_OFFSET, p->mark_index_offset);
    st_32(s + PP_MARK_AREA_END, p->mark_area_end);
    st_32(s + PP_RESERVED_268, p->reserved_268);
    std::memcpy(s + PP_CARRIED_272, p->carried_272, sizeof p->carried_272);
    st_32(s + PP_PROTECTED_FLAG, p->protected_flag);
    st_32(s + PP_CHECK, p->check_word);
}

bool driver_geometry_ok(const DriverParam *p, uint64_t part_total)
{
    uint32_t spc = p->sec_per_clus;
    if (spc == 0 || (spc & (spc - 1)) != 0 || p->total_cluster == 0)
        return false;
    uint64_t data_end = static_cast<uint64_t>(p->data_offset) + static_cast<uint64_t>(p->total_cluster) * spc;
    return data_end <= part_total;
}

uint64_t cluster_to_sector(const DriverParam *p, uint32_t cluster)
{
    return p->start_sector + p->data_offset + static_cast<uint64_t>(cluster) * p->sec_per_clus;
}

void decode_collision_sector(const uint8_t *s, uint32_t clusters[COLLISION_ENTRIES])
{
    for (int i = 0; i < COLLISION_ENTRIES; ++i)
        clusters[i] = ld_32(s + 4 * i);
}

void encode_collision_sector(const uint32_t clusters[COLLISION_ENTRIES], uint8_t *s)
{
    for (int i = 0; i < COLLISION_ENTRIES; ++i)
        st_32(s + 4 * i, clusters[i]);
}

bool face_lib_record_valid(const uint8_t *s) { return std::memcmp(s, FACE_LIB_MAGIC, 8) == 0; }
