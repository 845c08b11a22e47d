// Recovery of deleted recordings and of the fragments of overwritten ones,
// on images from the test-image builder, whose manifest says independently
// what is left of every recording: the scan must find exactly that (times,
// clusters, lengths), opening each item by its path must read exactly its
// bytes, and the recorder's own listing must not change.
#include "tests/wfs/file/test_handle_support.h"

#include <map>
#include <set>

#include "wfs/device/fault_device.h"
#include "wfs/file/file_list.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"
#include "wfs/file/recover.h"
#include "wfs/file/seek.h"

using namespace handle_test;

namespace {

const uint32_t kDay = testimg::pack_time(2024, 5, 1, 0, 0, 0);

uint32_t at(int h, int m, int s) { return testimg::pack_time(2024, 5, 1, h, m, s); }

// A stream of about 1 KB a second, so that a recording of a minute takes
// some 15 clusters of 4 KiB.
testimg::RecordingPlan small_rec(uint8_t channel, uint32_t start, uint32_t seconds)
{
    testimg::RecordingPlan r;
    r.channel = channel;
    r.start_time = start;
    r.duration = seconds;
    r.synthetic.frame_rate = 4;
    r.synthetic.key_payload = 500;
    r.synthetic.frame_payload = 120;
    r.synthetic.audio_per_second = 0;
    r.synthetic.seed = 1000u + channel * 97u + (start & 0xFFFu);
    return r;
}

// The recording path of a recovered item, as the record catalogue writes it.
std::string path_of(const wfs_recovered &r)
{
    const file_info_v2 &fi = r.info;
    const wfs_time s = fi.start_time, e = fi.end_time;
    const std::string name = wfs_build_file_name(
        wfs_time_hour(s), wfs_time_minute(s), wfs_time_second(s), wfs_time_hour(e), wfs_time_minute(e),
        wfs_time_second(e), wfs_type_letter(fi.alarm), fi.first_cluster_no,
        static_cast<int>(file_info_v2_stream_type(&fi)), "h264");
    return wfs_build_record_path(fi.disk, fi.part, static_cast<int>(wfs_time_year(s)),
                                 static_cast<int>(wfs_time_month(s)), static_cast<int>(wfs_time_day(s)), fi.channel,
                                 name);
}

// Everything the name layer returns for a path, in reads of `chunk` bytes.
std::vector<uint8_t> cat(const std::string &path, size_t chunk = 65536, bool *opened = nullptr)
{
    std::vector<uint8_t> out;
    fs_file *f = fs_fopen(path.c_str(), "rb");
    if (opened != nullptr)
        *opened = f != nullptr;
    if (f == nullptr)
        return out;
    std::vector<uint8_t> buf(chunk);
    for (size_t n; (n = fs_fread(buf.data(), 1, buf.size(), f)) > 0;)
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
    fs_fclose(f);
    return out;
}

std::vector<wfs_recovered> scan(int part, wfs_recover_stats *stats = nullptr)
{
    std::vector<wfs_recovered> out;
    DriverParam *pdp = get_pdp(0, part);
    EXPECT_NE(pdp, nullptr);
    if (pdp != nullptr) {
        EXPECT_EQ(wfs_recover_scan(pdp, &out, stats), FS_OK);
    }
    return out;
}

// First clusters of what the recorder's own listing returns for a channel.
std::vector<uint32_t> listed(uint8_t channel)
{
    std::vector<file_info_v2> page(1000);
    uint32_t count = static_cast<uint32_t>(page.size());
    wfs_file_list(channel, testimg::pack_time(2024, 1, 1, 0, 0, 0), testimg::pack_time(2024, 12, 31, 23, 59, 59),
                  &count, page.data(), 0xFFFFFFFFu, 0, 0xFFFFFFFFu, 2);
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < count && i < page.size(); ++i)
        out.push_back(page[i].first_cluster_no);
    return out;
}

// The scan of partition `part` against the manifest: the same items in the
// same order with the same description, each read back exactly.
void expect_recovered_as_manifest(const testimg::Manifest &m, int part)
{
    const std::vector<const testimg::ManifestRecovered *> want = m.recovered_of(part);
    const std::vector<wfs_recovered> got = scan(part);
    ASSERT_EQ(got.size(), want.size());
    const uint32_t spc = m.partition(static_cast<uint32_t>(part))->sec_per_clus;
    for (size_t i = 0; i < got.size(); ++i) {
        const wfs_recovered &g = got[i];
        const testimg::ManifestRecovered &w = *want[i];
        SCOPED_TRACE("item " + std::to_string(i) + " (recording " + std::to_string(w.recording) + ", cluster " +
                     std::to_string(w.first_cluster) + ")");
        EXPECT_EQ(g.state, w.deleted ? WFS_STATE_DELETED : WFS_STATE_FRAGMENT);
        EXPECT_EQ(g.info.first_cluster_no, w.first_cluster);
        EXPECT_EQ(g.lost_first_cluster, w.lost_first_cluster);
        EXPECT_EQ(g.clusters, w.clusters.size());
        EXPECT_EQ(g.sectors, w.length_sectors);
        EXPECT_EQ(g.info.file_len, w.length_sectors / 2);
        EXPECT_EQ(g.info.start_time, w.start_time);
        EXPECT_EQ(g.info.end_time, w.end_time);
        EXPECT_EQ(g.info.channel, w.channel);
        EXPECT_EQ(g.info.alarm, w.alarm);
        EXPECT_EQ(file_info_v2_stream_type(&g.info), w.stream_type);
        EXPECT_EQ(g.info.part, static_cast<uint32_t>(part));
        EXPECT_EQ(wfs_recovery_state_of(get_pdp(0, part), g.info.first_cluster_no), g.state);

        const std::string path = path_of(g);
        EXPECT_EQ(wfs_recovery_state_of_path(path.c_str()), g.state) << path;
        bool opened = false;
        const std::vector<uint8_t> bytes = cat(path, 65536, &opened);
        ASSERT_TRUE(opened) << path;
        const std::vector<uint8_t> expected = w.expected_bytes();
        EXPECT_EQ(g.sectors * 512 - g.head_bytes, expected.size());
        EXPECT_EQ(bytes.size(), expected.size()) << path;
        EXPECT_TRUE(bytes == expected) << path;
        // Odd-sized reads cross the clusters at other places.
        EXPECT_TRUE(cat(path, 3 * 512 + 7) == expected) << path;
        EXPECT_EQ(g.sectors, (g.clusters - 1) * uint64_t(spc) + (g.sectors - 1) % spc + 1);
    }
}

// Four channels recording at once around the write position of a wrapped
// ring (their clusters interleave), 4 KiB clusters.
// Recordings in `deleted` are deleted (and given the type code 1, "A").
testimg::Manifest build_wrapped(const std::string &path, bool staggered, uint32_t total_cluster = 300,
                                const std::set<int> &deleted = {})
{
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = total_cluster;  // a ring that the recordings overrun
    disk.partitions[0].rev_clus = 2;
    testimg::ImageBuilder b{disk};
    for (int k = 0; k < 6; ++k) {
        for (uint8_t ch = 0; ch < 4; ++ch) {
            // Staggered starts leave the channels one after the other.
            const uint32_t start = staggered ? at(9 + k, ch, 7 * ch) : at(9 + k, 0, 3 * ch);
            testimg::RecordingPlan r = small_rec(ch, start, 70 + 5 * ch);
            if (deleted.count(k * 4 + ch) != 0) {
                r.deleted = true;
                r.alarm = 1;
            }
            b.add(r);
        }
    }
    testimg::Manifest m;
    std::string err;
    EXPECT_TRUE(b.build(path, &m, &err)) << err;
    return m;
}

// Every item's clusters: no cluster in two items or in a listed recording.
void expect_disjoint(const testimg::Manifest &m, const std::vector<wfs_recovered> &got)
{
    std::set<uint32_t> owned;
    for (const testimg::ManifestRecording &r : m.recordings) {
        if (r.listed)
            owned.insert(r.clusters.begin(), r.clusters.end());
    }
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    for (const wfs_recovered &r : got) {
        uint32_t c = r.info.first_cluster_no;
        for (uint32_t k = 0; k < r.clusters; ++k) {
            EXPECT_TRUE(owned.insert(c).second) << "cluster " << c << " of item " << r.info.first_cluster_no;
            uint32_t next = 0;
            if (k + 1 < r.clusters) {
                ASSERT_EQ(r.state == WFS_STATE_FRAGMENT ? fragment_next(pdp, c, &next)
                                                        : file_next_clus(pdp, c, r.info.channel, &next),
                          FS_OK);
            }
            c = next;
        }
    }
}

class Recovery : public ::testing::Test {
protected:
    void SetUp() override { start_capture(); }
    void TearDown() override
    {
        EXPECT_EQ(wfs_file_handles_in_use(), 0) << "a handle was not closed";
        unmount_all();
        wfs_log_set_hook(nullptr, nullptr);
    }
    std::string image(const char *name) { return m_dir.file(name); }

    TempDir m_dir;
};

TEST_F(Recovery, DeletedRecordingIsFoundWholeAndTheListingStaysAsItWas)
{
    testimg::ImageBuilder b{testimg::DiskPlan{}};
    b.add(small_rec(0, at(10, 0, 0), 60));
    testimg::RecordingPlan del = small_rec(0, at(10, 5, 0), 45);
    del.alarm = 2;  // "M"
    del.header = testimg::HeaderKind::Reserved;
    del.header_bytes = 1024;
    del.deleted = true;
    const int deleted_id = b.add(del);
    b.add(small_rec(1, at(10, 5, 10), 50));
    b.add(small_rec(0, at(10, 10, 0), 30));
    testimg::Manifest m;
    std::string err;
    const std::string path = image("deleted.img");
    ASSERT_TRUE(b.build(path, &m, &err)) << err;
    ASSERT_GE(mount_images({path}), 1);

    ASSERT_EQ(m.recovered.size(), 1u);
    EXPECT_TRUE(m.recovered[0].deleted);
    EXPECT_EQ(m.recovered[0].recording, deleted_id);
    expect_recovered_as_manifest(m, 0);

    const std::vector<wfs_recovered> got = scan(0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].clusters, recording(m, deleted_id).clusters.size());
    EXPECT_EQ(got[0].info.alarm, WFS_ALARM_DELETED);  // the letter of an unknown code: "R"
    EXPECT_NE(path_of(got[0]).find("[R]"), std::string::npos);

    // The listing shows the other recordings of channel 0 and not this one.
    const std::vector<uint32_t> ch0 = listed(0);
    EXPECT_EQ(ch0, (std::vector<uint32_t>{recording(m, 0).first_cluster, recording(m, 3).first_cluster}));
}

TEST_F(Recovery, WrappedRingLeavesAFragmentOfEveryChannelItsWriterOverran)
{
    // Of the recordings the writer overran, 5 had been deleted before; of
    // the newest, 20 is deleted.
    const std::string path = image("wrapped4.img");
    const testimg::Manifest m = build_wrapped(path, false, 300, {5, 20});
    ASSERT_GE(mount_images({path}), 1);

    std::set<uint8_t> channels;
    int deleted = 0;
    for (const testimg::ManifestRecovered &r : m.recovered) {
        if (r.deleted) {
            ++deleted;
            EXPECT_EQ(r.recording, 20);
        } else {
            channels.insert(r.channel);
        }
        // The fragment of the deleted recording keeps its type: only its
        // first record carried the mark.
        if (r.recording == 5) {
            EXPECT_EQ(r.alarm, 1);
        }
    }
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(channels.size(), 4u) << "every channel lost the first clusters of a recording";
    EXPECT_TRUE(recording(m, 5).overwritten);
    expect_recovered_as_manifest(m, 0);
    expect_disjoint(m, scan(0));
}

// Writes over the directory records of single clusters of a built image.
struct Patcher {
    const testimg::Manifest &m;
    std::string path;
    void put(uint32_t clus, uint32_t byte, const std::vector<uint8_t> &bytes) const
    {
        const testimg::ManifestPartition &p = m.partitions.at(0);
        FILE *f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        const long off = static_cast<long>((m.base_lba + p.dir_sector(clus)) * 512 + p.dir_byte(clus) + byte);
        ASSERT_EQ(std::fseek(f, off, SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    void down(uint32_t clus, uint32_t v) const { put(clus, 8, le32(v)); }
    void up(uint32_t clus, uint32_t v) const { put(clus, 4, le32(v)); }
    void item_num(uint32_t clus, uint16_t v) const { put(clus, 2, le16(v)); }
    void first(uint32_t clus, uint32_t v) const { put(clus, 24, le32(v)); }
};

TEST_F(Recovery, FragmentOfOneClusterIsItsLastClusterUpToItsLength)
{
    const std::string path = image("one.img");
    const testimg::Manifest m = build_wrapped(path, true);
    const testimg::ManifestRecovered *one = nullptr;
    for (const testimg::ManifestRecovered &r : m.recovered) {
        if (r.clusters.size() == 1)
            one = &r;
    }
    ASSERT_NE(one, nullptr) << "the image holds no fragment of one cluster";
    // It is the recording's last cluster, which is only partly written.
    const testimg::ManifestRecording &from = recording(m, one->recording);
    ASSERT_EQ(one->clusters[0], from.clusters.back());
    ASSERT_LT(one->length_sectors, m.partitions[0].sec_per_clus);
    EXPECT_EQ(one->end_time, from.end_time);

    ASSERT_GE(mount_images({path}), 1);
    expect_recovered_as_manifest(m, 0);
    expect_disjoint(m, scan(0));
}

TEST_F(Recovery, FragmentWhoseChainCrossesTheRingsEndReadsAndSeeksAcrossIt)
{
    // One channel, a ring of 118 clusters: the ninth recording runs over the
    // ring's end; the writer's next pass then takes its first clusters.
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = 120;
    disk.partitions[0].rev_clus = 2;
    testimg::ImageBuilder b{disk};
    for (int k = 0; k < 17; ++k)
        b.add(small_rec(0, at(8 + k / 4, (k % 4) * 15, 0), k == 16 ? 45 : 60));
    testimg::Manifest m;
    std::string err;
    const std::string path = image("across.img");
    ASSERT_TRUE(b.build(path, &m, &err)) << err;

    const testimg::ManifestRecovered *across = nullptr;
    for (const testimg::ManifestRecovered &r : m.recovered) {
        for (size_t k = 1; k < r.clusters.size(); ++k) {
            if (r.clusters[k] < r.clusters[k - 1])
                across = &r;
        }
    }
    ASSERT_NE(across, nullptr) << "no fragment runs over the ring's end";
    ASSERT_TRUE(recording(m, across->recording).spans_wrap);

    ASSERT_GE(mount_images({path}), 1);
    expect_recovered_as_manifest(m, 0);

    // Seek to both sides of the wrap through the name layer.
    const std::vector<wfs_recovered> got = scan(0);
    const wfs_recovered *item = nullptr;
    for (const wfs_recovered &r : got) {
        if (r.info.first_cluster_no == across->first_cluster)
            item = &r;
    }
    ASSERT_NE(item, nullptr);
    size_t k = 1;
    while (across->clusters[k] > across->clusters[k - 1])
        ++k;
    const std::vector<uint8_t> want = across->expected_bytes();
    fs_file *f = fs_fopen(path_of(*item).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    const uint64_t cluster_bytes = uint64_t(m.partitions[0].sec_per_clus) * 512;
    for (uint64_t pos : {k * cluster_bytes + 100, k * cluster_bytes - 100, uint64_t(0), want.size() - 10}) {
        ASSERT_EQ(fs_fseek(f, static_cast<int64_t>(pos), 0), 0) << pos;
        EXPECT_EQ(fs_ftell(f), static_cast<int64_t>(pos));
        std::vector<uint8_t> buf(300);
        const size_t n = fs_fread(buf.data(), 1, buf.size(), f);
        ASSERT_EQ(n, std::min<uint64_t>(300, want.size() - pos)) << pos;
        EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n),
                               want.begin() + static_cast<std::ptrdiff_t>(pos)))
            << pos;
    }
    EXPECT_EQ(fs_fseek(f, static_cast<int64_t>(want.size()) + 1, 0), -3) << "past the fragment's end";
    fs_fclose(f);
}

TEST_F(Recovery, FragmentThatStartsInsideTheReservedHeaderReadsFromTheStream)
{
    // One channel; the oldest recording reserves a header of six clusters
    // in front of its stream, and the ring's next pass takes its first two.
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = 66;
    disk.partitions[0].rev_clus = 2;
    testimg::ImageBuilder b{disk};
    testimg::RecordingPlan first = small_rec(0, at(8, 0, 0), 60);
    first.header = testimg::HeaderKind::Reserved;
    first.header_bytes = 6 * 4096;
    b.add(first);
    for (int k = 1; k < 5; ++k)
        b.add(small_rec(0, at(9, k * 2, 0), k == 4 ? 20 : 60));
    testimg::Manifest m;
    std::string err;
    const std::string path = image("header.img");
    ASSERT_TRUE(b.build(path, &m, &err)) << err;
    ASSERT_EQ(m.recovered.size(), 1u);
    const testimg::ManifestRecovered &f = m.recovered[0];
    ASSERT_EQ(f.recording, 0);
    ASSERT_EQ(f.first_index, 2u);
    EXPECT_EQ(f.expected_bytes().size(), f.length_sectors * 512 - 4 * 4096);
    ASSERT_GE(mount_images({path}), 1);
    expect_recovered_as_manifest(m, 0);
    EXPECT_EQ(scan(0).at(0).head_bytes, 4 * 4096u);
}

TEST_F(Recovery, DamagedLinksEndChainsWhereTheyCanNoLongerBeFollowed)
{
    const std::string path = image("damaged.img");
    const testimg::Manifest m = build_wrapped(path, false, 320);
    // The longest fragment is cut up: its second cluster's down link goes
    // outside the partition, its fourth claims to be item 65535, its sixth
    // links down to its first and the first up to the sixth (a loop), and a
    // fragment of another channel names a first cluster outside the
    // partition in its first record.
    const testimg::ManifestRecovered *big = nullptr, *other = nullptr;
    for (const testimg::ManifestRecovered &r : m.recovered) {
        if (big == nullptr || r.clusters.size() > big->clusters.size())
            big = &r;
    }
    ASSERT_NE(big, nullptr);
    ASSERT_GE(big->clusters.size(), 8u);
    for (const testimg::ManifestRecovered &r : m.recovered) {
        if (&r != big && r.clusters.size() >= 2)
            other = &r;
    }
    ASSERT_NE(other, nullptr);
    const std::vector<uint32_t> &c = big->clusters;
    Patcher patch{m, path};
    patch.down(c[1], 0xFFFFFF00u);
    patch.item_num(c[3], 0xFFFF);
    patch.down(c[5], c[0]);
    patch.up(c[0], c[5]);
    patch.first(other->clusters[0], 0xFFFFFFF0u);
    ASSERT_GE(mount_images({path}), 1);

    const std::vector<wfs_recovered> got = scan(0);
    std::map<uint32_t, const wfs_recovered *> by_first;
    for (const wfs_recovered &r : got) {
        EXPECT_TRUE(by_first.emplace(r.info.first_cluster_no, &r).second) << "twice: " << r.info.first_cluster_no;
    }
    EXPECT_EQ(got.size(), m.recovered.size() + 4);
    expect_disjoint(m, got);

    // c0 c1 | c2 | c3 | c4 c5 | c6 ...: pieces with the bytes of their
    // clusters; the loop leads nowhere.
    const std::vector<uint8_t> all = big->expected_bytes();
    const uint64_t cb = uint64_t(m.partitions[0].sec_per_clus) * 512;
    struct Piece {
        size_t from, count;
    };
    for (const Piece &p : {Piece{0, 2}, Piece{2, 1}, Piece{3, 1}, Piece{4, 2}, Piece{6, c.size() - 6}}) {
        SCOPED_TRACE("piece at " + std::to_string(p.from));
        auto it = by_first.find(c[p.from]);
        ASSERT_NE(it, by_first.end());
        const wfs_recovered &r = *it->second;
        EXPECT_EQ(r.state, WFS_STATE_FRAGMENT);
        EXPECT_EQ(r.clusters, p.count);
        EXPECT_EQ(r.lost_first_cluster, big->lost_first_cluster);
        const uint64_t begin = p.from * cb;
        const uint64_t end = p.from + p.count == c.size() ? all.size() : (p.from + p.count) * cb;
        EXPECT_EQ(r.sectors * 512, end - begin);
        const std::vector<uint8_t> bytes = cat(path_of(r));
        EXPECT_TRUE(bytes == std::vector<uint8_t>(all.begin() + static_cast<std::ptrdiff_t>(begin),
                                                  all.begin() + static_cast<std::ptrdiff_t>(end)));
    }
    // The other fragment starts one cluster later.
    auto it = by_first.find(other->clusters[1]);
    ASSERT_NE(it, by_first.end());
    EXPECT_EQ(it->second->clusters, other->clusters.size() - 1);
    EXPECT_EQ(by_first.count(other->clusters[0]), 0u);
}

TEST_F(Recovery, NothingToRecoverCostsOneReadPerPieceOfTheDirectory)
{
    testimg::DiskPlan disk;
    disk.partitions[0].sectors = 3000000;  // 63,000 clusters: 4 MiB of records
    testimg::ImageBuilder b{disk};
    b.add(small_rec(0, at(10, 0, 0), 60));
    b.add(small_rec(1, at(10, 0, 0), 60));
    testimg::Manifest m;
    std::string err;
    const std::string path = image("clean.img");
    ASSERT_TRUE(b.build(path, &m, &err)) << err;
    ASSERT_TRUE(m.recovered.empty());
    ASSERT_GE(mount_images({path}), 1);

    BlockDevice *dev = g_recorder_disks.handle[0];
    ASSERT_NE(dev, nullptr);
    const uint64_t calls = dev->read_calls, sectors = dev->sectors_read;
    wfs_recover_stats stats;
    EXPECT_TRUE(scan(0, &stats).empty());
    const testimg::ManifestPartition &p = m.partitions[0];
    const uint64_t dir_sectors = (uint64_t(p.layout.total_cluster) - 1) / 16 - p.layout.rev_clus / 16 + 1;
    const uint64_t pieces = (dir_sectors + WFS_RECOVER_PIECE_SECTORS - 1) / WFS_RECOVER_PIECE_SECTORS;
    ASSERT_GE(pieces, 2u);
    EXPECT_EQ(stats.reads, pieces);
    EXPECT_EQ(stats.sectors, dir_sectors);
    EXPECT_EQ(stats.first_clusters, 2u);
    EXPECT_EQ(dev->read_calls - calls, pieces);
    EXPECT_EQ(dev->sectors_read - sectors, dir_sectors);
}

TEST_F(Recovery, UnreadablePieceOfTheDirectoryIsPassedOver)
{
    testimg::DiskPlan disk;
    disk.partitions[0].sectors = 3000000;  // two pieces of records
    testimg::ImageBuilder b{disk};
    testimg::RecordingPlan r = small_rec(0, at(10, 0, 0), 60);
    r.deleted = true;
    b.add(r);
    testimg::Manifest m;
    std::string err;
    const std::string path = image("fault.img");
    ASSERT_TRUE(b.build(path, &m, &err)) << err;
    ASSERT_EQ(m.recovered.size(), 1u);
    const testimg::ManifestPartition &p = m.partitions[0];

    // A failing sector in the second piece, then in the first (which holds
    // the deleted recording's records).
    const uint64_t second = p.dir_sector(p.layout.rev_clus) + WFS_RECOVER_PIECE_SECTORS + 5;
    for (uint64_t bad : {second, p.dir_sector(m.recovered[0].first_cluster)}) {
        BlockDevice *file = nullptr;
        ASSERT_EQ(image_device_open(path.c_str(), &file), 0);
        BlockDevice *fault = fault_device_create(file, true);
        fault_device_fail(fault, m.base_lba + bad, 1);
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(true);
        register_drive_device(fault, "fault");
        scan_recorder_disks();
        int count = 0;
        ASSERT_EQ(wfs_file_sys_init(&count, 0), 0);
        wfs_recover_stats stats;
        const std::vector<wfs_recovered> got = scan(0, &stats);
        EXPECT_EQ(stats.failed_reads, 1u);
        EXPECT_EQ(stats.reads, 2u);
        EXPECT_EQ(got.size(), bad == second ? 1u : 0u);
        EXPECT_TRUE(said("recovery scan: directory sectors"));
        messages().clear();
    }
}

}  // namespace
