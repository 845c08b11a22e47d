// Seeking inside a recording by sectors, seconds and time, and the channel
// switch, on a recorder image with 64-sector clusters (so that time
// positions fall on several 16-sector steps inside a cluster).
#include "tests/wfs/file/test_handle_support.h"

#include <cstdlib>

#include "wfs/file/seek.h"

using namespace handle_test;

namespace {

uint64_t position(FileHandle *h)
{
    uint64_t p = 0;
    EXPECT_EQ(wfs_get_cur_sector(h, &p), FS_OK);
    return p;
}

class Seek : public ImageSuite<Seek> {
protected:
    static void SetUpTestSuite()
    {
        begin_image("seek.img");
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b{disk};
        testimg::RecordingPlan r;
        r.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0);
        r.duration = 60;
        r.synthetic.frame_payload = 150;  // 4 to 5 s per cluster
        b.add(r);  // 0: channel 0
        r.channel = 1;
        r.synthetic.seed = 2;
        b.add(r);  // 1: channel 1, interleaved with 0
        r.channel = 0;
        r.stream_type = 1;
        r.duration = 30;
        b.add(r);  // 2: channel 0 again, same start, another stream: told apart by repeat_no
        r.stream_type = 0;
        r.alarm = 1;
        r.start_time = testimg::pack_time(2024, 5, 1, 10, 5, 0);
        b.add(r);  // 3: channel 0, an "A" recording later on
        std::string err;
        ASSERT_TRUE(b.build(s_path, &s_manifest, &err)) << err;
    }

    void TearDown() override { EXPECT_EQ(wfs_file_handles_in_use(), 0) << "a handle was not closed"; }

    static const testimg::ManifestRecording &rec(int id) { return recording(s_manifest, id); }
    static uint32_t spc() { return s_manifest.partitions.at(0).sec_per_clus; }

    // The next n sectors read from the handle must be the recording's bytes
    // from sector p on (0xFF past its end).
    static void expect_reads_from(FileHandle *h, const testimg::ManifestRecording &r, uint64_t p, uint32_t n)
    {
        std::vector<uint8_t> want = r.expected_bytes();
        want.resize(want.size() + static_cast<size_t>(n) * 512, 0xFF);
        std::vector<uint8_t> got(static_cast<size_t>(n) * 512);
        ASSERT_EQ(wfs_file_read(h, got.data(), n), FS_OK) << "at " << p;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin() + p * 512)) << "at " << p;
    }

};


TEST_F(Seek, SectorPositionsOnClusterBoundariesStayInTheEarlierCluster)
{
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    ASSERT_GT(r.clusters.size(), 3u);

    ASSERT_EQ(wfs_file_moveto_len(h, spc()), FS_OK);
    EXPECT_EQ(h->cur_cluster, r.clusters[0]);
    EXPECT_EQ(h->cur_offset, spc());
    EXPECT_EQ(position(h), spc());
    EXPECT_TRUE(said("fir_clus="));
    expect_reads_from(h, r, spc(), 3);  // reading on from there crosses into cluster 1

    ASSERT_EQ(wfs_file_moveto_len(h, spc() + 1), FS_OK);
    EXPECT_EQ(h->cur_cluster, r.clusters[1]);
    EXPECT_EQ(h->cur_offset, 1u);
    EXPECT_EQ(h->curr_clus_num, 1u);

    ASSERT_EQ(wfs_file_moveto_len(h, 0), FS_OK);
    EXPECT_EQ(h->cur_cluster, r.clusters[0]);
    EXPECT_EQ(h->cur_offset, 0u);
    expect_reads_from(h, r, 0, 5);

    // Every cluster boundary and the sectors next to it.
    for (size_t k = 1; k < r.clusters.size(); ++k) {
        for (uint64_t p : {k * spc() - 1, k * spc(), k * spc() + 1}) {
            if (p > r.length_sectors)
                continue;
            ASSERT_EQ(wfs_file_moveto_len(h, p), FS_OK) << p;
            EXPECT_EQ(position(h), p);
            EXPECT_EQ(h->cur_cluster, r.clusters[(p - 1) / spc()]) << p;
            expect_reads_from(h, r, p, 2);
        }
    }
    wfs_file_close(h);
}

TEST_F(Seek, EndOfTheRecordingIsTheLastPositionAndBeyondIsRefused)
{
    const testimg::ManifestRecording &r = rec(1);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(wfs_file_moveto_len(h, r.length_sectors), FS_OK);
    EXPECT_EQ(h->cur_cluster, r.clusters.back());
    EXPECT_EQ(position(h), r.length_sectors);
    std::vector<uint8_t> buf(512);
    EXPECT_EQ(wfs_file_read(h, buf.data(), 1), FS_NOT_FOUND);

    ASSERT_EQ(wfs_file_moveto_len(h, 7), FS_OK);
    EXPECT_EQ(wfs_file_moveto_len(h, r.length_sectors + 1), FS_BEYOND_FILE);
    EXPECT_EQ(wfs_file_moveto_len(h, ~0ull), FS_BEYOND_FILE);
    // A refused move leaves the handle where it was.
    EXPECT_EQ(position(h), 7u);
    expect_reads_from(h, r, 7, 4);
    wfs_file_close(h);
}

TEST_F(Seek, RelativeMovesWalkBothWaysFromTheCurrentCluster)
{
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    const uint64_t last = r.length_sectors;
    const std::vector<uint64_t> targets = {last - 3, 5, 3 * spc() + 17, 3 * spc() + 2, spc(), spc() + 1, 0, last};
    for (uint64_t p : targets) {
        ASSERT_EQ(wfs_file_moveto_len_relative(h, p), FS_OK) << p;
        EXPECT_EQ(position(h), p);
        if (p < last)
            expect_reads_from(h, r, p, 1);
        ASSERT_EQ(wfs_file_moveto_len_relative(h, p), FS_OK) << p;  // stands where the read left it
    }
    // Past the end of the chain.
    EXPECT_EQ(wfs_file_moveto_len_relative(h, last + 2 * spc()), FS_BEYOND_FILE);
    wfs_file_close(h);
}

TEST_F(Seek, MovesBySizeAndBySecondsStopAtTheStart)
{
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(wfs_file_move_size(h, 0, 2 * spc() + 9), FS_OK);
    EXPECT_EQ(position(h), 2 * spc() + 9);
    EXPECT_TRUE(said("curr_sector="));
    ASSERT_EQ(wfs_file_move_size(h, 1, spc()), FS_OK);
    EXPECT_EQ(position(h), spc() + 9);
    ASSERT_EQ(wfs_file_move_size(h, 1, 10 * spc()), FS_OK);  // back past the start
    EXPECT_EQ(position(h), 0u);
    EXPECT_EQ(wfs_file_move_size(h, 0, r.length_sectors + 1), FS_BEYOND_FILE);
    EXPECT_EQ(position(h), 0u);

    // Seconds at the current cluster's rate, and always 0 when positioned.
    const uint32_t d = wfs_file_cluster_rate(h);
    ASSERT_GE(d, 1u);
    EXPECT_EQ(wfs_file_move_second(h, 0, 1), FS_OK);
    EXPECT_EQ(position(h), spc() / d);
    EXPECT_EQ(wfs_file_move_second(h, 0, 100000), FS_OK);  // beyond the end: stays
    EXPECT_EQ(position(h), spc() / d);
    EXPECT_EQ(wfs_file_move_second(h, 1, 100000), FS_OK);
    EXPECT_EQ(position(h), 0u);
    wfs_file_close(h);

    FileHandle *idle = nullptr;
    ASSERT_EQ(wfs_file_open(&idle, 1, 0), FS_OK);
    EXPECT_EQ(wfs_file_move_second(idle, 0, 1), FS_NO_EXIST_FILE);
    EXPECT_EQ(wfs_file_move_size(idle, 0, 1), FS_NO_EXIST_FILE);
    EXPECT_EQ(wfs_file_moveto_len(idle, 0), FS_NO_EXIST_FILE);
    EXPECT_EQ(wfs_file_moveto_time(idle, rec(0).start_time), FS_NO_EXIST_FILE);
    wfs_file_close(idle);
}

TEST_F(Seek, TimePositionsLandOnSixteenSectorStepsOfTheClusterOpenAtThatTime)
{
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    DriverParam *pdp = h->pdp;
    std::vector<wfs_time> starts;
    for (uint32_t c : r.clusters) {
        wfs_time s = 0;
        ASSERT_EQ(get_dir_item_time(pdp, c, &s), FS_OK);
        starts.push_back(s);
    }
    uint64_t previous = 0;
    for (uint32_t s = 1; s < 60; ++s) {
        const wfs_time t = wfs_time_add(r.start_time, s);
        ASSERT_EQ(wfs_file_moveto_time(h, t), FS_OK) << s;
        // The last cluster opened before t (the first cluster counts as
        // opened at the recording's start).
        size_t k = 0;
        for (size_t i = 1; i < starts.size(); ++i)
            if (starts[i] < t)
                k = i;
        EXPECT_EQ(h->cur_cluster, r.clusters[k]) << s;
        EXPECT_TRUE(h->cur_offset % WFS_TIME_STEP_SECTORS == 0 || h->cur_offset == h->clus_len) << s;
        EXPECT_LE(h->cur_offset, h->clus_len) << s;
        const uint64_t p = position(h);
        EXPECT_GE(p, previous) << "time positions run backwards at " << s;
        previous = p;
        expect_reads_from(h, r, p, 1);
        // The time of the position is not later than t.
        wfs_time at = 0;
        ASSERT_EQ(wfs_file_cur_time(h, &at), FS_OK);
        EXPECT_LE(at, t) << s;
    }
    EXPECT_GT(previous, 0u);
    EXPECT_TRUE(said("wfs_file_moveto_time "));

    // Before the start: position 0; at or after the end: the last sector.
    ASSERT_EQ(wfs_file_moveto_time(h, wfs_time_add(r.start_time, -30)), FS_OK);
    EXPECT_EQ(position(h), 0u);
    ASSERT_EQ(wfs_file_moveto_time(h, r.end_time), FS_OK);
    EXPECT_EQ(position(h), r.length_sectors);
    ASSERT_EQ(wfs_file_moveto_time(h, wfs_time_add(r.end_time, 3600)), FS_OK);
    EXPECT_EQ(position(h), r.length_sectors);
    wfs_file_close(h);
}

TEST_F(Seek, ChannelSwitchOpensTheOtherChannelAtTheSameMoment)
{
    const testimg::ManifestRecording &a = rec(0), &b = rec(1);
    FileHandle *h = open_recording(a);
    ASSERT_NE(h, nullptr);
    const wfs_time t = wfs_time_add(a.start_time, 25);
    ASSERT_EQ(wfs_file_moveto_time(h, t), FS_OK);
    wfs_time source_time = 0;
    ASSERT_EQ(wfs_file_cur_time(h, &source_time), FS_OK);

    FileHandle *near = nullptr;
    ASSERT_EQ(fs_file_open_near(h, 1, &near), FS_OK);
    ASSERT_NE(near, nullptr);
    EXPECT_NE(near, h);
    EXPECT_EQ(near->channel, 1);
    EXPECT_EQ(near->first_cluster, b.first_cluster);
    EXPECT_EQ(near->buf_alloc, nullptr);  // the byte buffer stays the source's
    wfs_time near_time = 0;
    ASSERT_EQ(wfs_file_cur_time(near, &near_time), FS_OK);
    EXPECT_LE(std::llabs(wfs_time_diff(near_time, source_time)), 5);
    const uint64_t p = position(near);
    expect_reads_from(near, b, p, 2);
    // The source did not move.
    wfs_time still = 0;
    wfs_file_cur_time(h, &still);
    EXPECT_EQ(still, source_time);

    // The same into an existing handle.
    FileHandle *target = nullptr;
    ASSERT_EQ(wfs_file_open(&target, 1, 0), FS_OK);
    ASSERT_EQ(wfs_file_sync(h, 1, target), FS_OK);
    EXPECT_EQ(target->first_cluster, b.first_cluster);
    EXPECT_EQ(position(target), p);
    EXPECT_EQ(wfs_file_sync(h, 0, target), FS_OK);  // already on this channel: nothing to do
    EXPECT_TRUE(said("already at this channel"));

    // A channel with no recording: no handle is left behind.
    const int in_use = wfs_file_handles_in_use();
    FileHandle *none = reinterpret_cast<FileHandle *>(1);
    EXPECT_EQ(fs_file_open_near(h, 9, &none), FS_NO_EXIST_FILE);
    EXPECT_EQ(none, reinterpret_cast<FileHandle *>(1));
    EXPECT_EQ(wfs_file_handles_in_use(), in_use);
    EXPECT_EQ(wfs_file_sync(h, 9, target), FS_NO_EXIST_FILE);
    EXPECT_TRUE(said("FS_NO_EXIST_FILE: get_next_clus_no"));

    wfs_file_close(target);
    wfs_file_close(near);
    wfs_file_close(h);
}

// ---------------------------------------------------------------- damaged times

TEST(SeekDamaged, TimesThatRunBackwardsStillEndEverySeek)
{
    start_capture();
    TempDir dir;
    const std::string path = dir.file("backwards.img");
    testimg::RecordingPlan r;
    r.duration = 60;
    testimg::Manifest probe;
    std::string err;
    ASSERT_TRUE(testimg::build_simple_image(path, {r}, &probe, &err)) << err;
    const testimg::ManifestRecording &p = recording(probe, 0);
    ASSERT_GT(p.clusters.size(), 10u);

    // Cluster 5 claims to have started an hour after the recording ended,
    // cluster 6 before the recording began.
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    b.add(r);
    const testimg::ManifestPartition &mp = probe.partitions.at(0);
    b.patch(dir_record_sector(mp, p.clusters[5]), dir_record_byte(p.clusters[5]) + 12,
            le32(testimg::packed_add(p.end_time, 3600)));
    b.patch(dir_record_sector(mp, p.clusters[6]), dir_record_byte(p.clusters[6]) + 12,
            le32(testimg::packed_add(p.start_time, -3600)));
    testimg::Manifest m;
    ASSERT_TRUE(b.build(path, &m, &err)) << err;
    ASSERT_GE(mount_images({path}), 1);

    FileHandle *h = open_recording(recording(m, 0));
    ASSERT_NE(h, nullptr);
    for (int s = -5; s <= 65; s += 2) {
        const unsigned st = wfs_file_moveto_time(h, wfs_time_add(p.start_time, s));
        EXPECT_EQ(st, FS_OK) << s;
        EXPECT_LE(position(h), p.length_sectors) << s;
        EXPECT_LE(h->cur_offset, h->clus_len) << s;
        wfs_time at = 0;
        EXPECT_EQ(wfs_file_cur_time(h, &at), FS_OK);
        EXPECT_EQ(wfs_file_move_second(h, 0, 3), FS_OK);
        EXPECT_EQ(wfs_file_move_second(h, 1, 7), FS_OK);
    }
    wfs_file_close(h);
    unmount_all();
    wfs_log_set_hook(nullptr, nullptr);
}

}  // namespace
