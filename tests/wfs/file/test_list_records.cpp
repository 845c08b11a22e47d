// The recording list on a real recorder image: order, direction, capacity,
// and each of its filters.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/file_list.h"
#include "wfs/file/handle.h"
#include "wfs/file/status.h"
#include "wfs/volume/mount.h"

namespace {

using testimg::pack_time;

const uint32_t kAllTypes = 0xFFFFFFFFu;
const uint32_t kAllDrivers = 0x7Fu;  // every driver type, video and pictures

class RecordingList : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        char tmpl[] = "/tmp/orvelle-list-XXXXXX";
        s_dir = mkdtemp(tmpl);
        s_path = s_dir + "/disk.img";
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        auto add = [&](uint8_t ch, uint32_t start, uint32_t dur, auto tweak) {
            testimg::RecordingPlan r;
            r.channel = ch;
            r.start_time = start;
            r.duration = dur;
            tweak(r);
            return b.add(r);
        };
        auto none = [](testimg::RecordingPlan &) {};
        add(0, pack_time(2024, 5, 1, 10, 0, 0), 60, none);                                            // 0
        add(0, pack_time(2024, 5, 1, 10, 2, 0), 2, none);                                             // 1 too short
        add(0, pack_time(2024, 5, 1, 10, 3, 0), 60, [](testimg::RecordingPlan &r) { r.stream_type = 1; });  // 2
        add(0, pack_time(2024, 5, 1, 10, 5, 0), 60, [](testimg::RecordingPlan &r) {                   // 3
            r.alarm = 1;
            r.sub_type = 5;
            r.sub_type2 = 2;
            r.high_bits = 6;
            r.ext_attr1 = 7;
            r.ext_attr2 = 9;
            r.ext_mask = 0x80000001u;
        });
        add(0, pack_time(2024, 5, 1, 10, 7, 0), 1, [](testimg::RecordingPlan &r) { r.picture = true; });  // 4
        add(0, pack_time(2024, 5, 1, 10, 8, 0), 60, [](testimg::RecordingPlan &r) { r.deleted = true; });  // 5
        add(1, pack_time(2024, 5, 1, 10, 0, 0), 60, none);                                            // 6
        add(0, pack_time(2024, 5, 1, 23, 59, 0), 120, [](testimg::RecordingPlan &r) { r.stream_type = 3; });  // 7
        add(0, pack_time(2024, 5, 2, 9, 0, 0), 30, none);                                             // 8
        std::string err;
        ASSERT_TRUE(b.build(s_path, &s_manifest, &err)) << err;
    }

    static void TearDownTestSuite()
    {
        close_recorder_disks();
        clear_registered_drives();
        unlink(s_path.c_str());
        rmdir(s_dir.c_str());
    }

    void SetUp() override
    {
        clear_registered_drives();
        set_images_only(true);
        register_image_file(s_path.c_str());
        scan_recorder_disks();
        int count = 0;
        wfs_file_sys_init(&count, 0);
        ASSERT_EQ(count, 1);
        m_handles = wfs_file_handles_in_use();
    }
    void TearDown() override { EXPECT_EQ(wfs_file_handles_in_use(), m_handles); }

    // Ids (order of adding) of what the list returns.
    std::vector<int> ids(uint8_t ch, uint32_t from, uint32_t to, uint32_t capacity = 100,
                         uint32_t types = kAllTypes, int take = 0, uint32_t drivers = kAllDrivers,
                         uint8_t stream = 2, unsigned *status = nullptr)
    {
        std::vector<file_info_v2> out(capacity);
        uint32_t n = capacity;
        unsigned st = wfs_file_list(ch, from, to, &n, out.data(), types, take, drivers, stream);
        if (status)
            *status = st;
        EXPECT_EQ(st, n ? FS_OK : FS_NO_EXIST_FILE);
        std::vector<int> got;
        for (uint32_t i = 0; i < n; ++i)
            got.push_back(id_of(out[i]));
        return got;
    }

    int id_of(const file_info_v2 &fi) const
    {
        for (const auto &r : s_manifest.recordings)
            if (r.first_cluster == fi.first_cluster_no)
                return r.id;
        return -1;
    }

    static std::string s_dir, s_path;
    static testimg::Manifest s_manifest;
    int m_handles = 0;
};

std::string RecordingList::s_dir, RecordingList::s_path;
testimg::Manifest RecordingList::s_manifest;

const uint32_t kDay1 = pack_time(2024, 5, 1, 0, 0, 0);
const uint32_t kDay3 = pack_time(2024, 5, 3, 0, 0, 0);

TEST_F(RecordingList, ForwardBackwardAndEmptyRanges)
{
    // Short video, deleted, and stream-type-3 recordings that pass midnight are left out.
    EXPECT_EQ(ids(0, kDay1, kDay3), (std::vector<int>{0, 2, 3, 4, 8}));
    EXPECT_EQ(ids(0, kDay3, kDay1), (std::vector<int>{8, 4, 3, 2, 0}));
    EXPECT_EQ(ids(1, kDay1, kDay3), (std::vector<int>{6}));
    EXPECT_TRUE(ids(5, kDay1, kDay3).empty());
    unsigned st = 0;
    EXPECT_TRUE(ids(0, kDay1, kDay1, 100, kAllTypes, 0, kAllDrivers, 2, &st).empty());
    EXPECT_EQ(st, FS_NO_EXIST_FILE);
}

TEST_F(RecordingList, CapacityAndCounting)
{
    EXPECT_EQ(ids(0, kDay1, kDay3, 2), (std::vector<int>{0, 2}));
    uint32_t n = 0;
    EXPECT_EQ(wfs_file_list(0, kDay1, kDay3, &n, nullptr, kAllTypes, 0, kAllDrivers, 2), FS_OK);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(wfs_file_list(0, kDay1, kDay3, nullptr, nullptr, kAllTypes, 0, kAllDrivers, 2), FS_NO_EXIST_FILE);
}

TEST_F(RecordingList, TypeKindAndStreamFilters)
{
    EXPECT_EQ(ids(0, kDay1, kDay3, 100, kAllTypes & ~2u), (std::vector<int>{0, 2, 4, 8}));  // no type 1
    EXPECT_EQ(ids(0, kDay1, kDay3, 100, kAllTypes, 0, 0x01), (std::vector<int>{0, 2, 3, 8}));  // video
    EXPECT_EQ(ids(0, kDay1, kDay3, 100, kAllTypes, 0, 0x10), std::vector<int>{});  // no type-4 driver
    EXPECT_EQ(ids(0, kDay1, kDay3, 100, kAllTypes, 0, 0x13), (std::vector<int>{0, 2, 3, 4, 8}));  // bit 0 admits video, bit 4 pictures
    EXPECT_EQ(ids(0, kDay1, kDay3, 100, kAllTypes, 0, kAllDrivers, 1), (std::vector<int>{2}));
    EXPECT_EQ(ids(0, kDay1, kDay3, 100, kAllTypes, 0, kAllDrivers, 0), (std::vector<int>{0, 3, 4, 8}));
}

TEST_F(RecordingList, RangeEdges)
{
    // A recording running at the start of the range is included; one that
    // ends exactly there is not.
    EXPECT_EQ(ids(0, pack_time(2024, 5, 1, 10, 0, 30), kDay3).front(), 0);
    EXPECT_EQ(ids(0, pack_time(2024, 5, 1, 10, 1, 0), kDay3).front(), 2);
    // Nothing starting at or after the end of the range.
    EXPECT_EQ(ids(0, kDay1, pack_time(2024, 5, 1, 10, 3, 0)), (std::vector<int>{0}));
}

TEST_F(RecordingList, RecordsCarryTheDirectoryFields)
{
    std::vector<file_info_v2> out(10);
    uint32_t n = 10;
    ASSERT_EQ(wfs_file_list(0, kDay1, kDay3, &n, out.data(), kAllTypes, 0, kAllDrivers, 2), FS_OK);
    for (uint32_t i = 0; i < n; ++i) {
        const file_info_v2 &fi = out[i];
        const testimg::ManifestRecording &r = s_manifest.recordings.at(id_of(fi));
        EXPECT_EQ(fi.channel, r.channel);
        EXPECT_EQ(fi.alarm, r.alarm);
        EXPECT_EQ(fi.av, r.av);
        EXPECT_EQ(fi.repeat_no, r.repeat_no);
        EXPECT_EQ(fi.disk, 0);
        EXPECT_EQ(fi.part, 0);
        EXPECT_EQ(fi.start_time, r.start_time);
        EXPECT_EQ(fi.end_time, r.end_time);
        EXPECT_EQ(fi.file_len, r.file_len_kb);
        EXPECT_EQ(file_info_v2_stream_type(&fi), r.stream_type);
        EXPECT_EQ(fi.sub_type, r.sub_type);
        EXPECT_EQ(fi.sub_type2, r.sub_type2);
        EXPECT_EQ(fi.type_bits >> 4, r.high_bits);
        EXPECT_EQ(fi.ext_attr1, r.ext_attr1);
        EXPECT_EQ(fi.ext_attr2, r.ext_attr2);
        EXPECT_EQ(fi.ext_mask, r.ext_mask);
    }
}

}  // namespace
