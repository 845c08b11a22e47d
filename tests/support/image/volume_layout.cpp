#include "tests/support/image/volume_layout.h"

#include <algorithm>
#include <cstring>

#include "tests/support/image/le_bytes.h"

namespace testimg {

namespace {

// Key-parameter block (512 bytes), offsets in bytes.
constexpr int KP_TOTAL = 0;           // u64 total sectors of the partition
constexpr int KP_START = 8;           // u64 start sector
constexpr int KP_REDUND = 16;         // u32 x 8 redundancy counts
constexpr int KP_FACE_SIZE = 48;      // u32 face_lib_support_size
constexpr int KP_RECV_RATIO = 52;     // u32 sys_recv_ratio_sectors
constexpr int KP_RECV_MULT = 56;      // u32 recv_clus_multiple
constexpr int KP_DIR = 60;            // u32 L
constexpr int KP_BACKDIR = 64;        // u32 L + D
constexpr int KP_INDEX = 68;          // u32 Q
constexpr int KP_LOCK = 72;           // u32 R
constexpr int KP_LOCK_END = 76;       // u32 R + 3072
constexpr int KP_MARK = 80;           // u32 V
constexpr int KP_MARK_END = 84;       // u32 V + G + 3072
constexpr int KP_FACE_PARAM = 88;     // u32 A
constexpr int KP_FACE_RECORD = 92;    // u32 F
constexpr int KP_FACE_RECORD_END = 96;  // u32 F + E
constexpr int KP_FACE_PIC = 100;      // u32 Dp
constexpr int KP_FACE_PIC_END = 104;  // u32 Dp + Cp
constexpr int KP_EXT_DIR = 108;       // u32 M
constexpr int KP_BASE = 496;          // u64 base offset of the areas
constexpr int KP_VERSION = 504;       // i32 version (4)
constexpr int KP_CHECK = 508;         // u32 check word

// Partition parameter block (first 336 bytes of its sector).
constexpr int PB_GENERATION = 8;        // u8
constexpr int PB_STATUS = 12;           // u32 170 = closed cleanly
constexpr int PB_START_TIME1 = 16;      // u32 packed
constexpr int PB_END_TIME1 = 20;        // u32 packed
constexpr int PB_CURRENT = 24;          // u32 current_cluster
constexpr int PB_START_CLUSTER2 = 28;   // u32
constexpr int PB_END_CLUSTER2 = 32;     // u32
constexpr int PB_START_TIME2 = 36;      // u32 packed
constexpr int PB_END_TIME2 = 40;        // u32 packed
constexpr int PB_BYTES_PER_SEC = 44;    // u32 512
constexpr int PB_SEC_PER_CLUS = 48;     // u32
constexpr int PB_EXT_DIR = 52;          // u32 ext_dir_offset
constexpr int PB_REV_CLUS = 56;         // u32
constexpr int PB_INDEX = 60;            // u32 index_offset
constexpr int PB_TEMP_OFF = 64;         // u32 own offset
constexpr int PB_DIR = 68;              // u32 dir_offset
constexpr int PB_DATA = 72;             // u32 data_offset
constexpr int PB_TOTAL_CLUSTER = 76;    // u32
constexpr int PB_DRIVER_TYPE = 84;      // u32
constexpr int PB_UD_OFFSET = 88;        // u32 ud_offset
constexpr int PB_UD_WORD = 92;          // u32 16
constexpr int PB_UD_COUNT = 96;         // u32 ud_item_count
constexpr int PB_UD_FIRST = 100;        // u32 ud_first_item
constexpr int PB_UD_LAST = 104;         // u32 ud_last_item
constexpr int PB_DEV = 108;             // u32 disk number
constexpr int PB_SAVED_CURRENT = 112;   // u32 copy of current_cluster
constexpr int PB_INDEX_RESTORE = 116;   // i32 index restore point
constexpr int PB_PART = 140;            // u32 partition number
constexpr int PB_EXTRA1_OFF = 144;      // u32
constexpr int PB_EXTRA1_SIZE = 148;     // u32
constexpr int PB_BAD_STATUS = 152;      // u32 0 usable, 15 bad
constexpr int PB_COLLISION_OFF = 156;   // u32
constexpr int PB_COLLISION_COUNT = 160; // u32
constexpr int PB_SYSTEM_END = 176;      // u32 J
constexpr int PB_EXTRA2_OFF = 184;      // u32
constexpr int PB_EXTRA2_SIZE = 188;     // u32
constexpr int PB_START_SECTOR = 224;    // u64
constexpr int PB_BACKDIR = 236;         // u32
constexpr int PB_FACE_PARAM = 240;      // u32
constexpr int PB_LOCK = 248;            // u32
constexpr int PB_MARK = 256;            // u32
constexpr int PB_MARK_INDEX = 260;      // u32 mark + 3072
constexpr int PB_MARK_END = 264;        // u32 mark index + G
constexpr int PB_PROTECTED = 324;       // u32
constexpr int PB_CHECK = 328;           // u32 check word

bool fits32(uint64_t v) { return v <= 0xFFFFFFFFull; }

}  // namespace

bool compute_area_layout(uint64_t T, uint32_t c, const KeyParamConfig &k, bool face_library,
                         AreaLayout *out, std::string *error) {
    auto fail = [&](const std::string &why) {
        if (error) *error = why;
        return false;
    };
    if (c == 0 || (c & (c - 1)) != 0) return fail("sec_per_clus must be a power of two");
    if (k.sys_recv_ratio_sectors == 0 || k.recv_clus_multiple == 0)
        return fail("sys_recv_ratio_sectors and recv_clus_multiple must be nonzero");

    AreaLayout a;
    a.total_sectors = T;
    a.sec_per_clus = c;
    const uint64_t n = ((T / c) + 49151) / 49152;
    const uint64_t D = 3072 * n + 1024;
    const uint64_t Ix = 96 * n + 1024;
    const uint64_t G = (98304 * n + 511) / 512 + 1024;
    const uint64_t L = k.base + 2048ull * k.redund_part_param_nums;
    const uint64_t M = up256(L + D * k.redund_dir_nums);
    const uint64_t Q = up256(M + D * k.redund_dir_nums);
    const uint64_t R = up256(Q + Ix * k.redund_index_nums);
    const uint64_t V = up256(R + 3072ull * k.redund_lock_file_nums);
    const uint64_t A = up256(V + (G + 3072) * k.redund_mark_file_nums + 525312);
    uint64_t F = A, E = 0, Dp = A, Cp = 0, W = 2048;
    if (face_library && k.face_lib_support_size != 0) {
        const uint64_t S = k.face_lib_support_size;
        F = up256(A + 2048ull * k.redund_face_param_nums);
        E = (256 * S) / 512 + 8 * S + 2048;
        Dp = up256(F + E * k.redund_face_record_nums);
        Cp = 256 * S + 1024;
        W = Dp + Cp * k.redund_face_pic_nums - A;
    }
    const uint64_t J = up256(A + W);
    const uint64_t data_offset = up256(T / k.sys_recv_ratio_sectors + J);
    if (data_offset >= T) return fail("partition too small for its system areas");
    const uint64_t total_cluster = (T - data_offset) / c;
    const uint64_t Mr = total_cluster / 2097152 * 262144 + 262144;
    uint64_t rev = k.recv_clus_multiple * (std::min<uint64_t>(Mr, T / 50) / c);
    // Cluster 0 never holds a recording: current_cluster 0 means "nothing
    // recorded yet", so a recorder reserves at least one cluster.
    if (rev == 0) rev = 1;
    if (total_cluster < rev + 2) return fail("partition too small: no room for data clusters");
    if (!fits32(data_offset) || !fits32(total_cluster) || !fits32(J))
        return fail("partition too large for 32-bit area offsets");

    a.groups = static_cast<uint32_t>(n);
    a.dir_size = static_cast<uint32_t>(D);
    a.index_size = static_cast<uint32_t>(Ix);
    a.mark_file_index_block_size = static_cast<uint32_t>(G);
    a.dir_offset = static_cast<uint32_t>(L);
    a.backdir_offset = static_cast<uint32_t>(L + D);
    a.ext_dir_offset = static_cast<uint32_t>(M);
    a.index_offset = static_cast<uint32_t>(Q);
    a.lock_file_info_off = static_cast<uint32_t>(R);
    a.mark_file_info_off = static_cast<uint32_t>(V);
    a.face_lib_param_offset = static_cast<uint32_t>(A);
    a.cur_face_lib_record_offset = static_cast<uint32_t>(F);
    a.face_lib_record_block_size = static_cast<uint32_t>(E);
    a.face_pic_offset = static_cast<uint32_t>(Dp);
    a.face_pic_size = static_cast<uint32_t>(Cp);
    a.system_end = static_cast<uint32_t>(J);
    a.data_offset = static_cast<uint32_t>(data_offset);
    a.total_cluster = static_cast<uint32_t>(total_cluster);
    a.rev_clus = static_cast<uint32_t>(rev);
    *out = a;
    return true;
}

void encode_mbr(uint32_t base_lba, uint64_t volume_sectors, uint8_t s[512]) {
    std::memset(s, 0, 512);
    uint8_t *e = s + 446;  // first partition entry
    e[0] = 0x00;           // not bootable
    e[4] = 0x83;           // partition type; the recorder does not look at it
    put_u32(e + 8, base_lba);
    put_u32(e + 12, static_cast<uint32_t>(std::min<uint64_t>(volume_sectors, 0xFFFFFFFFull)));
    s[510] = 0x55;
    s[511] = 0xAA;
}

void encode_volume_head(const std::string &magic, const uint32_t kpo[4], bool qj, uint8_t s[512]) {
    std::memset(s, 0, 512);
    std::memcpy(s, magic.data(), std::min<size_t>(magic.size(), 7));  // byte 6 stays 0 for a 6-char magic
    for (int i = 0; i < 4; ++i) put_u32(s + 480 + 4 * i, kpo[i]);
    if (qj) {
        s[510] = 'Q';
        s[511] = 'J';
    }
}

void encode_partition_table(const PartitionEntry entries[4], uint8_t s[512]) {
    std::memset(s, 0, 512);
    put_u32(s + 36, 0);
    put_u32(s + 40, 3);
    put_u32(s + 44, kCheckWord);
    put_u32(s + 48, 3);
    put_u32(s + 52, 1);
    for (int i = 0; i < 4; ++i) {
        uint8_t *e = s + 56 + 64 * i;
        if (!entries[i].written) continue;
        put_u64(e + 0, entries[i].start);
        put_u64(e + 8, entries[i].sectors);
        put_u32(e + 28, 24);
        put_u32(e + 56, 1);
    }
}

void encode_key_param_block(const KeyParamConfig &k, const AreaLayout &a, uint64_t part_start,
                            uint8_t s[512]) {
    std::memset(s, 0, 512);
    put_u64(s + KP_TOTAL, a.total_sectors);
    put_u64(s + KP_START, part_start);
    const uint32_t counts[8] = {k.redund_part_param_nums, k.redund_dir_nums,
                                k.redund_index_nums,      k.redund_lock_file_nums,
                                k.redund_mark_file_nums,  k.redund_face_param_nums,
                                k.redund_face_record_nums, k.redund_face_pic_nums};
    for (int i = 0; i < 8; ++i) put_u32(s + KP_REDUND + 4 * i, counts[i]);
    put_u32(s + KP_FACE_SIZE, k.face_lib_support_size);
    put_u32(s + KP_RECV_RATIO, k.sys_recv_ratio_sectors);
    put_u32(s + KP_RECV_MULT, k.recv_clus_multiple);
    put_u32(s + KP_DIR, a.dir_offset);
    put_u32(s + KP_BACKDIR, a.backdir_offset);
    put_u32(s + KP_INDEX, a.index_offset);
    put_u32(s + KP_LOCK, a.lock_file_info_off);
    put_u32(s + KP_LOCK_END, a.lock_file_info_off + 3072);
    put_u32(s + KP_MARK, a.mark_file_info_off);
    put_u32(s + KP_MARK_END, a.mark_file_info_off + a.mark_file_index_block_size + 3072);
    put_u32(s + KP_FACE_PARAM, a.face_lib_param_offset);
    put_u32(s + KP_FACE_RECORD, a.cur_face_lib_record_offset);
    put_u32(s + KP_FACE_RECORD_END, a.cur_face_lib_record_offset + a.face_lib_record_block_size);
    put_u32(s + KP_FACE_PIC, a.face_pic_offset);
    put_u32(s + KP_FACE_PIC_END, a.face_pic_offset + a.face_pic_size);
    put_u32(s + KP_EXT_DIR, a.ext_dir_offset);
    put_u64(s + KP_BASE, k.base);
    put_u32(s + KP_VERSION, 4);
    put_u32(s + KP_CHECK, kCheckWord);
}

void encode_param_block(const ParamBlockState &st, const AreaLayout &a, uint64_t part_start,
                        uint8_t s[512]) {
    std::memset(s, 0, 512);
    put_u8(s + PB_GENERATION, st.generation);
    put_u32(s + PB_STATUS, st.status);
    put_u32(s + PB_START_TIME1, st.start_time1);
    put_u32(s + PB_END_TIME1, st.end_time1);
    put_u32(s + PB_CURRENT, st.current_cluster);
    put_u32(s + PB_START_CLUSTER2, st.start_cluster2);
    put_u32(s + PB_END_CLUSTER2, st.end_cluster2);
    put_u32(s + PB_START_TIME2, st.start_time2);
    put_u32(s + PB_END_TIME2, st.end_time2);
    put_u32(s + PB_BYTES_PER_SEC, kSectorSize);
    put_u32(s + PB_SEC_PER_CLUS, a.sec_per_clus);
    put_u32(s + PB_EXT_DIR, st.ext_dir ? a.ext_dir_offset : 0);
    put_u32(s + PB_REV_CLUS, a.rev_clus);
    put_u32(s + PB_INDEX, a.index_offset);
    put_u32(s + PB_TEMP_OFF, st.key_param_offset + kParamBlockSector);
    put_u32(s + PB_DIR, a.dir_offset);
    put_u32(s + PB_DATA, a.data_offset);
    put_u32(s + PB_TOTAL_CLUSTER, a.total_cluster);
    put_u32(s + PB_DRIVER_TYPE, st.driver_type);
    put_u32(s + PB_UD_OFFSET, a.data_offset + kUdAreaDistance);
    put_u32(s + PB_UD_WORD, 16);
    put_u32(s + PB_UD_COUNT, kUdItemCount);
    put_u32(s + PB_UD_FIRST, st.ud_first_item);
    put_u32(s + PB_UD_LAST, st.ud_last_item);
    put_u32(s + PB_DEV, st.dev);
    put_u32(s + PB_SAVED_CURRENT, st.current_cluster);
    put_u32(s + PB_INDEX_RESTORE, st.current_cluster);
    put_u32(s + PB_PART, st.part);
    const uint64_t reserved_sectors = static_cast<uint64_t>(a.rev_clus) * a.sec_per_clus;
    if (reserved_sectors > 16384) {
        put_u32(s + PB_EXTRA1_OFF, a.data_offset);
        put_u32(s + PB_EXTRA1_SIZE, 16384);
    }
    if (reserved_sectors > 40960) {
        put_u32(s + PB_EXTRA2_OFF, a.data_offset + 20480);
        put_u32(s + PB_EXTRA2_SIZE, 20480);
    }
    put_u32(s + PB_BAD_STATUS, st.bad_status);
    put_u32(s + PB_COLLISION_OFF, st.key_param_offset + kCollisionSector);
    put_u32(s + PB_COLLISION_COUNT, st.collision_count);
    put_u32(s + PB_SYSTEM_END, a.system_end);
    put_u64(s + PB_START_SECTOR, part_start);
    put_u32(s + PB_BACKDIR, a.backdir_offset);
    put_u32(s + PB_FACE_PARAM, a.face_lib_param_offset);
    put_u32(s + PB_LOCK, a.lock_file_info_off);
    put_u32(s + PB_MARK, a.mark_file_info_off);
    put_u32(s + PB_MARK_INDEX, a.mark_file_info_off + 3072);
    put_u32(s + PB_MARK_END, a.mark_file_info_off + 3072 + a.mark_file_index_block_size);
    put_u32(s + PB_PROTECTED, st.protected_flag);
    put_u32(s + PB_CHECK, kCheckWord);
}

void encode_collision_sector(const std::vector<uint32_t> &clusters, uint8_t s[512]) {
    std::memset(s, 0, 512);
    const size_t n = std::min<size_t>(clusters.size(), 128);
    for (size_t i = 0; i < n; ++i) put_u32(s + 4 * i, clusters[i]);
}

}  // namespace testimg
