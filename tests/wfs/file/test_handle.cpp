// The handle table on a real recorder image: allocation up to 256 slots,
// validation, generations across re-initialisation, positioning on a
// recording's first cluster, closing, and the queries about a handle.
#include "tests/wfs/file/test_handle_support.h"

#include "wfs/file/path_name.h"
#include "wfs/file/records.h"

using namespace handle_test;

namespace {

class Handles : public ImageSuite<Handles> {
protected:
    static void SetUpTestSuite()
    {
        begin_image("handles.img");
        testimg::ImageBuilder b{testimg::DiskPlan{}};
        testimg::RecordingPlan r;
        r.start_time = testimg::pack_time(2024, 5, 1, 23, 59, 30);  // runs past midnight
        r.duration = 45;
        r.alarm = 3;  // "C"
        b.add(r);
        r.channel = 5;
        r.alarm = 0;
        r.stream_type = 1;
        r.start_time = testimg::pack_time(2024, 5, 1, 23, 59, 40);
        r.duration = 20;
        b.add(r);
        r.channel = 2;
        r.picture = true;
        r.alarm = 12;  // a code the library's name builder has no letter for
        r.start_time = testimg::pack_time(2024, 5, 2, 0, 1, 0);
        r.duration = 1;
        b.add(r);
        std::string err;
        ASSERT_TRUE(b.build(s_path, &s_manifest, &err)) << err;
    }

    void TearDown() override
    {
        // Every test gives back what it took.
        EXPECT_EQ(wfs_file_handles_in_use(), 0);
    }

    static const testimg::ManifestRecording &rec(int id) { return recording(s_manifest, id); }

};


TEST_F(Handles, TableHoldsExactly256OpenHandles)
{
    std::vector<FileHandle *> open;
    for (int i = 0; i < WFS_MAX_FILE_HANDLES; ++i) {
        FileHandle *h = nullptr;
        ASSERT_EQ(wfs_file_open(&h, 1, i & 1), FS_OK) << i;
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->file_flag, (i & 1) ? FILE_FLAG_READ_VARIANT : FILE_FLAG_READ);
        EXPECT_EQ(h->pdp, get_pdp(0, 0));  // bound to the first mounted partition
        open.push_back(h);
    }
    EXPECT_EQ(wfs_file_handles_in_use(), WFS_MAX_FILE_HANDLES);
    FileHandle *none = reinterpret_cast<FileHandle *>(1);
    EXPECT_EQ(wfs_file_open(&none, 1, 0), 1u);
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(said("none available handle"));
    EXPECT_TRUE(said("wfs_file_open() Get the Handle error!"));
    // A freed slot is handed out again.
    FileHandle *freed = open[100];
    EXPECT_EQ(wfs_file_close(freed), FS_OK);
    FileHandle *again = nullptr;
    ASSERT_EQ(wfs_file_open(&again, 1, 0), FS_OK);
    EXPECT_EQ(again, freed);
    for (FileHandle *h : open)
        EXPECT_EQ(wfs_file_close(h), FS_OK);
}

TEST_F(Handles, PointersThatAreNoSlotOfTheTableAreRefused)
{
    FileHandle *h = nullptr;
    ASSERT_EQ(wfs_file_open(&h, 1, 0), FS_OK);
    FileHandle copy = *h;  // a record outside the table
    FileHandle *inside = reinterpret_cast<FileHandle *>(reinterpret_cast<char *>(h) + 4);
    std::vector<uint8_t> buf(512);
    for (FileHandle *bad : {static_cast<FileHandle *>(nullptr), &copy, inside}) {
        messages().clear();
        EXPECT_EQ(wfs_file_read(bad, buf.data(), 1), FS_INVALID_HANDLE);
        EXPECT_EQ(wfs_file_goto_clus(bad, 0, 0, rec(0).first_cluster), FS_INVALID_HANDLE);
        EXPECT_EQ(wfs_get_cur_sector(bad, nullptr), FS_INVALID_HANDLE);
        EXPECT_EQ(wfs_file_close(bad), FS_INVALID_HANDLE);
        EXPECT_TRUE(said("INVALID HANDLE: Src\\file,"));
    }
    // A null handle reports the stamp 0xFFFFFFFF.
    messages().clear();
    wfs_file_close(nullptr);
    EXPECT_TRUE(said(" -1 " + std::to_string(static_cast<int>(wfs_file_generation()))));
    EXPECT_EQ(wfs_file_close(h), FS_OK);
}

TEST_F(Handles, ReinitialisationInvalidatesOldHandlesWithoutHandingTheirSlotsOut)
{
    FileHandle *old_a = open_recording(rec(0));
    FileHandle *old_b = nullptr;
    ASSERT_NE(old_a, nullptr);
    ASSERT_EQ(wfs_file_open(&old_b, 1, 0), FS_OK);
    const uint32_t before = wfs_file_generation();

    ASSERT_GE(mount_images({s_path}), 1);
    EXPECT_NE(wfs_file_generation(), before);
    messages().clear();

    std::vector<uint8_t> buf(512);
    EXPECT_EQ(wfs_file_read(old_a, buf.data(), 1), FS_INVALID_HANDLE);
    EXPECT_EQ(wfs_file_goto_clus(old_b, 0, 0, rec(0).first_cluster), FS_INVALID_HANDLE);
    EXPECT_EQ(wfs_get_file_info2(old_a, nullptr, nullptr, nullptr), FS_INVALID_HANDLE);
    EXPECT_TRUE(said("INVALID HANDLE"));

    // The stale slots stay taken: new handles never alias them.
    EXPECT_EQ(wfs_file_handles_in_use(), 2);
    std::vector<FileHandle *> fresh;
    for (int i = 0; i < WFS_MAX_FILE_HANDLES - 2; ++i) {
        FileHandle *h = nullptr;
        ASSERT_EQ(wfs_file_open(&h, 1, 0), FS_OK);
        EXPECT_NE(h, old_a);
        EXPECT_NE(h, old_b);
        fresh.push_back(h);
    }
    FileHandle *none = nullptr;
    EXPECT_EQ(wfs_file_open(&none, 1, 0), 1u);
    for (FileHandle *h : fresh)
        wfs_file_close(h);

    // The owners' close gives the slots back (and says the handle was stale).
    EXPECT_EQ(wfs_file_close(old_a), FS_INVALID_HANDLE);
    EXPECT_EQ(wfs_file_close(old_b), FS_INVALID_HANDLE);
    EXPECT_EQ(wfs_file_handles_in_use(), 0);
}

TEST_F(Handles, PositionsOnlyOnARecordingsFirstCluster)
{
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = nullptr;
    ASSERT_EQ(wfs_file_open(&h, 1, 0), FS_OK);
    uint64_t pos = 99;
    EXPECT_EQ(wfs_get_cur_sector(h, &pos), FS_OK);
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(wfs_get_file_info(h, nullptr, nullptr, nullptr, nullptr), FS_NO_EXIST_FILE);

    // A cluster in the middle of the recording is loaded but refused.
    ASSERT_GT(r.clusters.size(), 2u);
    EXPECT_EQ(wfs_file_goto_clus(h, 0, 0, r.clusters[1]), FS_NO_EXIST_FILE);
    EXPECT_TRUE(said("wfs_file_goto_clus() first_cluster:"));
    EXPECT_EQ(h->cur_cluster, r.clusters[1]);
    EXPECT_EQ(h->first_cluster, r.first_cluster);
    EXPECT_EQ(h->curr_clus_num, 1u);

    // A partition that is not mounted.
    EXPECT_EQ(wfs_file_goto_clus(h, 0, 3, r.first_cluster), FS_NO_EXIST_FILE);
    EXPECT_TRUE(said("get_pdp failed disk:0, part:3"));
    EXPECT_EQ(wfs_file_goto_clus(h, 7, 0, r.first_cluster), FS_NO_EXIST_FILE);

    // Clusters outside the data area never position the handle.
    const uint32_t total = s_manifest.partitions[0].layout.total_cluster;
    for (uint32_t c : {0u, total, total + 1, 0xFFFFFFFFu}) {
        EXPECT_NE(wfs_file_goto_clus(h, 0, 0, c), FS_OK) << c;
        EXPECT_EQ(h->cur_cluster, 0u) << c;
    }

    ASSERT_EQ(wfs_file_goto_clus(h, 0, 0, r.first_cluster), FS_OK);
    EXPECT_EQ(h->cur_cluster, r.first_cluster);
    EXPECT_EQ(h->cur_offset, 0u);
    EXPECT_EQ(h->curr_clus_num, 0u);
    uint8_t ch = 0, alarm = 0, st = 0, av = 0;
    EXPECT_EQ(wfs_get_file_info(h, &ch, &alarm, &st, &av), FS_OK);
    EXPECT_EQ(ch, r.channel);
    EXPECT_EQ(alarm, r.alarm);
    EXPECT_EQ(st, r.stream_type);
    EXPECT_EQ(av, r.av);
    wfs_file_close(h);
}

TEST_F(Handles, OnlyReadingHandlesArePositioned)
{
    FileHandle *h = wfs_file_alloc_handle(FILE_ALLOC_READ, 0);
    ASSERT_NE(h, nullptr);
    h->file_flag = FILE_FLAG_SUSPENDED;
    EXPECT_EQ(wfs_file_goto_clus(h, 0, 0, rec(0).first_cluster), FS_INVALID_HANDLE);
    EXPECT_TRUE(said("Invalid file read handle!!!!!"));
    EXPECT_EQ(wfs_file_close(h), FS_INVALID_HANDLE);
    EXPECT_TRUE(said("Not a active file handle!!!!!"));
    h->file_flag = FILE_FLAG_READ;
    EXPECT_EQ(wfs_file_close(h), FS_OK);
    // Closing twice is refused the same way.
    EXPECT_EQ(wfs_file_close(h), FS_INVALID_HANDLE);
}

TEST_F(Handles, WritingHandlesNeedAWorkDriverRing)
{
    EXPECT_EQ(wfs_file_alloc_handle(FILE_ALLOC_WRITE, 6), nullptr);  // no driver of type 6
    EXPECT_TRUE(said("none available work driver"));
    EXPECT_EQ(wfs_file_alloc_handle(FILE_ALLOC_WRITE, 99), nullptr);
    FileHandle *h = wfs_file_alloc_handle(FILE_ALLOC_WRITE, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->gen_stamp, wfs_file_generation());
    h->file_flag = FILE_FLAG_READ;
    wfs_file_close(h);
}

TEST_F(Handles, ReportsTheRecordingItStandsOn)
{
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    wfs_time start = 0, end = 0;
    uint32_t kb = 0;
    EXPECT_EQ(wfs_get_file_info2(h, &start, &end, &kb), FS_OK);
    EXPECT_TRUE(said("wfs_get_file_info2()"));
    EXPECT_EQ(start, r.start_time);
    EXPECT_EQ(end, r.end_time);
    EXPECT_EQ(kb, r.file_len_kb);
    uint32_t spc = 0;
    EXPECT_EQ(wfs_get_clus_sectors(h, &spc), FS_OK);
    EXPECT_EQ(spc, s_manifest.partitions[0].sec_per_clus);

    // The first cluster's own duration runs to the start of the second.
    wfs_time clus_start = 0, next_start = 0;
    uint32_t ms = 0, offset = 99;
    ASSERT_EQ(get_dir_item_time(h->pdp, r.clusters[1], &next_start), FS_OK);
    EXPECT_EQ(wfs_get_clus_time(h, &clus_start, &ms, &offset), FS_OK);
    EXPECT_EQ(clus_start, r.start_time);
    EXPECT_EQ(ms, static_cast<uint32_t>(wfs_time_diff(next_start, r.start_time) * 1000));
    EXPECT_EQ(offset, 0u);

    // Still at the old position after it moved on, unpositioned: unchanged.
    std::vector<uint8_t> buf(512 * 3);
    ASSERT_EQ(wfs_file_read(h, buf.data(), 3), FS_OK);
    uint64_t pos = 0;
    EXPECT_EQ(wfs_get_cur_sector(h, &pos), FS_OK);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(wfs_get_cur_sector(h, nullptr), FS_OK);
    wfs_file_close(h);

    FileHandle *idle = nullptr;
    ASSERT_EQ(wfs_file_open(&idle, 1, 0), FS_OK);
    start = 123;
    EXPECT_EQ(wfs_get_file_info2(idle, &start, nullptr, nullptr), FS_OK);
    EXPECT_EQ(start, 123u);
    EXPECT_EQ(wfs_get_clus_time(idle, nullptr, nullptr, nullptr), FS_NO_EXIST_FILE);
    wfs_file_close(idle);
}

TEST_F(Handles, NamesTheRecordingWithTheLibrarysNameBuilder)
{
    // Start date, channel + 1, start and end time of the whole recording,
    // type letter (codes above 10 read "R"), first cluster in hex, 0, extension.
    for (int id = 0; id < 3; ++id) {
        const testimg::ManifestRecording &r = rec(id);
        FileHandle *h = open_recording(r);
        ASSERT_NE(h, nullptr);
        const testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
        char file[128];
        snprintf(file, sizeof file, "%02d.%02d.%02d-%02d.%02d.%02d[%s][@%x][0].%s", s.hour, s.minute, s.second,
                 e.hour, e.minute, e.second, id == 0 ? "C" : "R", r.first_cluster, r.av ? "h264" : "jpg");
        char path[256];
        snprintf(path, sizeof path, "/mnt/idea0/%04d-%02d-%02d/%03d/%s", s.year, s.month, s.day, r.channel + 1, file);
        std::string name;
        EXPECT_EQ(wfs_get_file_name(h, &name), FS_OK);
        EXPECT_EQ(name, path) << id;

        char exact[256];
        EXPECT_EQ(wfs_get_file_name(h, exact, strlen(path) + 1), FS_OK);
        EXPECT_STREQ(exact, path);
        // One byte short: refused, not cut.
        EXPECT_EQ(wfs_get_file_name(h, exact, strlen(path)), FS_BEYOND_FILE);
        EXPECT_STREQ(exact, "");
        wfs_file_close(h);
    }
}

TEST_F(Handles, PackIntervalIgnoresShortValuesAndResetsOnInitialisation)
{
    EXPECT_EQ(wfs_get_pack_interval_ms(), WFS_DEFAULT_PACK_INTERVAL_MS);
    wfs_set_pack_interval(59);
    EXPECT_EQ(wfs_get_pack_interval_ms(), WFS_DEFAULT_PACK_INTERVAL_MS);
    wfs_set_pack_interval(86400);
    EXPECT_EQ(wfs_get_pack_interval_ms(), 86400000u);
    wfs_set_pack_interval(60);
    EXPECT_EQ(wfs_get_pack_interval_ms(), 60000u);
    wfs_set_pack_interval(0xFFFFFFFFu);
    EXPECT_EQ(wfs_get_pack_interval_ms(), 0xFFFFFFFFu);
    ASSERT_GE(mount_images({s_path}), 1);
    EXPECT_EQ(wfs_get_pack_interval_ms(), WFS_DEFAULT_PACK_INTERVAL_MS);
}

TEST_F(Handles, OpeningWithNothingMountedFails)
{
    EXPECT_EQ(mount_images({}), 0);
    FileHandle *h = reinterpret_cast<FileHandle *>(1);
    EXPECT_EQ(wfs_file_open(&h, 1, 0), 1u);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(wfs_file_handles_in_use(), 0);
}

}  // namespace
