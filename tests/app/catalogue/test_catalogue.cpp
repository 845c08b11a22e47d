// The record catalogue over real recorder images: what it keeps and drops,
// key order, names and paths (read back through CFSFile), paging through a
// crowded day, disk totals, and stopping a load.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "app/fs/CFSFile.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "app/records/catalogue/RecordNaming.h"
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/handle.h"
#include "wfs/volume/layout.h"

namespace {

using testimg::pack_time;

struct TempDir {
    TempDir()
    {
        char tmpl[] = "/tmp/orvelle-cat-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

testimg::RecordingPlan rec(uint8_t ch, uint32_t start, uint32_t dur)
{
    testimg::RecordingPlan r;
    r.channel = ch;
    r.start_time = start;
    r.duration = dur;
    return r;
}

std::vector<uint8_t> readable(const testimg::ManifestRecording &r)
{
    std::vector<uint8_t> all = r.expected_bytes();
    all.erase(all.begin(), all.begin() + std::min<size_t>(r.header_bytes, all.size()));
    return all;
}

std::vector<uint8_t> read_through_cfsfile(const std::string &path)
{
    CFSFile f;
    std::vector<uint8_t> got;
    if (!f.Open(path.c_str(), CFSFile::modeRead))
        return got;
    uint64_t length = f.GetLength();
    std::vector<uint8_t> buf(32768);
    while (got.size() < length) {
        size_t n = f.Read(buf.data(), buf.size());
        if (n == 0)
            break;
        got.insert(got.end(), buf.begin(), buf.begin() + n);
    }
    return got;
}

// The catalogue's view of a manifest recording, for sorting the expectation.
std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t> order(uint32_t disk,
                                                                            const testimg::ManifestRecording &r)
{
    return {disk, r.partition, r.channel, r.start_time, r.end_time, r.first_cluster};
}

class Catalogue : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        s_dir = new TempDir;
        // Disk 0: a recording partition, a read-only one and a picture partition.
        testimg::DiskPlan disk;
        disk.partitions.resize(3);
        for (auto &p : disk.partitions)
            p.sec_per_clus = 64;
        disk.partitions[1].driver_type = testimg::kDriverReadOnly;
        disk.partitions[2].driver_type = testimg::kDriverPicture;
        testimg::ImageBuilder b(disk);
        b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60));                // 0 kept
        auto st1 = rec(0, pack_time(2024, 5, 1, 10, 3, 0), 60);
        st1.stream_type = 1;
        b.add(st1);                                                         // 1 other record format
        auto av3 = rec(3, pack_time(2024, 5, 1, 10, 0, 0), 60);
        av3.av = 3;
        av3.alarm = 15;
        b.add(av3);                                                         // 2 kept, letter V
        auto av1 = rec(4, pack_time(2024, 5, 1, 10, 0, 0), 60);
        av1.av = 1;
        b.add(av1);                                                         // 3 av 1: not listed
        b.add(rec(31, pack_time(2024, 5, 1, 9, 0, 0), 30));                 // 4 kept, last channel
        b.add(rec(40, pack_time(2024, 5, 1, 9, 0, 0), 30));                 // 5 channel beyond 31
        auto pic = rec(0, pack_time(2024, 5, 1, 10, 7, 0), 1);
        pic.picture = true;
        b.add(pic);                                                         // 6 picture: not listed
        b.add(rec(5, pack_time(2024, 5, 1, 11, 0, 0), 60));                 // 7 same channel and seconds
        b.add(rec(6, pack_time(2024, 5, 1, 11, 0, 0), 60));                 // 8 as 7 after the clock is set back
        auto ro = rec(0, pack_time(2024, 6, 1, 8, 0, 0), 30);
        ro.partition = 1;
        b.add(ro);                                                          // 9 kept on partition 1
        auto p2 = rec(0, pack_time(2024, 6, 1, 8, 0, 0), 30);
        p2.partition = 2;
        b.add(p2);                                                          // 10 picture partition
        b.add(rec(0, pack_time(2024, 5, 2, 0, 0, 5), 40));                  // 11 kept, next day
        // The recorder's clock was set back: recording 8 is channel 5 again,
        // with the same seconds as recording 7.
        b.new_write_phase();
        b.add(rec(5, pack_time(2024, 5, 1, 11, 0, 0), 60));                 // 12
        std::string err;
        ASSERT_TRUE(b.build(s_dir->path + "/a.img", &s_disk0, &err)) << err;

        testimg::DiskPlan second;
        second.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b2(second);
        b2.add(rec(2, pack_time(2024, 7, 1, 12, 0, 0), 45));
        ASSERT_TRUE(b2.build(s_dir->path + "/b.img", &s_disk1, &err)) << err;
    }

    static void TearDownTestSuite()
    {
        close_recorder_disks();
        clear_registered_drives();
        delete s_dir;
    }

    void SetUp() override
    {
        CRecordCatalogue::UseImages({s_dir->path + "/a.img", s_dir->path + "/b.img"});
    }

    static TempDir *s_dir;
    static testimg::Manifest s_disk0, s_disk1;
};

TempDir *Catalogue::s_dir;
testimg::Manifest Catalogue::s_disk0, Catalogue::s_disk1;

TEST_F(Catalogue, KeepsThePlayableRecordingsInKeyOrder)
{
    CRecordCatalogue cat;
    ASSERT_TRUE(cat.Load());
    EXPECT_EQ(cat.DiskCount(), 2);
    std::vector<CatalogueEntry> entries = cat.Entries();

    std::vector<std::pair<uint32_t, const testimg::ManifestRecording *>> want;
    for (int id : {0, 2, 4, 7, 8, 9, 11, 12})
        want.push_back({0, &s_disk0.recordings[id]});
    want.push_back({1, &s_disk1.recordings[0]});
    std::sort(want.begin(), want.end(), [](const auto &a, const auto &b) {
        return order(a.first, *a.second) < order(b.first, *b.second);
    });
    ASSERT_EQ(entries.size(), want.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const CatalogueEntry &e = entries[i];
        const testimg::ManifestRecording &r = *want[i].second;
        EXPECT_EQ(e.info.disk, want[i].first) << e.key;
        EXPECT_EQ(e.info.part, r.partition) << e.key;
        EXPECT_EQ(e.info.first_cluster_no, r.first_cluster) << e.key;
        EXPECT_EQ(e.info.channel, r.channel);
        if (i > 0) {
            EXPECT_LT(entries[i - 1].key, e.key);
        }
        // Every listed path reads back the recording's data.
        EXPECT_TRUE(read_through_cfsfile(e.path) == readable(r)) << e.path;
    }
    EXPECT_EQ(cat.RecordMap().size(), entries.size());
}

TEST_F(Catalogue, KeysNamesAndPathsOfOneRecording)
{
    CRecordCatalogue cat;
    ASSERT_TRUE(cat.Load());
    const testimg::ManifestRecording &r = s_disk0.recordings[2];  // channel 3, type 15, av 3
    char cl[16];
    std::snprintf(cl, sizeof cl, "%08x", r.first_cluster);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", r.first_cluster);
    std::string key = std::string("00000320240501100000-100100-") + cl;
    std::string name = std::string("10.00.00-10.01.00[V][@") + hex + "][0].h264";
    std::vector<CatalogueEntry> entries = cat.Entries();
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const CatalogueEntry &e) { return e.info.first_cluster_no == r.first_cluster; });
    ASSERT_NE(it, entries.end());
    EXPECT_EQ(it->key, key);
    EXPECT_EQ(it->name, name);
    EXPECT_EQ(it->path, "/mnt/idea0/2024-05-01/003/" + name);
    EXPECT_EQ(cat.RecordMap().at(key), name);

    // Two recordings of one channel with the same seconds keep a key each.
    const auto &t1 = s_disk0.recordings[7], &t2 = s_disk0.recordings[12];
    ASSERT_EQ(t1.start_time, t2.start_time);
    int twins = 0;
    for (const auto &e : entries)
        twins += e.info.first_cluster_no == t1.first_cluster || e.info.first_cluster_no == t2.first_cluster;
    EXPECT_EQ(twins, 2);
}

TEST_F(Catalogue, RecordFormatSelectsTheStreamType)
{
    CRecordCatalogue cat;
    cat.SetRecordFormat(1);
    ASSERT_TRUE(cat.Load());
    std::vector<CatalogueEntry> entries = cat.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].info.first_cluster_no, s_disk0.recordings[1].first_cluster);
    EXPECT_NE(entries[0].name.find("][1].h264"), std::string::npos);
}

TEST_F(Catalogue, DiskTotalsAddUpThePartitions)
{
    CRecordCatalogue cat;
    cat.InitialiseDisks();
    CatalogueDiskTotals t;
    ASSERT_TRUE(CRecordCatalogue::DiskTotals(0, &t));
    uint64_t total = 0, freeb = 0, pic_total = 0, pic_free = 0;
    for (const auto &p : s_disk0.partitions) {
        total += p.total_mib;
        freeb += p.free_mib;
        if (p.driver_type == testimg::kDriverPicture) {
            pic_total += p.total_mib;
            pic_free += p.free_mib;
        }
    }
    EXPECT_EQ(t.totalMB, total);
    EXPECT_EQ(t.freeMB, freeb);
    EXPECT_EQ(t.pictureTotalMB, pic_total);
    EXPECT_EQ(t.pictureFreeMB, pic_free);
    EXPECT_EQ(t.recordTotalMB, total - pic_total);
    EXPECT_EQ(t.recordFreeMB, freeb - pic_free);
    EXPECT_FALSE(CRecordCatalogue::DiskTotals(5, &t));
    EXPECT_EQ(CRecordCatalogue::MountedPartitions(0), (std::vector<int>{0, 1, 2}));
}

TEST_F(Catalogue, StopEndsALoadEarly)
{
    CRecordCatalogue cat;
    int pages = 0;
    cat.SetProgressCallback([&](const CatalogueProgress &) {
        if (++pages == 1)
            cat.Stop();
    });
    EXPECT_FALSE(cat.Load());
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(cat.Size(), 2u);  // channel 0 of the first partition only
    // Nothing is left open behind it.
    EXPECT_EQ(wfs_file_handles_in_use(), 0);
}

TEST(CatalogueNaming, FiltersOfTheDiskPage)
{
    file_info_v2 fi{};
    fi.part = 1;
    fi.channel = 7;
    fi.av = 2;
    fi.type_bits = 0x30;  // stream type 0
    fi.start_time = pack_time(2024, 5, 1, 10, 0, 0);
    fi.end_time = pack_time(2024, 5, 1, 10, 0, 2);
    EXPECT_TRUE(KeepRecord(fi, 1, 7, 0));
    EXPECT_FALSE(KeepRecord(fi, 0, 7, 0));
    EXPECT_FALSE(KeepRecord(fi, 1, 6, 0));
    EXPECT_FALSE(KeepRecord(fi, 1, 7, 3));
    file_info_v2 g = fi;
    g.end_time = pack_time(2024, 5, 1, 10, 0, 1);  // lasts 1 s
    EXPECT_FALSE(KeepRecord(g, 1, 7, 0));
    g = fi;
    g.av = 1;
    EXPECT_FALSE(KeepRecord(g, 1, 7, 0));
    g.av = 3;
    EXPECT_TRUE(KeepRecord(g, 1, 7, 0));
    g = fi;
    g.end_time = g.start_time;
    EXPECT_FALSE(KeepRecord(g, 1, 7, 0));
    // Codes above 15 write "R".
    g = fi;
    g.alarm = 32;
    EXPECT_NE(MakeDisplayName(g).find("[R]"), std::string::npos);
}

TEST(CataloguePaging, ACrowdedDayIsListedCompletely)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    TempDir dir;
    testimg::DiskPlan disk;
    testimg::ImageBuilder b(disk);
    const int kCount = 12100;  // more than one page of the recording list
    testimg::RecordingPlan r = rec(0, 0, 3);
    r.synthetic.frame_rate = 1;
    r.synthetic.key_payload = 1000;
    r.synthetic.audio_per_second = 0;
    for (int i = 0; i < kCount; ++i) {
        int s = 3600 + i * 4;
        r.start_time = pack_time(2024, 5, 1, s / 3600, s / 60 % 60, s % 60);
        b.add(r);
    }
    testimg::Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(dir.path + "/crowded.img", &m, &err)) << err;
    CRecordCatalogue::UseImages({dir.path + "/crowded.img"});
    CRecordCatalogue cat;
    int pages = 0;
    cat.SetProgressCallback([&](const CatalogueProgress &p) { pages += p.channel == 0; });
    ASSERT_TRUE(cat.Load());
    EXPECT_EQ(cat.Size(), static_cast<size_t>(kCount));
    EXPECT_GE(pages, 2);
    close_recorder_disks();
    clear_registered_drives();
}

}  // namespace

namespace {

// Recordings A..E on channels 0..4 side by side, then F alone; the damage is
// placed once their clusters are known.
void add_five(testimg::ImageBuilder &b)
{
    for (uint8_t ch = 0; ch < 5; ++ch)
        b.add(rec(ch, pack_time(2024, 5, 1, 10, 0, 0), 60));
    b.add(rec(5, pack_time(2024, 5, 1, 12, 0, 0), 60));
}

}  // namespace

TEST(CatalogueDamage, AHostileDirectoryGivesErrorsNotCrashesOrHangs)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    TempDir dir;
    testimg::DiskPlan disk;
    disk.partitions[0].sec_per_clus = 64;
    testimg::Manifest clean;
    std::string err;
    {
        testimg::ImageBuilder b(disk);
        add_five(b);
        ASSERT_TRUE(b.build(dir.path + "/clean.img", &clean, &err)) << err;
    }
    const testimg::ManifestPartition &p = clean.partitions[0];
    auto dir_at = [&](uint32_t c, uint32_t field) {
        return std::make_pair(p.start + p.layout.dir_offset + c / 16, (c % 16) * 32 + field);
    };
    testimg::ImageBuilder b(disk);
    add_five(b);
    const auto &A = clean.recordings[0], &B = clean.recordings[1], &C = clean.recordings[2],
               &D = clean.recordings[3];
    ASSERT_GT(B.clusters.size(), 3u);
    ASSERT_GT(D.clusters.size(), 10u);
    auto a = dir_at(A.first_cluster, 2);  // item_num: claims 65535 clusters
    b.patch(a.first, a.second, {0xFF, 0xFF});
    uint32_t b2 = B.clusters[2];  // index byte of B's third cluster: another channel
    b.patch(p.start + p.layout.index_offset + b2 / 512, b2 % 512, {static_cast<uint8_t>(63 << 2)});
    auto c = dir_at(C.first_cluster, 12);  // start time with month 15, day 31
    b.patch(c.first, c.second, {0xFF, 0xFF, 0xFF, 0xFF});
    auto d = dir_at(D.clusters[8], 0);  // a whole directory sector in the middle of D
    b.patch(d.first, 0, std::vector<uint8_t>(512, 0xAB));
    testimg::Manifest m;
    ASSERT_TRUE(b.build(dir.path + "/damaged.img", &m, &err)) << err;

    CRecordCatalogue::UseImages({dir.path + "/damaged.img"});
    CRecordCatalogue cat;
    ASSERT_TRUE(cat.Load());
    int handles = wfs_file_handles_in_use();
    bool saw_f = false;
    for (const CatalogueEntry &e : cat.Entries()) {
        // Every listed path reads to its end or stops early; none crashes.
        CFSFile f;
        if (!f.Open(e.path.c_str(), CFSFile::modeRead))
            continue;
        uint64_t length = f.GetLength(), total = 0;
        std::vector<uint8_t> buf(1 << 20);
        size_t n;
        while (total < length && (n = f.Read(buf.data(), buf.size())) > 0)
            total += n;
        f.Close();
        if (e.info.first_cluster_no == m.recordings[5].first_cluster) {
            saw_f = true;
            EXPECT_TRUE(read_through_cfsfile(e.path) == readable(m.recordings[5]));
        }
    }
    EXPECT_TRUE(saw_f) << "the undamaged recording is still listed";
    std::vector<uint32_t> words;
    EXPECT_TRUE(CRecordCatalogue::ReadCalendar(0, 0, &words));
    EXPECT_EQ(wfs_file_handles_in_use(), handles);
    close_recorder_disks();
    clear_registered_drives();
}

namespace {

// Compares a load of the image with what its manifest says the catalogue
// holds (record format 0), entry by entry, data included.
void expect_catalogue_matches(const std::string &image, const testimg::Manifest &m, int *spanning_wrap)
{
    CRecordCatalogue::UseImages({image});
    CRecordCatalogue cat;
    ASSERT_TRUE(cat.Load());
    std::vector<const testimg::ManifestRecording *> want;
    for (const auto &r : m.recordings) {
        const testimg::ManifestPartition *p = m.partition(r.partition);
        bool listed_type = p && (p->driver_type == DRIVER_TYPE_RECORD || p->driver_type == DRIVER_TYPE_READONLY ||
                                 p->driver_type == DRIVER_TYPE_5);
        if (r.listed && listed_type && (r.av == 2 || r.av == 3) && r.stream_type == 0 && r.channel < 32)
            want.push_back(&r);
    }
    std::sort(want.begin(), want.end(), [](const auto *a, const auto *b) { return order(0, *a) < order(0, *b); });
    std::vector<CatalogueEntry> entries = cat.Entries();
    ASSERT_EQ(entries.size(), want.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const testimg::ManifestRecording &r = *want[i];
        ASSERT_EQ(entries[i].info.first_cluster_no, r.first_cluster) << i;
        EXPECT_EQ(entries[i].info.end_time, r.end_time) << r.id;
        EXPECT_EQ(entries[i].info.file_len, r.file_len_kb) << r.id;
        EXPECT_TRUE(read_through_cfsfile(entries[i].path) == readable(r)) << entries[i].path;
        *spanning_wrap += r.spans_wrap;
    }
    close_recorder_disks();
    clear_registered_drives();
}

}  // namespace

TEST(CatalogueRing, AWrappedRingAndASetBackClockAreListedAndReadWhole)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    TempDir dir;
    std::string err;
    int spanning = 0;
    {
        // A small partition that three channels fill several times over.
        testimg::DiskPlan d;
        d.partitions[0].sectors = 1500000;
        d.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(d);
        for (int i = 0; i < 40; ++i)
            for (uint8_t ch = 0; ch < 3; ++ch) {
                int s = 8 * 3600 + i * 310;
                b.add(rec(ch, pack_time(2024, 5, 1, s / 3600, s / 60 % 60, s % 60), 300));
            }
        testimg::Manifest m;
        ASSERT_TRUE(b.build(dir.path + "/wrap.img", &m, &err)) << err;
        ASSERT_GT(m.partitions[0].start_cluster2, 0u) << "the ring did not wrap";
        expect_catalogue_matches(dir.path + "/wrap.img", m, &spanning);
    }
    EXPECT_GT(spanning, 0) << "no listed recording crosses the ring's end";
    {
        // The clock set back twice: three passes over the same hours.
        testimg::DiskPlan d;
        d.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(d);
        for (int pass = 0; pass < 3; ++pass) {
            for (int i = 0; i < 5; ++i)
                b.add(rec(0, pack_time(2024, 5, 1, 10 - (pass == 1), i * 3 + (pass == 2), 0), 120));
            b.new_write_phase();
        }
        testimg::Manifest m;
        ASSERT_TRUE(b.build(dir.path + "/collide.img", &m, &err)) << err;
        ASSERT_FALSE(m.partitions[0].collisions.empty());
        expect_catalogue_matches(dir.path + "/collide.img", m, &spanning);
    }
}
