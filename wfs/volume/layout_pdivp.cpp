// Where the areas of a partition lie (the division parameters). Every size
// is in sectors; the areas follow each other, each starting on a multiple
// of 256 sectors.
#include <cstring>

#include "wfs/volume/layout.h"

namespace {

// The least multiple of 256 that is not below x.
uint64_t up256(uint64_t x) { return (x + 255) / 256 * 256; }

bool fits32(uint64_t v) { return v <= UINT32_MAX; }

}  // namespace

int compute_pdivp(uint64_t total_sectors, const KeyParamBlock *kp, int part, PDivP *out)
{
    if (!kp || !out || !key_param_config_valid(kp))
        return -1;
    std::memset(out, 0, sizeof *out);
    const uint64_t T = total_sectors;

    // One group per 49152 clusters (of 4096 sectors), at least one.
    uint64_t n = (T / PDIVP_CLUSTER_SECTORS + 49151) / 49152;
    if (n == 0)
        n = 1;
    uint64_t D = 3072 * n + 1024;
    uint64_t Ix = 96 * n + 1024;
    // 98304 bytes of mark index per group, in whole sectors.
    uint64_t G = (98304 * n + WFS_SECTOR_SIZE - 1) / WFS_SECTOR_SIZE + 1024;

    uint64_t L = kp->area_base + 2048ull * kp->redund_part_param_nums;
    uint64_t M = up256(L + D * kp->redund_dir_nums);
    uint64_t Q = up256(M + D * kp->redund_dir_nums);
    uint64_t R = up256(Q + Ix * kp->redund_index_nums);
    uint64_t V = up256(R + 3072ull * kp->redund_lock_file_nums);
    uint64_t A = up256(V + (G + 3072) * kp->redund_mark_file_nums + 525312);

    uint64_t F = A, E = 0, Dp = A, Cp = 0, H = 0, W = 2048;
    uint64_t S = kp->face_lib_support_size;
    if (part == 0 && S != 0) {
        F = up256(A + 2048ull * kp->redund_face_param_nums);
        E = (256 * S) / WFS_SECTOR_SIZE + 8 * S + 2048;
        Dp = up256(F + E * kp->redund_face_record_nums);
        Cp = 256 * S + 1024;
        H = 256 * S / WFS_SECTOR_SIZE + 1024;
        W = Dp + Cp * kp->redund_face_pic_nums - A;
    }

    uint64_t J = up256(A + W);
    uint64_t recovery = T / kp->sys_recv_ratio_sectors;
    uint64_t data_offset = up256(recovery + J);
    if (data_offset >= T)
        return -1;
    uint64_t total_cluster = (T - data_offset) / PDIVP_CLUSTER_SECTORS;
    if (total_cluster == 0)
        return -1;
    uint64_t Mr = total_cluster / 2097152 * 262144 + 262144;
    uint64_t limit = T / 50 < Mr ? T / 50 : Mr;
    uint64_t rev_clus = kp->recv_clus_multiple * (limit / PDIVP_CLUSTER_SECTORS);

    // Every offset is stored in a 32-bit word.
    if (!fits32(n) || !fits32(data_offset) || !fits32(total_cluster) || !fits32(rev_clus) || !fits32(J) ||
        !fits32(Dp + Cp * kp->redund_face_pic_nums))
        return -1;

    out->total_sectors = T;
    out->groups = static_cast<uint32_t>(n);
    out->dir_size = static_cast<uint32_t>(D);
    out->index_size = static_cast<uint32_t>(Ix);
    out->mark_file_index_block_size = static_cast<uint32_t>(G);
    out->special_info_block_size = 3072;
    out->mark_file_info_block_size = static_cast<uint32_t>(G + 3072);
    out->dir_offset = static_cast<uint32_t>(L);
    out->backdir_offset = static_cast<uint32_t>(L + D);
    out->ext_dir_offset = static_cast<uint32_t>(M);
    out->index_offset = static_cast<uint32_t>(Q);
    out->lock_file_info_off = static_cast<uint32_t>(R);
    out->mark_file_info_off = static_cast<uint32_t>(V);
    out->face_lib_param_offset = static_cast<uint32_t>(A);
    out->cur_face_lib_record_offset = static_cast<uint32_t>(F);
    out->face_lib_record_block_size = static_cast<uint32_t>(E);
    out->face_pic_offset = static_cast<uint32_t>(Dp);
    out->face_pic_block_size = static_cast<uint32_t>(Cp);
    out->face_pic_index_size = static_cast<uint32_t>(H);
    out->face_area_size = static_cast<uint32_t>(W);
    out->sys_area_end = static_cast<uint32_t>(J);
    out->recovery_sectors = recovery;
    out->data_offset = static_cast<uint32_t>(data_offset);
    out->total_cluster = static_cast<uint32_t>(total_cluster);
    out->rev_clus = static_cast<uint32_t>(rev_clus);
    return 0;
}

void key_param_apply_pdivp(const PDivP *dp, uint64_t start_sector, KeyParamBlock *kp)
{
    kp->total_sectors = dp->total_sectors;
    kp->start_sector = start_sector;
    kp->dir_offset = dp->dir_offset;
    kp->backdir_offset = dp->backdir_offset;
    kp->index_offset = dp->index_offset;
    kp->lock_file_info_off = dp->lock_file_info_off;
    kp->lock_file_end = dp->lock_file_info_off + dp->special_info_block_size;
    kp->mark_file_info_off = dp->mark_file_info_off;
    kp->mark_file_end = dp->mark_file_info_off + dp->mark_file_info_block_size;
    kp->face_lib_param_offset = dp->face_lib_param_offset;
    kp->cur_face_lib_record_offset = dp->cur_face_lib_record_offset;
    kp->face_lib_record_end = dp->cur_face_lib_record_offset + dp->face_lib_record_block_size;
    kp->face_pic_offset = dp->face_pic_offset;
    kp->face_pic_end = dp->face_pic_offset + dp->face_pic_block_size;
    kp->ext_dir_offset = dp->ext_dir_offset;
    kp->version = WFS_LAYOUT_VERSION;
    kp->check_word = WFS_CHECK_WORD;
}
