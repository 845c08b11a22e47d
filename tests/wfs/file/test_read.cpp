// Reading recordings sector by sector along their cluster chains, on real
// recorder images: interleaved channels, the end of a chain, cluster
// boundaries, and damaged or truncated disks.
#include "tests/wfs/file/test_handle_support.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>

#include "wfs/file/seek.h"

using namespace handle_test;

namespace {

std::vector<uint8_t> filler(size_t sectors) { return std::vector<uint8_t>(sectors * 512, 0xFF); }

class Read : public ImageSuite<Read> {
protected:
    static void SetUpTestSuite()
    {
        begin_image("interleaved.img");
        // Three channels recording at the same time: the recorder hands out
        // clusters in turn, so every recording's chain is interleaved with
        // the other two.
        testimg::ImageBuilder b{testimg::DiskPlan{}};
        testimg::RecordingPlan r;
        r.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0);
        r.duration = 40;
        for (uint8_t ch = 0; ch < 3; ++ch) {
            r.channel = ch;
            r.synthetic.seed = 11 + ch;
            r.synthetic.frame_payload = 250 + 90 * ch;  // different rates: chains of different lengths
            b.add(r);
        }
        // A recording that was being written when the disk was pulled.
        r.channel = 3;
        r.start_time = testimg::pack_time(2024, 5, 1, 11, 0, 0);
        r.duration = 20;
        r.cut_off = true;
        b.add(r);
        std::string err;
        ASSERT_TRUE(b.build(s_path, &s_manifest, &err)) << err;
    }

    void SetUp() override
    {
        ImageSuite::SetUp();
        m_in_use = wfs_file_handles_in_use();
    }

    void TearDown() override { EXPECT_EQ(wfs_file_handles_in_use(), m_in_use) << "a handle was not closed"; }

    static const testimg::ManifestRecording &rec(int id) { return recording(s_manifest, id); }
    static uint32_t spc() { return s_manifest.partitions.at(0).sec_per_clus; }

    int m_in_use = 0;
};


TEST_F(Read, InterleavedRecordingsReadBackExactlyTheirOwnBytesInOrder)
{
    for (int id = 0; id < 3; ++id) {
        const testimg::ManifestRecording &r = rec(id);
        // The chain really is interleaved: its clusters are not contiguous.
        bool gap = false;
        for (size_t i = 1; i < r.clusters.size(); ++i)
            gap |= r.clusters[i] != r.clusters[i - 1] + 1;
        ASSERT_TRUE(gap) << "recording " << id;
        ASSERT_GT(r.clusters.size(), 4u);

        const std::vector<uint8_t> want = r.expected_bytes();
        ASSERT_EQ(want.size(), r.length_sectors * 512);
        // Request sizes below, at and across the cluster size.
        for (uint32_t chunk : {1u, 3u, spc(), spc() + 5, 7 * spc() + 1}) {
            FileHandle *h = open_recording(r);
            ASSERT_NE(h, nullptr);
            unsigned st = FS_OK;
            std::vector<uint8_t> got = read_sectors(h, r.length_sectors, chunk, &st);
            EXPECT_EQ(st, FS_OK) << "recording " << id << " chunk " << chunk;
            EXPECT_TRUE(got == want) << "recording " << id << " chunk " << chunk;
            uint64_t pos = 0;
            EXPECT_EQ(wfs_get_cur_sector(h, &pos), FS_OK);
            EXPECT_EQ(pos, r.length_sectors);
            EXPECT_EQ(h->cur_cluster, r.clusters.back());
            wfs_file_close(h);
        }
    }
}

TEST_F(Read, EndOfChainIsFilledWithFFAndAFurtherReadReportsTheEnd)
{
    const testimg::ManifestRecording &r = rec(0);
    ASSERT_GE(r.end_length, 1u);
    const uint32_t left = std::min<uint32_t>(3, r.end_length);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    unsigned st = FS_OK;
    read_sectors(h, r.length_sectors - left, spc(), &st);
    ASSERT_EQ(st, FS_OK);

    std::vector<uint8_t> buf(8 * 512, 0x11);
    EXPECT_EQ(wfs_file_read(h, buf.data(), 8), FS_OK);
    const std::vector<uint8_t> want = r.expected_bytes();
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + left * 512, want.end() - left * 512));
    EXPECT_TRUE(std::equal(buf.begin() + left * 512, buf.end(), filler(8 - left).begin()));
    EXPECT_TRUE(said("wfs_file_read() over!!!"));
    // The position stands at the end of the last cluster: nothing follows.
    EXPECT_EQ(h->cur_offset, h->clus_len);
    EXPECT_EQ(wfs_file_read(h, buf.data(), 1), FS_NOT_FOUND);
    EXPECT_EQ(wfs_file_read(h, buf.data(), 8), FS_NOT_FOUND);
    wfs_file_close(h);
}

TEST_F(Read, ReadingExactlyToTheEndThenFurtherGivesNotFound)
{
    const testimg::ManifestRecording &r = rec(1);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    unsigned st = FS_OK;
    read_sectors(h, r.length_sectors, 4, &st);
    ASSERT_EQ(st, FS_OK);
    std::vector<uint8_t> buf(512);
    EXPECT_EQ(wfs_file_read(h, buf.data(), 1), FS_NOT_FOUND);
    wfs_file_close(h);
}

TEST_F(Read, ReadsThatEndOnClusterBoundariesContinueInTheNextCluster)
{
    const testimg::ManifestRecording &r = rec(2);
    const std::vector<uint8_t> want = r.expected_bytes();
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> buf(static_cast<size_t>(spc()) * 512);
    // Whole clusters: each read ends exactly on the boundary, the handle
    // stays at the end of the cluster it read, and the next read moves on.
    for (size_t k = 0; k + 1 < r.clusters.size(); ++k) {
        ASSERT_EQ(wfs_file_read(h, buf.data(), spc()), FS_OK) << "cluster " << k;
        EXPECT_EQ(h->cur_cluster, r.clusters[k]);
        EXPECT_EQ(h->cur_offset, spc());
        EXPECT_EQ(h->curr_clus_num, k);
        EXPECT_TRUE(std::equal(buf.begin(), buf.end(), want.begin() + k * buf.size())) << "cluster " << k;
        uint64_t pos = 0;
        wfs_get_cur_sector(h, &pos);
        EXPECT_EQ(pos, (k + 1) * spc());
    }
    // A zero-sector read changes nothing.
    const uint32_t cluster = h->cur_cluster, offset = h->cur_offset;
    EXPECT_EQ(wfs_file_read(h, buf.data(), 0), FS_OK);
    EXPECT_EQ(h->cur_cluster, cluster);
    EXPECT_EQ(h->cur_offset, offset);
    EXPECT_TRUE(said("wfs_file_read sec_num == 0"));
    wfs_file_close(h);
}

TEST_F(Read, RecordingCutOffWhileWrittenReadsToItsRecordedLength)
{
    const testimg::ManifestRecording &r = rec(3);
    ASSERT_TRUE(r.cut_off);
    ASSERT_GT(r.length_sectors, 0u);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    unsigned st = FS_OK;
    std::vector<uint8_t> got = read_sectors(h, r.length_sectors, 5, &st);
    EXPECT_EQ(st, FS_OK);
    EXPECT_TRUE(got == r.expected_bytes());
    wfs_file_close(h);
}

TEST_F(Read, RefusesUnpositionedHandlesAndMissingBuffers)
{
    FileHandle *h = nullptr;
    ASSERT_EQ(wfs_file_open(&h, 1, 0), FS_OK);
    std::vector<uint8_t> buf(512);
    EXPECT_EQ(wfs_file_read(h, buf.data(), 1), FS_NO_EXIST_FILE);
    ASSERT_EQ(wfs_file_goto_clus(h, 0, 0, rec(0).first_cluster), FS_OK);
    EXPECT_EQ(wfs_file_read(h, nullptr, 1), FS_NOT_FOUND);
    // Nothing was consumed by the refused read.
    EXPECT_EQ(wfs_file_read(h, buf.data(), 1), FS_OK);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), rec(0).expected_bytes().begin()));
    wfs_file_close(h);
}

// ---------------------------------------------------------------- damaged disks

class DamagedRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_capture();
        m_dir = std::make_unique<TempDir>();
    }
    void TearDown() override
    {
        unmount_all();
        wfs_log_set_hook(nullptr, nullptr);
    }

    // One 40-second recording on channel 0 interleaved with channel 1;
    // `damage` may patch the image before it is written.
    void build(const std::function<void(testimg::ImageBuilder &, const testimg::Manifest &)> &damage)
    {
        testimg::RecordingPlan r;
        r.duration = 40;
        testimg::ImageBuilder probe{testimg::DiskPlan{}};
        probe.add(r);
        r.channel = 1;
        probe.add(r);
        m_path = m_dir->file("damaged.img");
        std::string err;
        // First pass learns where everything lies, the second writes the damage.
        ASSERT_TRUE(probe.build(m_path, &m_manifest, &err)) << err;
        testimg::ImageBuilder b{testimg::DiskPlan{}};
        r.channel = 0;
        b.add(r);
        r.channel = 1;
        b.add(r);
        damage(b, m_manifest);
        ASSERT_TRUE(b.build(m_path, &m_manifest, &err)) << err;
        ASSERT_GE(mount_images({m_path}), 1);
        messages().clear();
    }

    const testimg::ManifestRecording &rec(int id) const { return recording(m_manifest, id); }
    const testimg::ManifestPartition &part() const { return m_manifest.partitions.at(0); }
    uint32_t spc_of() const { return part().sec_per_clus; }

    std::unique_ptr<TempDir> m_dir;
    std::string m_path;
    testimg::Manifest m_manifest;
};

TEST_F(DamagedRead, AnIndexThatStartsANewRecordingMidChainEndsTheRead)
{
    build([&](testimg::ImageBuilder &b, const testimg::Manifest &m) {
        const testimg::ManifestRecording &r = recording(m, 0);
        const uint32_t c = r.clusters.at(3);
        // Channel 0, flag 2: the index claims a new recording starts here.
        b.patch(index_sector(m.partitions.at(0), c), index_byte(c), {static_cast<uint8_t>((0 << 2) | 2)});
    });
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    unsigned st = FS_OK;
    std::vector<uint8_t> got = read_sectors(h, r.length_sectors, spc_of(), &st);
    EXPECT_EQ(st, FS_NOT_FOUND);
    // Everything before the damage came back intact.
    ASSERT_EQ(got.size(), 3u * spc_of() * 512);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), r.expected_bytes().begin()));
    wfs_file_close(h);
}

TEST_F(DamagedRead, AnEndLengthBeyondTheClusterNeverReadsPastIt)
{
    build([&](testimg::ImageBuilder &b, const testimg::Manifest &m) {
        const testimg::ManifestRecording &r = recording(m, 0);
        const uint32_t last = r.clusters.back();
        b.patch(dir_record_sector(m.partitions.at(0), last), dir_record_byte(last) + 22, le16(0xFFFF));
    });
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    const uint64_t whole = static_cast<uint64_t>(r.clusters.size()) * spc_of();
    unsigned st = FS_OK;
    std::vector<uint8_t> got = read_sectors(h, whole + 8, 8, &st);
    EXPECT_EQ(st, FS_NOT_FOUND);
    EXPECT_EQ(h->clus_len, spc_of());
    // The last cluster counts as full, and nothing beyond it was read.
    EXPECT_EQ(got.size(), whole * 512);
    const std::vector<uint8_t> want = r.expected_bytes();
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
    wfs_file_close(h);
}

TEST_F(DamagedRead, FirstClusterThatClaimsAnotherRecordingIsNoRecording)
{
    build([&](testimg::ImageBuilder &b, const testimg::Manifest &m) {
        const testimg::ManifestRecording &r = recording(m, 0);
        // first_cluster_no far outside the partition
        b.patch(dir_record_sector(m.partitions.at(0), r.first_cluster), dir_record_byte(r.first_cluster) + 24,
                le32(0xFFFFFF00u));
    });
    const testimg::ManifestRecording &r = rec(0);
    FileHandle *h = nullptr;
    ASSERT_EQ(wfs_file_open(&h, 1, 0), FS_OK);
    EXPECT_EQ(wfs_file_goto_clus(h, 0, 0, r.first_cluster), FS_NO_EXIST_FILE);
    EXPECT_TRUE(said("wfs_file_goto_clus() first_cluster"));
    // Seeking a handle that does not know its recording's first cluster
    // ends with a status, never a read outside the partition.
    EXPECT_NE(wfs_file_moveto_len(h, 1), FS_OK);
    wfs_file_close(h);
}

TEST_F(DamagedRead, ClustersBeyondTheEndOfATruncatedImageFailTheRead)
{
    build([](testimg::ImageBuilder &, const testimg::Manifest &) {});
    const testimg::ManifestRecording &r = rec(0);
    // Cut the image inside the recording's middle cluster.
    const uint32_t c = r.clusters.at(r.clusters.size() / 2);
    const uint64_t cut = (m_manifest.base_lba + part().start + part().layout.data_offset +
                          static_cast<uint64_t>(c) * spc_of() + 2) * 512;
    unmount_all();
    ASSERT_EQ(truncate(m_path.c_str(), static_cast<off_t>(cut)), 0);
    ASSERT_GE(mount_images({m_path}), 1);
    FileHandle *h = open_recording(r);
    ASSERT_NE(h, nullptr);
    unsigned st = FS_OK;
    std::vector<uint8_t> got = read_sectors(h, r.length_sectors, 1, &st);
    EXPECT_EQ(st, FS_NOT_FOUND);
    const size_t intact = (r.clusters.size() / 2) * spc_of() + 2;
    ASSERT_EQ(got.size(), intact * 512);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), r.expected_bytes().begin()));
    wfs_file_close(h);
}

}  // namespace

namespace {

TEST(WrappedRead, RecordingCarriedOverTheRingsEndReadsAndSeeksAcrossIt)
{
    start_capture();
    TempDir dir;
    const std::string path = dir.file("wrapped.img");
    testimg::DiskPlan disk;
    disk.partitions[0].total_cluster = 400;  // a small ring that the recordings overrun
    disk.partitions[0].rev_clus = 2;
    testimg::ImageBuilder b{disk};
    testimg::RecordingPlan r;
    r.duration = 60;
    for (int k = 0; k < 5; ++k) {
        r.channel = 0;
        r.start_time = testimg::pack_time(2024, 5, 1, 10 + k, 0, 0);
        b.add(r);
        r.channel = 1;
        r.start_time = testimg::pack_time(2024, 5, 1, 10 + k, 0, 30);
        b.add(r);
    }
    testimg::Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(path, &m, &err)) << err;
    ASSERT_GE(mount_images({path}), 1);

    int wrapped = 0;
    for (const testimg::ManifestRecording &rr : m.recordings) {
        if (!rr.listed)
            continue;
        FileHandle *h = open_recording(rr);
        ASSERT_NE(h, nullptr) << "recording " << rr.id;
        unsigned st = FS_OK;
        const std::vector<uint8_t> got = read_sectors(h, rr.length_sectors, 13, &st);
        EXPECT_EQ(st, FS_OK) << "recording " << rr.id;
        EXPECT_TRUE(got == rr.expected_bytes()) << "recording " << rr.id;
        if (rr.spans_wrap) {
            ++wrapped;
            // Find where the chain goes back to the ring's start, and seek to
            // both sides of it, from the start and from the current cluster.
            size_t k = 1;
            while (rr.clusters[k] > rr.clusters[k - 1])
                ++k;
            const uint32_t spc = m.partitions.at(0).sec_per_clus;
            const uint64_t after = static_cast<uint64_t>(k) * spc + 1, before = after - 2;
            ASSERT_EQ(wfs_file_moveto_len(h, after), FS_OK);
            EXPECT_EQ(h->cur_cluster, rr.clusters[k]);
            ASSERT_EQ(wfs_file_moveto_len_relative(h, before), FS_OK);
            EXPECT_EQ(h->cur_cluster, rr.clusters[k - 1]);
            std::vector<uint8_t> buf(3 * 512);
            ASSERT_EQ(wfs_file_read(h, buf.data(), 3), FS_OK);
            EXPECT_TRUE(std::equal(buf.begin(), buf.end(), rr.expected_bytes().begin() + before * 512));
            ASSERT_EQ(wfs_file_moveto_time(h, rr.end_time - 1), FS_OK);
            EXPECT_EQ(h->cur_dir_info.first_cluster_no, rr.first_cluster);
        }
        wfs_file_close(h);
    }
    EXPECT_GE(wrapped, 1) << "no listed recording runs over the ring's end";
    unmount_all();
    wfs_log_set_hook(nullptr, nullptr);
}

}  // namespace
