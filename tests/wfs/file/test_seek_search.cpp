// Finding recordings by time over every mounted partition: the search for
// the recording nearest a time (with the repeat_no tie-break and the type
// filter), and the walk through recordings in time order, on images with
// interleaved channels, a wrapped ring, time collisions and two disks.
#include "tests/wfs/file/test_handle_support.h"

#include <tuple>

#include "wfs/file/record_search.h"
#include "wfs/file/section_list.h"

using namespace handle_test;
using testimg::pack_time;

namespace {

const uint32_t kAllTypes = 0xFFFFFFFFu;
const uint32_t kAllDrivers = 0x7Fu;

// (disk, partition, first cluster) of a recording.
typedef std::tuple<uint32_t, uint32_t, uint32_t> RecordingKey;

RecordingKey key_of(const testimg::ManifestRecording &r) { return RecordingKey(r.disk, r.partition, r.first_cluster); }

RecordingKey key_of(const FileHandle *h)
{
    return RecordingKey(h->pdp->dev, h->pdp->part, h->cur_dir_info.first_cluster_no);
}

// Every recording of channel ch between from and to, in time order, one
// entry per recording, as the walk returns them.
std::vector<RecordingKey> walk(uint8_t ch, wfs_time from, wfs_time to, int backward, uint32_t drivers = kAllDrivers)
{
    std::vector<RecordingKey> out;
    FileHandle *h = nullptr;
    if (wfs_file_open(&h, 1, 0) != FS_OK)
        return out;
    h->channel = ch;
    file_build_section_list(h, backward);
    for (int i = 0; i < 1000; ++i) {
        const uint32_t clus = file_next_record(h, ch, from, to, 0, drivers, backward, WFS_STREAM_ANY);
        if (clus == 0)
            break;
        if (backward ? h->found_time < from : h->found_time >= to)
            break;
        const RecordingKey k(h->pdp->dev, h->pdp->part, clus);
        if (out.empty() || out.back() != k)
            out.push_back(k);
    }
    wfs_file_close(h);
    return out;
}

std::vector<RecordingKey> expected(const std::vector<const testimg::ManifestRecording *> &listed, bool backward)
{
    std::vector<RecordingKey> out;
    for (const testimg::ManifestRecording *r : listed)
        out.push_back(key_of(*r));
    if (backward)
        std::reverse(out.begin(), out.end());
    return out;
}

class TimeSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_capture();
        m_dir = std::make_unique<TempDir>();
    }
    void TearDown() override
    {
        EXPECT_EQ(wfs_file_handles_in_use(), 0);
        unmount_all();
        wfs_log_set_hook(nullptr, nullptr);
    }

    testimg::Manifest build(testimg::ImageBuilder &b, const std::string &name)
    {
        testimg::Manifest m;
        std::string err;
        const std::string path = m_dir->file(name);
        EXPECT_TRUE(b.build(path, &m, &err)) << err;
        m_paths.push_back(path);
        return m;
    }

    void mount() { ASSERT_GE(mount_images(m_paths), 1); }

    // Positions a new handle with the time search; null when it fails.
    FileHandle *search(uint8_t ch, wfs_time t, int mode, int hint, uint32_t types = kAllTypes,
                       uint32_t drivers = kAllDrivers, unsigned *status = nullptr)
    {
        FileHandle *h = nullptr;
        EXPECT_EQ(wfs_file_open(&h, 1, 0), FS_OK);
        const unsigned st = file_goto_work_driver(h, ch, t, mode, hint, types, drivers, 0, WFS_STREAM_ANY);
        if (status != nullptr)
            *status = st;
        if (st != FS_OK) {
            wfs_file_close(h);
            return nullptr;
        }
        return h;
    }

    // The first cluster the search lands on (0 when it finds nothing).
    uint32_t found_first_cluster(uint8_t ch, wfs_time t, int mode, int hint, uint32_t types = kAllTypes)
    {
        FileHandle *h = search(ch, t, mode, hint, types);
        if (h == nullptr)
            return 0;
        const uint32_t c = h->cur_dir_info.first_cluster_no;
        wfs_file_close(h);
        return c;
    }

    std::unique_ptr<TempDir> m_dir;
    std::vector<std::string> m_paths;
};

TEST_F(TimeSearch, SameStartTimeIsToldApartByRepeatNoAndTypesArePassedOver)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    testimg::RecordingPlan r;
    r.start_time = pack_time(2024, 5, 1, 10, 0, 0);
    r.duration = 60;
    b.add(r);  // 0
    r.channel = 1;
    b.add(r);  // 1: another channel, interleaved
    r.channel = 0;
    r.stream_type = 1;
    r.duration = 30;
    b.add(r);  // 2: channel 0, same start second as 0
    r.stream_type = 0;
    r.alarm = 1;
    r.start_time = pack_time(2024, 5, 1, 10, 5, 0);
    b.add(r);  // 3: an "A" recording
    testimg::Manifest m = build(b, "repeat.img");
    mount();
    const testimg::ManifestRecording &a = recording(m, 0), &c = recording(m, 2), &later = recording(m, 3);
    ASSERT_NE(a.repeat_no, c.repeat_no);
    ASSERT_EQ(a.start_time, c.start_time);

    const wfs_time t = a.start_time;
    EXPECT_EQ(found_first_cluster(0, t, INDEX_SEARCH_START, a.repeat_no), a.first_cluster);
    EXPECT_EQ(found_first_cluster(0, t, INDEX_SEARCH_START, c.repeat_no), c.first_cluster);
    EXPECT_TRUE(said("file_goto_work_driver() driver_type:"));
    EXPECT_TRUE(said("file_goto_driver("));
    // Just after the start: the next recording of the channel.
    EXPECT_EQ(found_first_cluster(0, wfs_time_add(t, 1), INDEX_SEARCH_START, 0), later.first_cluster);
    EXPECT_EQ(found_first_cluster(1, t, INDEX_SEARCH_START, 0), recording(m, 1).first_cluster);
    // Only "A" recordings asked for: the "R" ones at t are passed over.
    EXPECT_EQ(found_first_cluster(0, t, INDEX_SEARCH_START, 0, 1u << 1), later.first_cluster);
    // In use at 10:00:45 on channel 0: only recording 0 still runs.
    EXPECT_EQ(found_first_cluster(0, pack_time(2024, 5, 1, 10, 0, 45), INDEX_SEARCH_IN_USE, 0), a.first_cluster);
    // Backward: the last recording of channel 0 that ended before 10:06.
    EXPECT_EQ(found_first_cluster(0, pack_time(2024, 5, 1, 10, 6, 0), INDEX_SEARCH_BACK_START, 0), later.first_cluster);

    // Nothing on channel 7, nothing after the last recording, nothing on a
    // type of partition that is not mounted.
    unsigned st = FS_OK;
    EXPECT_EQ(search(7, t, INDEX_SEARCH_START, 0, kAllTypes, kAllDrivers, &st), nullptr);
    EXPECT_EQ(st, FS_NO_EXIST_FILE);
    EXPECT_EQ(search(0, pack_time(2024, 5, 1, 11, 0, 0), INDEX_SEARCH_START, 0, kAllTypes, kAllDrivers, &st), nullptr);
    EXPECT_EQ(st, FS_NO_EXIST_FILE);
    EXPECT_EQ(search(0, t, INDEX_SEARCH_START, 0, kAllTypes, 1u << 4, &st), nullptr);
    EXPECT_EQ(st, FS_NO_EXIST_FILE);

    // The walk in time order: ties in the start second follow the clusters.
    const std::vector<RecordingKey> fwd = walk(0, pack_time(2024, 5, 1, 0, 0, 0), pack_time(2024, 5, 2, 0, 0, 0), 0);
    ASSERT_EQ(fwd.size(), 3u);
    EXPECT_EQ(fwd[2], key_of(later));
    EXPECT_EQ(std::min(fwd[0], fwd[1]), std::min(key_of(a), key_of(c)));
    EXPECT_EQ(std::max(fwd[0], fwd[1]), std::max(key_of(a), key_of(c)));
}

TEST_F(TimeSearch, WrappedRingIsSearchedInBothStretches)
{
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = 400;  // a small ring that the recordings overrun
    disk.partitions[0].rev_clus = 2;
    testimg::ImageBuilder b{disk};
    testimg::RecordingPlan r;
    r.duration = 60;
    for (int k = 0; k < 5; ++k) {
        r.channel = 0;
        r.start_time = pack_time(2024, 5, 1, 10 + k, 0, 0);
        b.add(r);
        r.channel = 1;
        r.start_time = pack_time(2024, 5, 1, 10 + k, 0, 30);
        r.duration = 20;
        b.add(r);
        r.duration = 60;
    }
    testimg::Manifest m = build(b, "wrapped.img");
    const testimg::ManifestPartition &mp = m.partitions.at(0);
    ASSERT_NE(mp.start_cluster2, 0u) << "the ring did not wrap";
    mount();

    bool old_pass = false;
    for (const testimg::ManifestRecording *rp : m.listed(0, 0))
        old_pass |= rp->old_pass;
    ASSERT_TRUE(old_pass) << "no listed recording lies behind the write position";

    const wfs_time day = pack_time(2024, 5, 1, 0, 0, 0), next_day = pack_time(2024, 5, 2, 0, 0, 0);
    for (uint8_t ch : {0, 1}) {
        EXPECT_EQ(walk(ch, day, next_day, 0), expected(m.listed(0, ch), false)) << "channel " << int(ch);
        EXPECT_EQ(walk(ch, day, next_day, 1), expected(m.listed(0, ch), true)) << "channel " << int(ch);
        for (const testimg::ManifestRecording *rp : m.listed(0, ch)) {
            EXPECT_EQ(found_first_cluster(ch, rp->start_time, INDEX_SEARCH_START, rp->repeat_no), rp->first_cluster)
                << "recording " << rp->id;
            // A moment into it, the recording in use then.
            FileHandle *h = search(ch, wfs_time_add(rp->start_time, 10), INDEX_SEARCH_IN_USE, 0);
            ASSERT_NE(h, nullptr) << "recording " << rp->id;
            EXPECT_EQ(key_of(h), key_of(*rp));
            wfs_file_close(h);
        }
    }
    // Overwritten recordings are not found by their times.
    for (const testimg::ManifestRecording &rr : m.recordings) {
        if (!rr.overwritten || rr.channel != 0)
            continue;
        EXPECT_NE(found_first_cluster(0, rr.start_time, INDEX_SEARCH_START, rr.repeat_no), rr.first_cluster);
    }
}

TEST_F(TimeSearch, TimeCollisionsAreWalkedInTimeOrderAcrossSections)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    testimg::RecordingPlan r;
    r.duration = 60;
    for (int minute : {0, 20, 40}) {
        r.start_time = pack_time(2024, 5, 1, 12, minute, 0);
        b.add(r);
    }
    b.new_write_phase();  // the recorder's clock was set back
    for (int minute : {10, 30, 50}) {
        r.start_time = pack_time(2024, 5, 1, 12, minute, 0);
        b.add(r);
    }
    testimg::Manifest m = build(b, "collision.img");
    ASSERT_EQ(m.partitions.at(0).collisions.size(), 1u);
    mount();

    const std::vector<const testimg::ManifestRecording *> listed = m.listed(0, 0);
    ASSERT_EQ(listed.size(), 6u);
    const wfs_time day = pack_time(2024, 5, 1, 0, 0, 0), next_day = pack_time(2024, 5, 2, 0, 0, 0);
    EXPECT_EQ(walk(0, day, next_day, 0), expected(listed, false));
    EXPECT_EQ(walk(0, day, next_day, 1), expected(listed, true));
    // Part of the day only: recordings that end before the range are left out,
    // the one running at its start is in.
    const std::vector<RecordingKey> part = walk(0, pack_time(2024, 5, 1, 12, 20, 30), pack_time(2024, 5, 1, 12, 45, 0), 0);
    EXPECT_EQ(part, (std::vector<RecordingKey>{key_of(*listed[2]), key_of(*listed[3]), key_of(*listed[4])}));

    // Between two recordings the search finds the next one, whichever
    // section it lies in.
    for (size_t i = 0; i + 1 < listed.size(); ++i) {
        const wfs_time gap = wfs_time_add(listed[i]->end_time, 60);
        EXPECT_EQ(found_first_cluster(0, gap, INDEX_SEARCH_START, 0), listed[i + 1]->first_cluster) << i;
        EXPECT_EQ(found_first_cluster(0, listed[i]->start_time, INDEX_SEARCH_START, listed[i]->repeat_no),
                  listed[i]->first_cluster)
            << i;
    }
}

TEST_F(TimeSearch, RecordingsOfTwoDisksAreMerged)
{
    testimg::RecordingPlan r;
    r.duration = 120;
    testimg::DiskPlan d0, d1;
    d1.disk_no = 1;
    testimg::ImageBuilder b0{d0}, b1{d1};
    for (int minute : {0, 20, 40}) {
        r.start_time = pack_time(2024, 5, 1, 10, minute, 0);
        b0.add(r);
        r.start_time = pack_time(2024, 5, 1, 10, minute + 10, 0);
        b1.add(r);
    }
    testimg::Manifest m0 = build(b0, "disk0.img");
    testimg::Manifest m1 = build(b1, "disk1.img");
    mount();
    ASSERT_NE(get_pdp(1, 0), nullptr);

    std::vector<const testimg::ManifestRecording *> all = m0.listed(0, 0);
    for (const testimg::ManifestRecording *rp : m1.listed(0, 0))
        all.push_back(rp);
    std::sort(all.begin(), all.end(), [](const testimg::ManifestRecording *x, const testimg::ManifestRecording *y) {
        return x->start_time < y->start_time;
    });
    ASSERT_EQ(all.size(), 6u);
    const wfs_time day = pack_time(2024, 5, 1, 0, 0, 0), next_day = pack_time(2024, 5, 2, 0, 0, 0);
    EXPECT_EQ(walk(0, day, next_day, 0), expected(all, false));
    EXPECT_EQ(walk(0, day, next_day, 1), expected(all, true));
    // Only the drivers asked for take part.
    EXPECT_EQ(walk(0, day, next_day, 0, 1u << 4), std::vector<RecordingKey>{});

    FileHandle *h = search(0, pack_time(2024, 5, 1, 10, 15, 0), INDEX_SEARCH_START, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(key_of(h), key_of(recording(m0, 1)));
    wfs_file_close(h);
    h = search(0, pack_time(2024, 5, 1, 10, 31, 0), INDEX_SEARCH_IN_USE, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(key_of(h), key_of(recording(m1, 1)));
    wfs_file_close(h);
}

TEST_F(TimeSearch, SectionListsOrderByStartForwardAndByEndBackward)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    testimg::RecordingPlan r;
    r.duration = 60;
    r.start_time = pack_time(2024, 5, 1, 12, 0, 0);
    b.add(r);
    b.new_write_phase();
    r.start_time = pack_time(2024, 5, 1, 11, 0, 0);
    b.add(r);
    b.new_write_phase();
    r.start_time = pack_time(2024, 5, 1, 10, 30, 0);
    r.duration = 3600;  // starts first, ends between the other two
    b.add(r);
    build(b, "sections.img");
    mount();

    FileHandle *h = nullptr;
    ASSERT_EQ(wfs_file_open(&h, 1, 0), FS_OK);
    for (int backward : {0, 1}) {
        const int n = file_build_section_list(h, backward);
        EXPECT_EQ(n, 3) << backward;
        int seen = 0;
        for (TimeSection *ts = h->sections; ts != nullptr; ts = ts->next, ++seen) {
            EXPECT_EQ(ts->state, SECTION_STATE_NEW);
            EXPECT_EQ(ts->cursor, ts->start_clus);
            EXPECT_LE(ts->start_clus, ts->end_clus);
            if (ts->next != nullptr) {
                if (backward)
                    EXPECT_GE(ts->end_time, ts->next->end_time);
                else
                    EXPECT_LE(ts->start_time, ts->next->start_time);
            }
        }
        EXPECT_EQ(seen, n);
    }
    wfs_file_close(h);
}

}  // namespace
