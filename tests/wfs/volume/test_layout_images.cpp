// The layout records read back from disk images made by the independent
// test-image builder: found by the scan, read through the cache, decoded,
// and compared with what the builder says it wrote.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/image/image_builder.h"
#include "tests/wfs/device/sparse_image.h"
#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/volume/layout.h"

namespace {

class LayoutOnImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        clear_registered_drives();
        set_images_only(true);
    }
    void TearDown() override
    {
        close_recorder_disks();
        clear_registered_drives();
    }

    // Builds the image, scans it as the only drive and starts a cache.
    void load(const testimg::DiskPlan &plan, const std::vector<testimg::RecordingPlan> &recs)
    {
        testimg::ImageBuilder b(plan);
        for (const testimg::RecordingPlan &r : recs)
            b.add(r);
        std::string err;
        m_path = m_dir.file("disk.img");
        ASSERT_TRUE(b.build(m_path, &m_manifest, &err)) << err;
        register_image_file(m_path.c_str());
        scan_recorder_disks();
        ASSERT_EQ(g_ide_info_wfs.ide_num, 1);
        init_buffers();
    }

    std::vector<uint8_t> block(uint64_t b)
    {
        std::vector<uint8_t> out(512, 0);
        BufferHead *bh = bread(0, b);
        EXPECT_NE(bh, nullptr) << "block " << b;
        if (bh) {
            std::memcpy(out.data(), bh->data, 512);
            release_block(bh);
        }
        return out;
    }

    // Every field the builder reports for a partition, from the disk.
    void check_partition(const testimg::ManifestPartition &mp, uint32_t key_param_offset)
    {
        SCOPED_TRACE("partition " + std::to_string(mp.part));
        KeyParamBlock kp{};
        decode_key_param(block(mp.start + key_param_offset + KEY_PARAM_SECTOR).data(), &kp);
        EXPECT_TRUE(key_param_valid(&kp, key_param_offset));
        EXPECT_EQ(kp.total_sectors, mp.sectors);
        EXPECT_EQ(kp.start_sector, mp.start);
        EXPECT_EQ(kp.dir_offset, mp.layout.dir_offset);
        EXPECT_EQ(kp.backdir_offset, mp.layout.backdir_offset);
        EXPECT_EQ(kp.index_offset, mp.layout.index_offset);
        EXPECT_EQ(kp.ext_dir_offset, mp.layout.ext_dir_offset);
        EXPECT_EQ(kp.lock_file_info_off, mp.layout.lock_file_info_off);
        EXPECT_EQ(kp.mark_file_info_off, mp.layout.mark_file_info_off);
        EXPECT_EQ(kp.face_lib_param_offset, mp.layout.face_lib_param_offset);
        EXPECT_EQ(kp.cur_face_lib_record_offset, mp.layout.cur_face_lib_record_offset);
        EXPECT_EQ(kp.face_pic_offset, mp.layout.face_pic_offset);

        DriverParam p{};
        std::vector<uint8_t> pb = block(mp.start + key_param_offset + PART_PARAM_SECTOR);
        EXPECT_EQ(decode_partition_param(pb.data(), &p), 0);
        EXPECT_EQ(p.sec_per_clus, mp.sec_per_clus);
        EXPECT_EQ(p.bytes_per_sector, 512u);
        EXPECT_EQ(p.data_offset, mp.layout.data_offset);
        EXPECT_EQ(p.total_cluster, mp.layout.total_cluster);
        EXPECT_EQ(p.rev_clus, mp.layout.rev_clus);
        EXPECT_EQ(p.dir_offset, mp.layout.dir_offset);
        EXPECT_EQ(p.backdir_offset, mp.layout.backdir_offset);
        EXPECT_EQ(p.index_offset, mp.layout.index_offset);
        EXPECT_EQ(p.ext_dir_offset, mp.ext_dir ? mp.layout.ext_dir_offset : 0u);
        EXPECT_EQ(p.temp_off, key_param_offset + PART_PARAM_SECTOR);
        EXPECT_EQ(p.driver_type, mp.driver_type);
        EXPECT_EQ(p.generation, mp.generation);
        EXPECT_EQ(p.status, mp.status);
        EXPECT_EQ(p.bad_status, mp.bad_status);
        EXPECT_EQ(p.start_time1, mp.start_time1);
        EXPECT_EQ(p.end_time1, mp.end_time1);
        EXPECT_EQ(p.current_cluster, mp.current_cluster);
        EXPECT_EQ(p.start_cluster2, mp.start_cluster2);
        EXPECT_EQ(p.end_cluster2, mp.end_cluster2);
        EXPECT_EQ(p.start_time2, mp.start_time2);
        EXPECT_EQ(p.end_time2, mp.end_time2);
        EXPECT_EQ(p.collision_count, mp.collisions.size());
        EXPECT_EQ(p.ud_first_item, mp.ud_first_item);
        EXPECT_EQ(p.ud_last_item, mp.ud_last_item);
        EXPECT_TRUE(driver_geometry_ok(&p, mp.sectors));
        p.start_sector = mp.start;
        if (mp.current_cluster != 0) {
            EXPECT_EQ(cluster_to_sector(&p, mp.current_cluster), mp.cluster_sector(mp.current_cluster));
        }

        uint32_t collision_offset = p.collision_offset ? p.collision_offset : p.temp_off + 4;
        uint32_t clusters[COLLISION_ENTRIES];
        decode_collision_sector(block(mp.start + collision_offset).data(), clusters);
        for (size_t i = 0; i < mp.collisions.size() && i < COLLISION_ENTRIES; ++i)
            EXPECT_EQ(clusters[i], mp.collisions[i]);
    }

    sparse::TempDir m_dir;
    std::string m_path;
    testimg::Manifest m_manifest;
};

TEST_F(LayoutOnImages, WholeDiskWithOnePartition)
{
    testimg::DiskPlan plan;  // MBR, base 2048
    testimg::RecordingPlan r;
    r.duration = 120;
    load(plan, {r});
    EXPECT_EQ(g_recorder_disks.base_lba[0], m_manifest.base_lba);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[0], m_manifest.ide_cap);

    std::vector<uint8_t> head = block(0);
    ASSERT_TRUE(volume_head_is_current(head.data()));
    VolumeHead vh;
    decode_volume_head(head.data(), &vh);
    EXPECT_EQ(vh.key_param_offset[0], 0u);

    PartitionTable pt{};
    decode_partition_table(block(vh.key_param_offset[0] + PART_TABLE_SECTOR).data(), &pt);
    EXPECT_FALSE(partition_table_overlaps(&pt));
    ASSERT_EQ(m_manifest.partitions.size(), 1u);
    uint64_t start = 1, total = 0;
    ASSERT_TRUE(partition_table_entry(&pt, 0, &start, &total));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(total, m_manifest.partitions[0].sectors);
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(partition_table_entry(&pt, i, nullptr, nullptr));
    EXPECT_NE(m_manifest.partitions[0].current_cluster, 0u);
    check_partition(m_manifest.partitions[0], vh.key_param_offset[0]);
}

TEST_F(LayoutOnImages, BareOldVolumeWithTwoPartitionsAndParameterOffsets)
{
    testimg::DiskPlan plan;
    plan.mbr = false;
    plan.magic = "WFS0.3";
    plan.partitions.resize(2);
    plan.partitions[1].driver_type = testimg::kDriverPicture;
    plan.partitions[1].key_param_offset = 512;
    plan.partitions[1].generation = 1;
    testimg::RecordingPlan r;
    testimg::RecordingPlan pic;
    pic.partition = 1;
    pic.picture = true;
    load(plan, {r, pic});
    EXPECT_EQ(g_recorder_disks.base_lba[0], 0u);
    EXPECT_EQ(g_ide_info_wfs.ide_cap[0], m_manifest.ide_cap);

    std::vector<uint8_t> head = block(0);
    EXPECT_FALSE(volume_head_is_current(head.data()));
    ASSERT_TRUE(volume_head_is_old(head.data()));
    volume_head_convert(head.data());
    EXPECT_TRUE(volume_head_is_current(head.data()));
    VolumeHead vh;
    decode_volume_head(head.data(), &vh);
    EXPECT_EQ(vh.key_param_offset[1], 512u);

    PartitionTable pt{};
    decode_partition_table(block(vh.key_param_offset[0] + PART_TABLE_SECTOR).data(), &pt);
    EXPECT_FALSE(partition_table_overlaps(&pt));
    ASSERT_EQ(m_manifest.partitions.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        uint64_t start = 0, total = 0;
        ASSERT_TRUE(partition_table_entry(&pt, i, &start, &total));
        EXPECT_EQ(start, m_manifest.partitions[i].start);
        EXPECT_EQ(total, m_manifest.partitions[i].sectors);
        check_partition(m_manifest.partitions[i], vh.key_param_offset[i]);
    }
}

TEST(AreaPlacementAgreement, SameAsTheImageBuilderForRecorderClusters)
{
    // Two independent implementations of the placement rules must agree for
    // the recorder's 4096-sector clusters over a spread of sizes.
    KeyParamBlock kp{};
    key_param_set_defaults(&kp);
    testimg::KeyParamConfig cfg;
    const uint64_t sizes[] = {3000000ull,      8000000ull,          201326592ull + 4096,
                              2000000000ull,   3907029168ull,       7814037168ull,
                              15628053168ull,  (1ull << 35) + 12345};
    for (uint64_t T : sizes) {
        for (int part = 0; part < 2; ++part) {
            SCOPED_TRACE("T=" + std::to_string(T) + " part " + std::to_string(part));
            PDivP mine{};
            testimg::AreaLayout theirs;
            std::string err;
            bool ok_theirs = testimg::compute_area_layout(T, 4096, cfg, part == 0, &theirs, &err);
            int ok_mine = compute_pdivp(T, &kp, part, &mine);
            ASSERT_EQ(ok_mine == 0, ok_theirs) << err;
            if (!ok_theirs)
                continue;
            EXPECT_EQ(mine.groups, theirs.groups);
            EXPECT_EQ(mine.dir_size, theirs.dir_size);
            EXPECT_EQ(mine.index_size, theirs.index_size);
            EXPECT_EQ(mine.mark_file_index_block_size, theirs.mark_file_index_block_size);
            EXPECT_EQ(mine.dir_offset, theirs.dir_offset);
            EXPECT_EQ(mine.backdir_offset, theirs.backdir_offset);
            EXPECT_EQ(mine.ext_dir_offset, theirs.ext_dir_offset);
            EXPECT_EQ(mine.index_offset, theirs.index_offset);
            EXPECT_EQ(mine.lock_file_info_off, theirs.lock_file_info_off);
            EXPECT_EQ(mine.mark_file_info_off, theirs.mark_file_info_off);
            EXPECT_EQ(mine.face_lib_param_offset, theirs.face_lib_param_offset);
            EXPECT_EQ(mine.cur_face_lib_record_offset, theirs.cur_face_lib_record_offset);
            EXPECT_EQ(mine.face_pic_offset, theirs.face_pic_offset);
            EXPECT_EQ(mine.sys_area_end, theirs.system_end);
            EXPECT_EQ(mine.data_offset, theirs.data_offset);
            EXPECT_EQ(mine.total_cluster, theirs.total_cluster);
            EXPECT_EQ(mine.rev_clus, theirs.rev_clus);
        }
    }
}

}  // namespace
