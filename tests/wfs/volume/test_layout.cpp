// The on-disk records of a WFS volume: byte mapping, validity rules and the
// placement of the areas.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "wfs/common/bytes.h"
#include "wfs/volume/layout.h"

namespace {

std::vector<uint8_t> sector() { return std::vector<uint8_t>(512, 0); }

TEST(VolumeHead, VersionCheck)
{
    std::vector<uint8_t> s = sector();
    const uint32_t kpo[4] = {0, 7, 0x10000, 0xFFFFFFFF};
    encode_volume_head(kpo, s.data());
    EXPECT_EQ(std::memcmp(s.data(), "WFS0.4\0", 7), 0);
    EXPECT_EQ(s[510], 'Q');
    EXPECT_EQ(s[511], 'J');
    EXPECT_EQ(ld_32(s.data() + 484), 7u);
    EXPECT_TRUE(volume_head_is_current(s.data()));
    EXPECT_FALSE(volume_head_is_old(s.data()));
    VolumeHead vh;
    decode_volume_head(s.data(), &vh);
    EXPECT_STREQ(vh.magic, "WFS0.4");
    EXPECT_EQ(vh.key_param_offset[2], 0x10000u);
    EXPECT_EQ(vh.key_param_offset[3], 0xFFFFFFFFu);

    // "WFS0.4" followed by a nonzero seventh byte is another version.
    std::vector<uint8_t> longer = s;
    longer[6] = '1';
    EXPECT_FALSE(volume_head_is_current(longer.data()));
    EXPECT_EQ(volume_head_mismatch_text(longer.data()), " check_disk_ver no match: ver WFS0.41, flg 51 4A\n");
    // Without the "QJ" flags.
    std::vector<uint8_t> noflag = s;
    noflag[511] = 0;
    EXPECT_FALSE(volume_head_is_current(noflag.data()));
    EXPECT_EQ(volume_head_mismatch_text(noflag.data()), " check_disk_ver no match: ver WFS0.4, flg 51 00\n");
    // The version text never runs past seven bytes, and control bytes are
    // not printed raw.
    std::vector<uint8_t> garbage(512, 'X');
    garbage[2] = '\n';
    EXPECT_EQ(volume_head_mismatch_text(garbage.data()), " check_disk_ver no match: ver XX.XXXX, flg 58 58\n");

    // The older head converts in place; everything else is kept.
    std::vector<uint8_t> old = sector();
    std::memcpy(old.data(), "WFS0.3", 7);
    st_32(old.data() + 480, 5);
    old[100] = 0xAB;
    EXPECT_TRUE(volume_head_is_old(old.data()));
    EXPECT_FALSE(volume_head_is_current(old.data()));
    volume_head_convert(old.data());
    EXPECT_TRUE(volume_head_is_current(old.data()));
    EXPECT_EQ(ld_32(old.data() + 480), 5u);
    EXPECT_EQ(old[100], 0xAB);
}

TEST(PartitionTableRecord, EntriesAndHeader)
{
    PartitionTable pt{};
    pt.entry[0] = {0, 1000000, 1};
    pt.entry[1] = {1000000, 3000000000ull * 4, 1};  // beyond 32 bits
    pt.entry[2] = {777, 0, 1};                      // written, empty
    pt.entry[3] = {0, 0, 0};
    std::vector<uint8_t> s = sector();
    encode_partition_table(&pt, s.data());
    EXPECT_EQ(ld_32(s.data() + 36), 0u);
    EXPECT_EQ(ld_32(s.data() + 40), 3u);
    EXPECT_EQ(ld_32(s.data() + 44), 0x789ABCDEu);
    EXPECT_EQ(ld_32(s.data() + 48), 3u);
    EXPECT_EQ(ld_32(s.data() + 52), 1u);
    EXPECT_EQ(ld_64(s.data() + 56 + 64 + 8), 12000000000ull);
    EXPECT_EQ(ld_32(s.data() + 56 + 28), 24u);
    EXPECT_EQ(ld_32(s.data() + 56 + 56), 1u);
    EXPECT_EQ(ld_32(s.data() + 56 + 3 * 64 + 56), 0u);

    PartitionTable back{};
    decode_partition_table(s.data(), &back);
    uint64_t start = 1, total = 1;
    EXPECT_TRUE(partition_table_entry(&back, 1, &start, &total));
    EXPECT_EQ(start, 1000000u);
    EXPECT_EQ(total, 12000000000ull);
    // An entry with a start and total 0 is empty; its start reads 0.
    EXPECT_FALSE(partition_table_entry(&back, 2, &start, &total));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(total, 0u);
    EXPECT_FALSE(partition_table_entry(&back, 3, &start, &total));
    EXPECT_FALSE(partition_table_entry(&back, 4, &start, &total));
    // Not written, total 0, nonzero start: empty, start carried as is.
    std::vector<uint8_t> raw = sector();
    st_64(raw.data() + 56 + 64, 555);
    decode_partition_table(raw.data(), &back);
    EXPECT_FALSE(partition_table_entry(&back, 1, &start, &total));
    EXPECT_EQ(start, 555u);

    EXPECT_FALSE(partition_table_overlaps(&pt));
    PartitionTable overlap{};
    overlap.entry[0] = {0, 1000, 1};
    overlap.entry[2] = {999, 10, 1};
    EXPECT_TRUE(partition_table_overlaps(&overlap));
    overlap.entry[2] = {1000, 10, 1};
    EXPECT_FALSE(partition_table_overlaps(&overlap));
    overlap.entry[3] = {UINT64_MAX - 5, UINT64_MAX, 1};  // reaches past 2^64
    overlap.entry[1] = {UINT64_MAX - 2, 1, 1};
    EXPECT_TRUE(partition_table_overlaps(&overlap));
}

// Each 32-bit word of the sector holds its own byte offset + 0x1000, so a
// decoded field shows where it was taken from.
std::vector<uint8_t> offset_pattern(int words)
{
    std::vector<uint8_t> s = sector();
    for (int o = 0; o < words * 4; o += 4)
        st_32(s.data() + o, 0x1000u + o);
    return s;
}

TEST(KeyParamRecord, ByteMappingAndValidity)
{
    std::vector<uint8_t> s = offset_pattern(128);
    KeyParamBlock kp{};
    decode_key_param(s.data(), &kp);
    EXPECT_EQ(kp.total_sectors, 0x1000u | (uint64_t{0x1004} << 32));
    EXPECT_EQ(kp.start_sector, 0x1008u | (uint64_t{0x100C} << 32));
    EXPECT_EQ(kp.redund_part_param_nums, 0x1000u + 16);
    EXPECT_EQ(kp.redund_face_pic_nums, 0x1000u + 44);
    EXPECT_EQ(kp.face_lib_support_size, 0x1000u + 48);
    EXPECT_EQ(kp.recv_clus_multiple, 0x1000u + 56);
    EXPECT_EQ(kp.dir_offset, 0x1000u + 60);
    EXPECT_EQ(kp.index_offset, 0x1000u + 68);
    EXPECT_EQ(kp.mark_file_end, 0x1000u + 84);
    EXPECT_EQ(kp.cur_face_lib_record_offset, 0x1000u + 92);
    EXPECT_EQ(kp.ext_dir_offset, 0x1000u + 108);
    EXPECT_EQ(kp.area_base, (0x1000u + 496) | (uint64_t{0x1000 + 500} << 32));
    EXPECT_EQ(kp.version, 0x1000 + 504);
    EXPECT_EQ(kp.check_word, 0x1000u + 508);
    // Encoding writes the mapped bytes back and zeroes the reserved ones.
    std::vector<uint8_t> out(512, 0xEE);
    encode_key_param(&kp, out.data());
    EXPECT_EQ(std::memcmp(out.data(), s.data(), 112), 0);
    EXPECT_EQ(std::memcmp(out.data() + 496, s.data() + 496, 16), 0);
    for (int i = 112; i < 496; ++i)
        ASSERT_EQ(out[i], 0) << i;

    KeyParamBlock good{};
    good.total_sectors = 1000000;
    good.check_word = WFS_CHECK_WORD;
    good.version = 4;
    good.dir_offset = 10240;
    good.index_offset = 645120;
    EXPECT_TRUE(key_param_valid(&good, 0));
    KeyParamBlock bad = good;
    bad.total_sectors = 0;
    EXPECT_FALSE(key_param_valid(&bad, 0));
    bad = good;
    bad.check_word = 0x789ABCDF;
    EXPECT_FALSE(key_param_valid(&bad, 0));
    bad = good;
    bad.version = 0;
    EXPECT_FALSE(key_param_valid(&bad, 0));
    bad.version = -1;
    EXPECT_FALSE(key_param_valid(&bad, 0));
    EXPECT_FALSE(key_param_valid(&good, 10240)) << "directory must lie past the parameter sectors";
    bad = good;
    bad.index_offset = bad.dir_offset;
    EXPECT_FALSE(key_param_valid(&bad, 0));
}

TEST(KeyParamRecord, ConfigurationLimits)
{
    KeyParamBlock kp{};
    key_param_set_defaults(&kp);
    EXPECT_EQ(kp.redund_part_param_nums, 5u);
    EXPECT_EQ(kp.redund_dir_nums, 10u);
    EXPECT_EQ(kp.redund_index_nums, 10u);
    EXPECT_EQ(kp.redund_lock_file_nums, 4u);
    EXPECT_EQ(kp.redund_mark_file_nums, 4u);
    EXPECT_EQ(kp.redund_face_param_nums, 4u);
    EXPECT_EQ(kp.redund_face_record_nums, 4u);
    EXPECT_EQ(kp.redund_face_pic_nums, 3u);
    EXPECT_EQ(kp.face_lib_support_size, 512u);
    EXPECT_EQ(kp.sys_recv_ratio_sectors, 1000u);
    EXPECT_EQ(kp.recv_clus_multiple, 2u);
    EXPECT_TRUE(key_param_config_valid(&kp));

    struct Case {
        uint32_t KeyParamBlock::*field;
        uint32_t value;
        bool ok;
    };
    const Case cases[] = {
        {&KeyParamBlock::redund_part_param_nums, 0, false}, {&KeyParamBlock::redund_part_param_nums, 20, true},
        {&KeyParamBlock::redund_dir_nums, 21, false},       {&KeyParamBlock::redund_index_nums, 0, false},
        {&KeyParamBlock::redund_lock_file_nums, 0, true},   {&KeyParamBlock::redund_mark_file_nums, 21, false},
        {&KeyParamBlock::redund_face_record_nums, 20, true}, {&KeyParamBlock::redund_face_pic_nums, 10, true},
        {&KeyParamBlock::redund_face_pic_nums, 11, false},  {&KeyParamBlock::face_lib_support_size, 0, true},
        {&KeyParamBlock::face_lib_support_size, 31, false}, {&KeyParamBlock::face_lib_support_size, 32, true},
        {&KeyParamBlock::face_lib_support_size, 10000, true}, {&KeyParamBlock::face_lib_support_size, 10001, false},
        {&KeyParamBlock::sys_recv_ratio_sectors, 0, false}, {&KeyParamBlock::recv_clus_multiple, 0, false},
    };
    for (const Case &c : cases) {
        KeyParamBlock k = kp;
        k.*c.field = c.value;
        EXPECT_EQ(key_param_config_valid(&k), c.ok) << c.value;
    }
}

TEST(AreaPlacement, TwoThousandMillionSectors)
{
    KeyParamBlock kp{};
    key_param_set_defaults(&kp);
    PDivP p0{};
    ASSERT_EQ(compute_pdivp(2000000000ull, &kp, 0, &p0), 0);
    EXPECT_EQ(p0.groups, 10u);
    EXPECT_EQ(p0.dir_size, 31744u);
    EXPECT_EQ(p0.index_size, 1984u);
    EXPECT_EQ(p0.mark_file_index_block_size, 2944u);
    EXPECT_EQ(p0.special_info_block_size, 3072u);
    EXPECT_EQ(p0.mark_file_info_block_size, 2944u + 3072u);
    EXPECT_EQ(p0.dir_offset, 10240u);
    EXPECT_EQ(p0.backdir_offset, 10240u + 31744u);
    EXPECT_EQ(p0.ext_dir_offset, 327680u);
    EXPECT_EQ(p0.index_offset, 645120u);
    EXPECT_EQ(p0.lock_file_info_off, 665088u);
    EXPECT_EQ(p0.mark_file_info_off, 677376u);
    EXPECT_EQ(p0.face_lib_param_offset, 1226752u);
    EXPECT_EQ(p0.cur_face_lib_record_offset, 1234944u);
    EXPECT_EQ(p0.face_lib_record_block_size, 6400u);
    EXPECT_EQ(p0.face_pic_offset, 1260544u);
    EXPECT_EQ(p0.face_pic_block_size, 132096u);
    EXPECT_EQ(p0.face_pic_index_size, 1280u);
    EXPECT_EQ(p0.face_area_size, 430080u);
    EXPECT_EQ(p0.sys_area_end, 1656832u);
    EXPECT_EQ(p0.recovery_sectors, 2000000u);
    EXPECT_EQ(p0.data_offset, 3656960u);
    EXPECT_EQ(p0.total_cluster, 487388u);
    EXPECT_EQ(p0.rev_clus, 128u);

    // Other partitions carry no face library.
    PDivP p1{};
    ASSERT_EQ(compute_pdivp(2000000000ull, &kp, 1, &p1), 0);
    EXPECT_EQ(p1.face_lib_param_offset, 1226752u);
    EXPECT_EQ(p1.cur_face_lib_record_offset, 1226752u);
    EXPECT_EQ(p1.face_pic_offset, 1226752u);
    EXPECT_EQ(p1.face_lib_record_block_size, 0u);
    EXPECT_EQ(p1.face_area_size, 2048u);
    EXPECT_EQ(p1.sys_area_end, 1228800u);
    EXPECT_EQ(p1.data_offset, 3228928u);
    EXPECT_EQ(p1.total_cluster, 487492u);
    EXPECT_EQ(p1.rev_clus, 128u);

    // Into the key-parameter block, with the derived ends.
    KeyParamBlock out = kp;
    key_param_apply_pdivp(&p0, 0, &out);
    EXPECT_EQ(out.total_sectors, 2000000000ull);
    EXPECT_EQ(out.lock_file_end, 665088u + 3072u);
    EXPECT_EQ(out.mark_file_end, 677376u + 2944u + 3072u);
    EXPECT_EQ(out.face_lib_record_end, 1234944u + 6400u);
    EXPECT_EQ(out.face_pic_end, 1260544u + 132096u);
    EXPECT_EQ(out.version, 4);
    EXPECT_EQ(out.check_word, WFS_CHECK_WORD);
    EXPECT_TRUE(key_param_valid(&out, 0));
}

TEST(AreaPlacement, LargeSmallAndRefusedPartitions)
{
    KeyParamBlock kp{};
    key_param_set_defaults(&kp);
    // A large disk: more reserved clusters once total_cluster passes 2^21.
    PDivP big{};
    const uint64_t T = 16ull * 1000 * 1000 * 1000 * 2;  // 16 TB in sectors
    ASSERT_EQ(compute_pdivp(T, &kp, 1, &big), 0);
    EXPECT_GT(big.total_cluster, 2097152u);
    EXPECT_EQ(big.rev_clus, 2u * ((big.total_cluster / 2097152u * 262144u + 262144u) / 4096u));
    EXPECT_LT(static_cast<uint64_t>(big.data_offset) + static_cast<uint64_t>(big.total_cluster) * 4096, T + 1);
    // Too small for the system areas, or a configuration out of range.
    PDivP p{};
    EXPECT_EQ(compute_pdivp(1000000, &kp, 0, &p), -1);
    EXPECT_EQ(compute_pdivp(0, &kp, 1, &p), -1);
    KeyParamBlock zero_ratio = kp;
    zero_ratio.sys_recv_ratio_sectors = 0;
    EXPECT_EQ(compute_pdivp(2000000000ull, &zero_ratio, 1, &p), -1);
    // An area base moves everything along.
    KeyParamBlock based = kp;
    based.area_base = 256;
    ASSERT_EQ(compute_pdivp(2000000000ull, &based, 1, &p), 0);
    EXPECT_EQ(p.dir_offset, 10240u + 256u);
}

TEST(PartitionParamRecord, ByteMapping)
{
    std::vector<uint8_t> s = offset_pattern(84);  // the 336 bytes of the block
    s[8] = 0x11;                                  // generation
    s[9] = 0x22;                                  // collision_dirty
    DriverParam p{};
    uint32_t collisions[COLLISION_ENTRIES];
    p.collision_clusters = collisions;
    p.next = &p;
    EXPECT_EQ(decode_partition_param(s.data(), &p), -1) << "check word is not 0x789ABCDE";
    EXPECT_EQ(p.generation, 0x11);
    EXPECT_EQ(p.collision_dirty, 0x22);
    EXPECT_EQ(p.status, 0x1000u + 12);
    EXPECT_EQ(p.current_cluster, 0x1000u + 24);
    EXPECT_EQ(p.end_time2, 0x1000u + 40);
    EXPECT_EQ(p.sec_per_clus, 0x1000u + 48);
    EXPECT_EQ(p.rev_clus, 0x1000u + 56);
    EXPECT_EQ(p.temp_off, 0x1000u + 64);
    EXPECT_EQ(p.data_offset, 0x1000u + 72);
    EXPECT_EQ(p.total_cluster, 0x1000u + 76);
    EXPECT_EQ(p.driver_type, 0x1000u + 84);
    EXPECT_EQ(p.ud_last_item, 0x1000u + 104);
    EXPECT_EQ(p.dev, 0x1000u + 108);
    EXPECT_EQ(p.index_restore_point, 0x1000 + 116);
    EXPECT_EQ(p.part, 0x1000u + 140);
    EXPECT_EQ(p.bad_status, 0x1000u + 152);
    EXPECT_EQ(p.collision_offset, 0x1000u + 156);
    EXPECT_EQ(p.collision_count, 0x1000u + 160);
    EXPECT_EQ(p.sys_area_end, 0x1000u + 176);
    EXPECT_EQ(p.extra_area2_size, 0x1000u + 188);
    EXPECT_EQ(ld_32(p.carried_192), 0x1000u + 192);
    EXPECT_EQ(p.start_sector, (0x1000u + 224) | (uint64_t{0x1000 + 228} << 32));
    EXPECT_EQ(p.backdir_offset, 0x1000u + 236);
    EXPECT_EQ(p.face_lib_param_offset, 0x1000u + 240);
    EXPECT_EQ(p.lock_file_info_off, 0x1000u + 248);
    EXPECT_EQ(p.mark_file_info_off, 0x1000u + 256);
    EXPECT_EQ(p.mark_area_end, 0x1000u + 264);
    EXPECT_EQ(ld_32(p.carried_272 + 48), 0x1000u + 320);
    EXPECT_EQ(p.protected_flag, 0x1000u + 324);
    EXPECT_EQ(p.check_word, 0x1000u + 328);
    // Runtime fields are not touched by decoding.
    EXPECT_EQ(p.collision_clusters, collisions);
    EXPECT_EQ(p.next, &p);

    // Back to bytes: every copied byte as it was; the bytes that are not
    // copied keep what the target sector held.
    std::vector<uint8_t> out(512, 0xEE);
    encode_partition_param(&p, out.data());
    for (int i = 0; i < 512; ++i) {
        bool not_copied = (i >= 120 && i < 136) || (i >= 168 && i < 176) || (i >= 244 && i < 248) || i >= 332;
        if (not_copied)
            ASSERT_EQ(out[i], 0xEE) << i;
        else
            ASSERT_EQ(out[i], s[i]) << i;
    }
    st_32(s.data() + 328, WFS_CHECK_WORD);
    EXPECT_EQ(decode_partition_param(s.data(), &p), 0);
}

TEST(PartitionParamRecord, GeometryAndClusters)
{
    DriverParam p{};
    p.start_sector = 5000000000ull;
    p.data_offset = 3656960;
    p.sec_per_clus = 4096;
    p.total_cluster = 487388;
    EXPECT_EQ(cluster_to_sector(&p, 0), 5000000000ull + 3656960);
    EXPECT_EQ(cluster_to_sector(&p, 487387), 5000000000ull + 3656960 + 487387ull * 4096);
    EXPECT_TRUE(driver_geometry_ok(&p, 2000000000ull));
    EXPECT_FALSE(driver_geometry_ok(&p, 1999999999ull - 3656960));
    DriverParam q = p;
    q.sec_per_clus = 0;
    EXPECT_FALSE(driver_geometry_ok(&q, 2000000000ull));
    q.sec_per_clus = 3000;
    EXPECT_FALSE(driver_geometry_ok(&q, 2000000000ull));
    q = p;
    q.total_cluster = 0;
    EXPECT_FALSE(driver_geometry_ok(&q, 2000000000ull));
    q = p;
    q.total_cluster = 0xFFFFFFFFu;  // would wrap in 32 bits
    EXPECT_FALSE(driver_geometry_ok(&q, 2000000000ull));
}

TEST(SmallRecords, CollisionSectorAndFaceLibrary)
{
    uint32_t in[COLLISION_ENTRIES], out[COLLISION_ENTRIES];
    for (int i = 0; i < COLLISION_ENTRIES; ++i)
        in[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
    std::vector<uint8_t> s = sector();
    encode_collision_sector(in, s.data());
    EXPECT_EQ(s[4], 0x08);  // little-endian, entry 1 = 0x02040608
    EXPECT_EQ(s[7], 0x02);
    decode_collision_sector(s.data(), out);
    EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);

    std::vector<uint8_t> f = sector();
    std::memcpy(f.data(), "FACELIB", 8);
    EXPECT_TRUE(face_lib_record_valid(f.data()));
    f[7] = '2';
    EXPECT_FALSE(face_lib_record_valid(f.data()));
    f[7] = 0;
    f[0] = 'f';
    EXPECT_FALSE(face_lib_record_valid(f.data()));
}

}  // namespace
