// The key-parameter block of a partition.
#include <cstring>

#include "wfs/common/bytes.h"
#include "wfs/volume/layout.h"

void decode_key_param(const uint8_t *s, KeyParamBlock *kp)
{
    kp->total_sectors = ld_64(s + KP_TOTAL);
    kp->start_sector = ld_64(s + KP_START);
    kp->redund_part_param_nums = ld_32(s + KP_REDUND_PART_PARAM);
    kp->redund_dir_nums = ld_32(s + KP_REDUND_DIR);
    kp->redund_index_nums = ld_32(s + KP_REDUND_INDEX);
    kp->redund_lock_file_nums = ld_32(s + KP_REDUND_LOCK_FILE);
    kp->redund_mark_file_nums = ld_32(s + KP_REDUND_MARK_FILE);
    kp->redund_face_param_nums = ld_32(s + KP_REDUND_FACE_PARAM);
    kp->redund_face_record_nums = ld_32(s + KP_REDUND_FACE_RECORD);
    kp->redund_face_pic_nums = ld_32(s + KP_REDUND_FACE_PIC);
    kp->face_lib_support_size = ld_32(s + KP_FACE_LIB_SUPPORT_SIZE);
    kp->sys_recv_ratio_sectors = ld_32(s + KP_SYS_RECV_RATIO);
    kp->recv_clus_multiple = ld_32(s + KP_RECV_CLUS_MULTIPLE);
    kp->dir_offset = ld_32(s + KP_DIR_OFFSET);
    kp->backdir_offset = ld_32(s + KP_BACKDIR_OFFSET);
    kp->index_offset = ld_32(s + KP_INDEX_OFFSET);
    kp->lock_file_info_off = ld_32(s + KP_LOCK_FILE_OFFSET);
    kp->lock_file_end = ld_32(s + KP_LOCK_FILE_END);
    kp->mark_file_info_off = ld_32(s + KP_MARK_FILE_OFFSET);
    kp->mark_file_end = ld_32(s + KP_MARK_FILE_END);
    kp->face_lib_param_offset = ld_32(s + KP_FACE_LIB_PARAM_OFFSET);
    kp->cur_face_lib_record_offset = ld_32(s + KP_FACE_RECORD_OFFSET);
    kp->face_lib_record_end = ld_32(s + KP_FACE_RECORD_END);
    kp->face_pic_offset = ld_32(s + KP_FACE_PIC_OFFSET);
    kp->face_pic_end = ld_32(s + KP_FACE_PIC_END);
    kp->ext_dir_offset = ld_32(s + KP_EXT_DIR_OFFSET);
    kp->area_base = ld_64(s + KP_AREA_BASE);
    kp->version = static_cast<int32_t>(ld_32(s + KP_VERSION));
    kp->check_word = ld_32(s + KP_CHECK);
}

void encode_key_param(const KeyParamBlock *kp, uint8_t *s)
{
    std::memset(s, 0, WFS_SECTOR_SIZE);
    st_64(s + KP_TOTAL, kp->total_sectors);
    st_64(s + KP_START, kp->start_sector);
    st_32(s + KP_REDUND_PART_PARAM, kp->redund_part_param_nums);
    st_32(s + KP_REDUND_DIR, kp->redund_dir_nums);
    st_32(s + KP_REDUND_INDEX, kp->redund_index_nums);
    st_32(s + KP_REDUND_LOCK_FILE, kp->redund_lock_file_nums);
    st_32(s + KP_REDUND_MARK_FILE, kp->redund_mark_file_nums);
    st_32(s + KP_REDUND_FACE_PARAM, kp->redund_face_param_nums);
    st_32(s + KP_REDUND_FACE_RECORD, kp->redund_face_record_nums);
    st_32(s + KP_REDUND_FACE_PIC, kp->redund_face_pic_nums);
    st_32(s + KP_FACE_LIB_SUPPORT_SIZE, kp->face_lib_support_size);
    st_32(s + KP_SYS_RECV_RATIO, kp->sys_recv_ratio_sectors);
    st_32(s + KP_RECV_CLUS_MULTIPLE, kp->recv_clus_multiple);
    st_32(s + KP_DIR_OFFSET, kp->dir_offset);
    st_32(s + KP_BACKDIR_OFFSET, kp->backdir_offset);
    st_32(s + KP_INDEX_OFFSET, kp->index_offset);
    st_32(s + KP_LOCK_FILE_OFFSET, kp->lock_file_info_off);
    st_32(s + KP_LOCK_FILE_END, kp->lock_file_end);
    st_32(s + KP_MARK_FILE_OFFSET, kp->mark_file_info_off);
    st_32(s + KP_MARK_FILE_END, kp->mark_file_end);
    st_32(s + KP_FACE_LIB_PARAM_OFFSET, kp->face_lib_param_offset);
    st_32(s + KP_FACE_RECORD_OFFSET, kp->cur_face_lib_record_offset);
    st_32(s + KP_FACE_RECORD_END, kp->face_lib_record_end);
    st_32(s + KP_FACE_PIC_OFFSET, kp->face_pic_offset);
    st_32(s + KP_FACE_PIC_END, kp->face_pic_end);
    st_32(s + KP_EXT_DIR_OFFSET, kp->ext_dir_offset);
    st_64(s + KP_AREA_BASE, kp->area_base);
    st_32(s + KP_VERSION, static_cast<uint32_t>(kp->version));
    st_32(s + KP_CHECK, kp->check_word);
}

bool key_param_valid(const KeyParamBlock *kp, uint32_t key_param_offset)
{
    return kp->total_sectors != 0 && kp->check_word == WFS_CHECK_WORD && kp->version > 0 &&
           kp->dir_offset > key_param_offset && kp->dir_offset < kp->index_offset;
}

static bool in_range(uint32_t v, uint32_t lo, uint32_t hi) { return v >= lo && v <= hi; }

bool key_param_config_valid(const KeyParamBlock *kp)
{
    return in_range(kp->redund_part_param_nums, 1, 20) && in_range(kp->redund_dir_nums, 1, 20) &&
           in_range(kp->redund_index_nums, 1, 20) && in_range(kp->redund_lock_file_nums, 0, 20) &&
           in_range(kp->redund_mark_file_nums, 0, 20) && in_range(kp->redund_face_param_nums, 0, 20) &&
           in_range(kp->redund_face_record_nums, 0, 20) && in_range(kp->redund_face_pic_nums, 0, 10) &&
           (kp->face_lib_support_size == 0 || in_range(kp->face_lib_support_size, 32, 10000)) &&
           kp->sys_recv_ratio_sectors != 0 && kp->recv_clus_multiple != 0;
}

void key_param_set_defaults(KeyParamBlock *kp)
{
    kp->redund_part_param_nums = 5;
    kp->redund_dir_nums = 10;
    kp->redund_index_nums = 10;
    kp->redund_lock_file_nums = 4;
    kp->redund_mark_file_nums = 4;
    kp->redund_face_param_nums = 4;
    kp->redund_face_record_nums = 4;
    kp->redund_face_pic_nums = 3;
    kp->face_lib_support_size = 512;
    kp->sys_recv_ratio_sectors = 1000;
    kp->recv_clus_multiple = 2;
}
