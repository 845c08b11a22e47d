// Initialisation and mount over images made by the independent test-image
// builder: which partitions mount, what their drivers hold, the
// work-driver rings, the time sections and what wfs_get_driver_info
// reports, checked against the builder's manifest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wfs/volume/image_mount.h"
#include "tests/wfs/volume/mini_volume.h"
#include "wfs/file/records.h"

using namespace imgmount;
using testimg::pack_time;

namespace {

std::vector<std::string> g_log;
void capture(WfsLogKind, const char *name, const char *text, void *)
{
    g_log.push_back(std::string(name ? name : "") + "|" + text);
}
int count_said(const std::string &needle)
{
    int n = 0;
    for (const std::string &m : g_log)
        n += m.find(needle) != std::string::npos;
    return n;
}

class Mount : public ::testing::Test {
protected:
    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        wfs_log_set_hook(capture, nullptr);
        g_log.clear();
    }
    void TearDown() override
    {
        wfs_log_set_hook(nullptr, nullptr);
        unmount_all();
    }
};

// Total and free space as the manifest computes them from the layout.
void expect_space(const DriverInfo &info, const testimg::ManifestPartition &mp)
{
    EXPECT_EQ(info.total_space, mp.total_mib);
    EXPECT_EQ(info.free_space, mp.free_mib);
}

TEST_F(Mount, OnePartitionWithRecordings)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    b.add(rec(1, pack_time(2024, 5, 1, 10, 0, 0), 60));
    b.add(rec(0, pack_time(2024, 5, 1, 11, 0, 0), 120));
    const std::string path = temp_path("one");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);

    int count = 0;
    EXPECT_EQ(mount_images({path}, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(wfs_disk_count(), 1);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->dev, 0u);
    EXPECT_EQ(pdp->part, 0u);
    EXPECT_EQ(pdp->start_sector, mp.start);
    EXPECT_EQ(pdp->total_cluster, mp.layout.total_cluster);
    EXPECT_EQ(pdp->rev_clus, mp.layout.rev_clus);
    EXPECT_EQ(pdp->dir_offset, mp.layout.dir_offset);
    EXPECT_EQ(pdp->index_offset, mp.layout.index_offset);
    EXPECT_EQ(pdp->current_cluster, mp.current_cluster);
    EXPECT_EQ(pdp->start_time1, mp.start_time1);
    EXPECT_EQ(pdp->end_time1, mp.end_time1);
    EXPECT_EQ(pdp->status, 170u);
    EXPECT_EQ(get_pdp(0, 1), nullptr);
    EXPECT_EQ(get_work_driver(DRIVER_TYPE_RECORD), pdp);
    EXPECT_EQ(get_work_driver_count(DRIVER_TYPE_RECORD), 1);
    EXPECT_EQ(pdp->next, pdp);

    // Section 0 covers the current pass, section 1 (no previous pass) is empty.
    ASSERT_EQ(time_section_count(pdp), 2);
    const TimeSection *ts = pdp->time_sections;
    EXPECT_EQ(ts[0].start_clus, mp.layout.rev_clus);
    EXPECT_EQ(ts[0].end_clus, mp.current_cluster);
    EXPECT_EQ(ts[0].start_time, mp.start_time1);
    EXPECT_EQ(ts[1].end_clus, 0u);
    EXPECT_EQ(ts[0].owner, pdp);

    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.driver_type, 0u);
    EXPECT_EQ(info.is_work, 1u);
    EXPECT_EQ(info.section_count, 2u);
    EXPECT_EQ(info.bad_status, 0u);
    expect_space(info, mp);
    EXPECT_EQ(info.start_time1, mp.start_time1);
    EXPECT_EQ(info.end_time1, mp.end_time1);
    // The current pass starts below the current cluster, so it widens the
    // second range, whose start (start_time2 = 0) stays 0.
    EXPECT_EQ(info.start_time2, 0u);
    wfs_time end_of_current = 0;
    ASSERT_EQ(get_dir_item_time1(pdp, pdp->current_cluster, &end_of_current), FS_OK);
    EXPECT_EQ(info.end_time2, end_of_current);
    // The scan leaves ide_mask 0: no disk has a port, disk 0's port index
    // comes out as 8, and no lookup failure is reported for it.
    EXPECT_EQ(info.port_index, 8u);
    EXPECT_EQ(count_said("to index"), 0);

    DriverInfo none{};
    none.total_space = 1234;
    EXPECT_EQ(wfs_get_driver_info(0, 1, &none), 1);
    EXPECT_EQ(none.total_space, 1234u) << "an unmounted partition leaves the record alone";
    EXPECT_EQ(wfs_get_driver_info(5, 0, &none), 1);
}

TEST_F(Mount, EmptyPartitionHasNoSectionsAndAllItsSpaceFree)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    const std::string path = temp_path("empty");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);
    EXPECT_EQ(mount_images({path}), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->current_cluster, 0u);
    const TimeSection *ts = pdp->time_sections;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ts[i].start_clus, 0u);
        EXPECT_EQ(ts[i].end_clus, 0u);
        EXPECT_EQ(ts[i].start_time, 0u);
        EXPECT_EQ(ts[i].owner, pdp);
    }
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    uint64_t tc = mp.layout.total_cluster;
    EXPECT_EQ(info.free_space, (tc - (tc / 2097152 + 1)) * mp.sec_per_clus / 2048);
    expect_space(info, mp);
}

TEST_F(Mount, RecordingAndPicturePartitionsFormTheirOwnRings)
{
    testimg::DiskPlan disk;
    testimg::PartitionPlan pic;
    pic.driver_type = testimg::kDriverPicture;
    disk.partitions.push_back(pic);
    testimg::ImageBuilder b{disk};
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60, 0));
    testimg::RecordingPlan p = rec(0, pack_time(2024, 5, 1, 10, 0, 5), 1, 1);
    p.picture = true;
    b.add(p);
    const std::string path = temp_path("two_parts");
    testimg::Manifest m = build(b, path);

    int count = 0;
    EXPECT_EQ(mount_images({path}, &count), 0);
    EXPECT_EQ(count, 2);
    DriverParam *rec0 = get_pdp(0, 0);
    DriverParam *pic1 = get_pdp(0, 1);
    ASSERT_NE(rec0, nullptr);
    ASSERT_NE(pic1, nullptr);
    EXPECT_EQ(pic1->start_sector, m.partitions.at(1).start);
    EXPECT_EQ(get_work_driver(DRIVER_TYPE_RECORD), rec0);
    EXPECT_EQ(get_work_driver(DRIVER_TYPE_PICTURE), pic1);
    EXPECT_EQ(get_work_driver_count(DRIVER_TYPE_PICTURE), 1);
    for (int part = 0; part < 2; ++part) {
        DriverInfo info{};
        ASSERT_EQ(wfs_get_driver_info(0, part, &info), 0);
        EXPECT_EQ(info.driver_type, part == 0 ? 0u : 4u);
        EXPECT_EQ(info.is_work, 1u);
        expect_space(info, m.partitions.at(part));
    }
}

TEST_F(Mount, TwoDisksAreNumberedInOrderAndGetTheirPortIndex)
{
    testimg::ImageBuilder a{testimg::DiskPlan{}};
    a.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    testimg::DiskPlan d1;
    d1.disk_no = 1;
    d1.mbr = false;
    testimg::ImageBuilder b{d1};
    b.add(rec(2, pack_time(2024, 5, 3, 8, 0, 0), 60));
    const std::string pa = temp_path("disk_a"), pb = temp_path("disk_b");
    testimg::Manifest ma = build(a, pa), mb = build(b, pb);

    int count = 0;
    EXPECT_EQ(mount_images({pa, pb}, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(wfs_disk_count(), 2);
    DriverParam *p0 = get_pdp(0, 0), *p1 = get_pdp(1, 0);
    ASSERT_NE(p0, nullptr);
    ASSERT_NE(p1, nullptr);
    EXPECT_EQ(p1->dev, 1u);
    EXPECT_EQ(p1->current_cluster, mb.partitions[0].current_cluster);
    // The disk with the newer recordings heads the ring; the older one follows.
    EXPECT_EQ(get_work_driver(DRIVER_TYPE_RECORD), p1);
    EXPECT_EQ(get_work_driver_count(DRIVER_TYPE_RECORD), 2);
    EXPECT_EQ(p1->next, p0);
    EXPECT_EQ(p0->next, p1);
    EXPECT_EQ(p1->prev, p0);
    EXPECT_EQ(count_said("WFS1|2-1 5/3-8:0:0 ~ 5/3-8:1:0"), 1);
    EXPECT_EQ(count_said("WFS1|1-1 5/1-10:0:0"), 1);

    g_log.clear();
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(1, 0, &info), 0);
    EXPECT_EQ(info.port_index, 9u);
    EXPECT_EQ(info.is_work, 1u);
    expect_space(info, mb.partitions[0]);
    EXPECT_EQ(count_said("to index"), 0);
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.port_index, 8u);
    EXPECT_EQ(info.is_work, 0u);
    expect_space(info, ma.partitions[0]);

    // A mask that names a port for the first disk only: the second disk's
    // lookup really fails, and says so.
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    register_image_file(pa.c_str());
    register_image_file(pb.c_str());
    scan_recorder_disks();
    g_ide_info_wfs.ide_mask = 0x4;
    ASSERT_EQ(wfs_file_sys_init(&count, 0), 0);
    g_log.clear();
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.port_index, 2u);
    EXPECT_EQ(count_said("to index"), 0);
    ASSERT_EQ(wfs_get_driver_info(1, 0, &info), 0);
    EXPECT_EQ(info.port_index, 8u);
    EXPECT_EQ(count_said("wfs_get_driver_info disk number(1) to index (8) failed"), 1);
    expect_space(info, mb.partitions[0]);
}

TEST_F(Mount, WrappedRingHasAnOlderStretchAndNoFreeSpace)
{
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = 400;  // a small ring that the recordings overrun
    disk.partitions[0].rev_clus = 2;
    testimg::ImageBuilder b{disk};
    for (int h = 0; h < 3; ++h)
        b.add(rec(0, pack_time(2024, 5, 1, 10 + h, 0, 0), 120));
    const std::string path = temp_path("wrapped");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);
    ASSERT_NE(mp.start_cluster2, 0u) << "the builder did not wrap the ring";

    EXPECT_EQ(mount_images({path}), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    EXPECT_EQ(pdp->current_cluster, mp.current_cluster);
    EXPECT_EQ(pdp->start_cluster2, mp.start_cluster2);
    EXPECT_EQ(pdp->end_cluster2, mp.end_cluster2);

    const TimeSection *ts = pdp->time_sections;
    EXPECT_EQ(ts[0].start_clus, pdp->rev_clus);
    EXPECT_EQ(ts[0].end_clus, pdp->current_cluster);
    EXPECT_EQ(ts[1].start_clus, pdp->current_cluster + 1);
    EXPECT_EQ(ts[1].end_clus, pdp->end_cluster2);
    EXPECT_EQ(ts[1].end_time, pdp->end_time2);
    EXPECT_TRUE(time_section_valid(&ts[1]));

    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.free_space, 0u);
    expect_space(info, mp);
    // The older stretch starts above the current cluster and widens the
    // first range.
    EXPECT_EQ(info.start_time1, std::min(pdp->start_time1, ts[1].start_time));
    EXPECT_EQ(info.end_time1, std::max(pdp->end_time1, ts[1].end_time));
}

TEST_F(Mount, TimeCollisionsCutTheRingIntoSections)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    b.add(rec(0, pack_time(2024, 5, 1, 12, 0, 0), 120));
    b.new_write_phase();  // the clock was set back an hour
    b.add(rec(0, pack_time(2024, 5, 1, 11, 0, 0), 120));
    const std::string path = temp_path("collision");
    testimg::Manifest m = build(b, path);
    const testimg::ManifestPartition &mp = m.partitions.at(0);
    ASSERT_EQ(mp.collisions.size(), 1u);
    const uint32_t c = mp.collisions[0];

    EXPECT_EQ(mount_images({path}), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    ASSERT_EQ(pdp->collision_count, 1u);
    EXPECT_EQ(pdp->collision_clusters[0], c);
    ASSERT_EQ(time_section_count(pdp), 3);
    const TimeSection *ts = pdp->time_sections;
    EXPECT_EQ(ts[0].start_clus, pdp->rev_clus);
    EXPECT_EQ(ts[0].end_clus, c - 1);
    EXPECT_EQ(ts[0].start_time, pack_time(2024, 5, 1, 12, 0, 0));
    EXPECT_EQ(ts[1].start_clus, c);
    EXPECT_EQ(ts[1].start_time, pack_time(2024, 5, 1, 11, 0, 0));
    EXPECT_EQ(ts[1].end_clus, pdp->current_cluster);
    EXPECT_EQ(ts[2].end_clus, 0u);
    EXPECT_EQ(pdp->collision_split, 1u);

    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.section_count, 3u);
    expect_space(info, mp);
    // Both sections lie below the current cluster: the second range spans them.
    EXPECT_EQ(info.start_time2, 0u);
    EXPECT_EQ(info.end_time2, ts[0].end_time);
}

TEST_F(Mount, GenerationMakesADriverASecondChoice)
{
    testimg::ImageBuilder a{testimg::DiskPlan{}};
    a.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    testimg::DiskPlan d1;
    d1.disk_no = 1;
    d1.partitions[0].generation = 1;
    testimg::ImageBuilder b{d1};
    b.add(rec(0, pack_time(2024, 6, 1, 10, 0, 0), 60));  // newer, but of another generation
    const std::string pa = temp_path("gen_a"), pb = temp_path("gen_b");
    build(a, pa);
    build(b, pb);
    EXPECT_EQ(mount_images({pa, pb}), 0);
    EXPECT_EQ(get_work_driver(DRIVER_TYPE_RECORD), get_pdp(0, 0));
    EXPECT_EQ(get_work_driver_count(DRIVER_TYPE_RECORD), 2);
}

TEST_F(Mount, DriverTypeAboveSevenBecomesReadOnlyAfterOneReport)
{
    testimg::DiskPlan disk;
    disk.partitions[0].driver_type = 9;
    testimg::ImageBuilder b{disk};
    const std::string path = temp_path("type9");
    build(b, path);
    EXPECT_EQ(mount_images({path}), WFS_INIT_NO_RECORD_DRIVER);
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.driver_type, 9u);
    EXPECT_EQ(info.is_work, 0u);
    EXPECT_EQ(count_said("wfs_get_driver_info() DISK Set to ReadOnly!"), 1);
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.driver_type, 1u);
}

TEST_F(Mount, BadPartitionIsMountedButLeftOutOfTheRings)
{
    testimg::DiskPlan disk;
    disk.partitions[0].bad_status = 15;
    testimg::ImageBuilder b{disk};
    const std::string path = temp_path("bad");
    build(b, path);
    int count = 7;
    EXPECT_EQ(mount_images({path}, &count), WFS_INIT_NO_RECORD_DRIVER);
    EXPECT_EQ(count, 0);
    ASSERT_NE(get_pdp(0, 0), nullptr);
    DriverInfo info{};
    ASSERT_EQ(wfs_get_driver_info(0, 0, &info), 0);
    EXPECT_EQ(info.bad_status, 15u);
    EXPECT_EQ(info.is_work, 0u);
}

TEST_F(Mount, ReinitialisationStartsFromScratchAndRaisesTheGeneration)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));
    const std::string path = temp_path("reinit");
    build(b, path);
    static int hook_calls = 0;
    hook_calls = 0;
    WfsInitHook hook = [] { ++hook_calls; };
    ASSERT_EQ(wfs_add_init_hook(hook), 0);
    ASSERT_EQ(wfs_add_init_hook(hook), 0);

    mount_images({path});
    uint32_t g1 = wfs_fs_generation();
    DriverParam *first = get_pdp(0, 0);
    mount_images({path});
    EXPECT_GT(wfs_fs_generation(), g1);
    EXPECT_EQ(hook_calls, 2) << "the hook runs once per initialisation";
    EXPECT_EQ(get_pdp(0, 0), first) << "the same slot is used again";
    int used = 0;
    for (const DriverParam &d : g_drivers)
        used += driver_slot_used(&d);
    EXPECT_EQ(used, 1);
    wfs_remove_init_hook(hook);
    mount_images({});
    EXPECT_EQ(hook_calls, 2);
    EXPECT_EQ(get_pdp(0, 0), nullptr);
    EXPECT_EQ(wfs_disk_count(), 0);
}

}  // namespace

namespace {

TEST_F(Mount, RingRunsFromTheNewestDriverThroughTheOthersOldestFirst)
{
    mini::Volume v(60000);
    v.head();
    struct P {
        int h1, h2;  // start and end hour of the partition's recordings
    } hours[] = {{10, 11}, {8, 9}, {12, 13}, {9, 10}};
    uint64_t start = 0;
    for (int i = 0; i < 4; ++i) {
        mini::Part p;
        p.start = start;
        p.current = 40;
        p.start_time1 = mini::ptime(2024, 5, 1, hours[i].h1, 0, 0);
        p.end_time1 = mini::ptime(2024, 5, 1, hours[i].h2, 0, 0);
        v.partition(i, p);
        start += p.size();
    }
    v.attach();
    int count = 0;
    ASSERT_EQ(wfs_file_sys_init(&count, 0), 0);
    EXPECT_EQ(count, 4);
    DriverParam *head = get_work_driver(DRIVER_TYPE_RECORD);
    ASSERT_EQ(head, get_pdp(0, 2));
    std::vector<uint32_t> order;
    DriverParam *d = head;
    do {
        order.push_back(d->part);
        EXPECT_EQ(d->next->prev, d);
        d = d->next;
    } while (d != head && order.size() < 10);
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 1, 3, 0}));
    // Every partition of the disk answers for itself.
    for (int part = 0; part < 4; ++part) {
        DriverInfo info{};
        ASSERT_EQ(wfs_get_driver_info(0, part, &info), 0);
        EXPECT_EQ(info.is_work, part == 2 ? 1u : 0u);
        EXPECT_EQ(info.start_time1, mini::ptime(2024, 5, 1, hours[part].h1, 0, 0));
    }
}

}  // namespace
