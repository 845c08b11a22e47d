// Sanity checks of the test-image builder: the bytes it writes decode back
// to what its manifest says, read here with explicit offsets rather than
// through the builder's own encoders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/file_list.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"
#include "wfs/volume/mount.h"

using namespace testimg;

namespace {

uint32_t u32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t u16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint64_t u64(const uint8_t *p) { return u32(p) | static_cast<uint64_t>(u32(p + 4)) << 32; }

class ImageFile {
public:
    explicit ImageFile(const std::string &path) : m_fd(::open(path.c_str(), O_RDONLY)) {}
    ~ImageFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    std::vector<uint8_t> read(uint64_t sector, size_t count = 1) const {
        std::vector<uint8_t> b(count * 512);
        const ssize_t r = ::pread(m_fd, b.data(), b.size(), static_cast<off_t>(sector * 512));
        EXPECT_EQ(r, static_cast<ssize_t>(b.size())) << "short read at sector " << sector;
        return b;
    }

private:
    int m_fd;
};

std::string temp_path(const std::string &name) {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/orvelle_ib_" + std::to_string(::getpid()) + "_" + name + ".img";
}

struct Cleanup {
    std::string path;
    ~Cleanup() { ::unlink(path.c_str()); }
};

// Reads the directory record, index byte and data of cluster c.
struct PartView {
    const ImageFile &img;
    uint64_t start;  // absolute sector of the partition
    uint32_t dir, backdir, index, data, spc;
    std::vector<uint8_t> record(uint32_t area, uint32_t c) const {
        auto s = img.read(start + area + c / 16);
        return std::vector<uint8_t>(s.begin() + (c % 16) * 32, s.begin() + (c % 16) * 32 + 32);
    }
    std::vector<uint8_t> dir_item(uint32_t c) const { return record(dir, c); }
    uint8_t index_byte(uint32_t c) const { return img.read(start + index + c / 512)[c % 512]; }
    std::vector<uint8_t> cluster(uint32_t c) const { return img.read(start + data + uint64_t(c) * spc, spc); }
};

PartView view_of(const ImageFile &img, const Manifest &m, uint32_t part) {
    const ManifestPartition &p = *m.partition(part);
    // the offsets come from the parameter block on disk, not from the manifest
    auto pb = img.read(m.base_lba + p.start + p.key_param_offset + 24);
    return PartView{img, m.base_lba + p.start, u32(&pb[68]), u32(&pb[236]), u32(&pb[60]), u32(&pb[72]), u32(&pb[48])};
}

// The recording's bytes gathered from its clusters as the directory chains them.
std::vector<uint8_t> gather(const PartView &v, const ManifestRecording &r) {
    std::vector<uint8_t> out;
    for (size_t j = 0; j < r.clusters.size(); ++j) {
        auto data = v.cluster(r.clusters[j]);
        const size_t n = j + 1 < r.clusters.size() ? data.size() : r.end_length * 512u;
        out.insert(out.end(), data.begin(), data.begin() + n);
    }
    return out;
}

RecordingPlan video(uint8_t channel, uint32_t start, uint32_t duration, uint64_t seed = 1) {
    RecordingPlan r;
    r.channel = channel;
    r.start_time = start;
    r.duration = duration;
    r.synthetic.seed = seed;
    return r;
}

}  // namespace

TEST(ImageBuilderLayout, AreaPlacementMatchesTheFormatRules) {
    AreaLayout a;
    std::string err;
    ASSERT_TRUE(compute_area_layout(2000000000ull, 4096, KeyParamConfig{}, true, &a, &err)) << err;
    EXPECT_EQ(a.groups, 10u);
    EXPECT_EQ(a.dir_size, 31744u);
    EXPECT_EQ(a.index_size, 1984u);
    EXPECT_EQ(a.mark_file_index_block_size, 2944u);
    EXPECT_EQ(a.dir_offset, 10240u);
    EXPECT_EQ(a.backdir_offset, 10240u + 31744u);
    EXPECT_EQ(a.ext_dir_offset, 327680u);            // up256(10240 + 10 * 31744)
    EXPECT_EQ(a.index_offset, 645120u);              // up256(M + 10 * 31744)
    EXPECT_EQ(a.total_cluster, (2000000000u - a.data_offset) / 4096);
    EXPECT_EQ(a.rev_clus, 128u);                     // 2 * (262144 / 4096)
    EXPECT_EQ(a.data_offset % 256, 0u);
    EXPECT_GT(a.data_offset, a.system_end + 2000000000u / 1000 - 256);
    // too small, and a cluster size that is not a power of two
    EXPECT_FALSE(compute_area_layout(100000, 8, KeyParamConfig{}, true, &a, &err));
    EXPECT_FALSE(compute_area_layout(2000000, 3000, KeyParamConfig{}, true, &a, &err));
}

TEST(ImageBuilderTime, PackedTimesRoundTripAndCountFrom2000) {
    EXPECT_EQ(packed_to_seconds(pack_time(2000, 3, 1, 0, 0, 0)), 60 * 86400);
    EXPECT_EQ(packed_to_seconds(pack_time(2001, 1, 1, 0, 0, 0)), 366 * 86400);
    const uint32_t t = pack_time(2024, 2, 29, 23, 59, 59);
    EXPECT_EQ(seconds_to_packed(packed_to_seconds(t)), t);
    EXPECT_EQ(packed_add(t, 1), pack_time(2024, 3, 1, 0, 0, 0));
    EXPECT_EQ(t >> 26, 24u);
    EXPECT_EQ((t >> 22) & 0xF, 2u);
}

TEST(ImageBuilderStructures, FixedSectorsDecodeBack) {
    Cleanup c{temp_path("fixed")};
    DiskPlan disk;
    disk.partitions.resize(2);
    disk.partitions[1].driver_type = kDriverPicture;
    disk.partitions[1].sec_per_clus = 16;
    ImageBuilder b(disk);
    b.add(video(0, pack_time(2024, 5, 1, 10, 0, 0), 30));
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    ImageFile img(c.path);

    struct stat st {};
    ASSERT_EQ(::stat(c.path.c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), m.ide_cap * 512);

    auto mbr = img.read(0);
    EXPECT_EQ(u32(&mbr[454]), 2048u);
    EXPECT_EQ(m.base_lba, 2048u);

    auto head = img.read(2048);
    EXPECT_EQ(std::memcmp(head.data(), "WFS0.4\0", 7), 0);
    EXPECT_EQ(head[510], 'Q');
    EXPECT_EQ(head[511], 'J');
    EXPECT_EQ(u32(&head[454]), 0u);  // no second MBR inside the volume

    auto table = img.read(2048 + 20);
    EXPECT_EQ(u32(&table[44]), 0x789ABCDEu);
    EXPECT_EQ(table, img.read(2048 + 1044));
    for (int i = 0; i < 2; ++i) {
        const uint8_t *e = &table[56 + 64 * i];
        EXPECT_EQ(u64(e), m.partitions[i].start);
        EXPECT_EQ(u64(e + 8), m.partitions[i].sectors);
        EXPECT_EQ(u32(e + 28), 24u);
        EXPECT_EQ(u32(e + 56), 1u);
    }
    EXPECT_EQ(u64(&table[56 + 64 * 2 + 8]), 0u);
    EXPECT_EQ(m.partitions[1].start, m.partitions[0].sectors);
    EXPECT_EQ(m.ide_cap, 2048 + m.partitions[1].start + m.partitions[1].sectors);

    for (const ManifestPartition &p : m.partitions) {
        const uint64_t s = 2048 + p.start;
        auto key = img.read(s + 10);
        EXPECT_EQ(key, img.read(s + 1034));
        EXPECT_EQ(u64(&key[0]), p.sectors);
        EXPECT_EQ(u64(&key[8]), p.start);
        EXPECT_EQ(u32(&key[504]), 4u);
        EXPECT_EQ(u32(&key[508]), 0x789ABCDEu);
        auto pb = img.read(s + 24);
        EXPECT_EQ(pb, img.read(s + 1048));
        EXPECT_EQ(u32(&pb[328]), 0x789ABCDEu);
        EXPECT_EQ(u32(&pb[12]), 170u);
        EXPECT_EQ(u32(&pb[44]), 512u);
        EXPECT_EQ(u32(&pb[48]), p.sec_per_clus);
        EXPECT_EQ(u32(&pb[84]), p.driver_type);
        EXPECT_EQ(u32(&pb[76]), p.layout.total_cluster);
        EXPECT_EQ(u32(&pb[56]), p.layout.rev_clus);
        EXPECT_EQ(u32(&pb[24]), p.current_cluster);
        EXPECT_EQ(u32(&pb[64]), 24u);   // temp_off
        EXPECT_EQ(u32(&pb[156]), 28u);  // collision_offset
        EXPECT_EQ(u32(&pb[140]), p.part);
        EXPECT_EQ(u64(&pb[224]), p.start);
        // key block and parameter block agree on the areas
        EXPECT_EQ(u32(&key[60]), u32(&pb[68]));
        EXPECT_EQ(u32(&key[64]), u32(&pb[236]));
        EXPECT_EQ(u32(&key[68]), u32(&pb[60]));
        EXPECT_EQ(u32(&key[108]), u32(&pb[52]));
        EXPECT_GT(u32(&pb[68]), 28u);
        EXPECT_LT(u32(&pb[68]), u32(&pb[60]));
        // the partition holds its data area
        EXPECT_LE(u32(&pb[72]) + uint64_t(u32(&pb[76])) * u32(&pb[48]), p.sectors);
    }
    EXPECT_NE(m.partitions[0].current_cluster, 0u);
    EXPECT_EQ(m.partitions[1].current_cluster, 0u);  // nothing recorded there
    EXPECT_EQ(m.partitions[1].free_mib,
              (m.partitions[1].layout.total_cluster - 1) * uint64_t(16) / 2048);
}

TEST(ImageBuilderStructures, BareVolumeAndOlderHead) {
    Cleanup c{temp_path("bare")};
    DiskPlan disk;
    disk.mbr = false;
    disk.magic = "WFS0.3";
    disk.head_qj = false;
    ImageBuilder b(disk);
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    ImageFile img(c.path);
    auto head = img.read(0);
    EXPECT_EQ(std::memcmp(head.data(), "WFS0.3\0", 7), 0);
    EXPECT_EQ(u32(&head[454]), 0u);
    EXPECT_EQ(head[510], 0);
    EXPECT_EQ(m.base_lba, 0u);
    EXPECT_TRUE(m.recordings.empty());
}

TEST(ImageBuilderRecordings, ChainsRecordsAndDataAgreeWithTheManifest) {
    Cleanup c{temp_path("rec")};
    DiskPlan disk;
    ImageBuilder b(disk);
    const uint32_t t0 = pack_time(2024, 5, 1, 10, 0, 0);
    b.add(video(0, t0, 40, 11));
    b.add(video(1, t0, 25, 12));            // same time: clusters interleave
    RecordingPlan dh = video(2, packed_add(t0, 5), 20, 13);
    dh.header = HeaderKind::Dhii;
    dh.header_bytes = 1024;
    dh.alarm = 3;
    b.add(dh);
    RecordingPlan pic;
    pic.picture = true;
    pic.channel = 3;
    pic.start_time = packed_add(t0, 7);
    pic.duration = 0;
    pic.synthetic.picture_bytes = 9000;
    b.add(pic);
    auto user = std::make_shared<std::vector<uint8_t>>(5000, 0x5A);
    RecordingPlan given = video(4, t0, 10);
    given.data = DataKind::Bytes;
    given.bytes = user;
    given.header = HeaderKind::Reserved;
    given.header_bytes = 2048;
    b.add(given);
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    ImageFile img(c.path);
    const PartView v = view_of(img, m, 0);
    const ManifestPartition &p = m.partitions[0];

    std::vector<uint32_t> all;
    for (const ManifestRecording &r : m.recordings) {
        SCOPED_TRACE("recording " + std::to_string(r.id));
        ASSERT_FALSE(r.clusters.empty());
        EXPECT_EQ(r.first_cluster, r.clusters[0]);
        EXPECT_EQ(r.length_sectors, (r.clusters.size() - 1) * uint64_t(p.sec_per_clus) + r.end_length);
        EXPECT_EQ(r.length_sectors, (r.data_bytes + 511) / 512);
        EXPECT_GE(r.end_length, 1u);
        EXPECT_LE(r.end_length, p.sec_per_clus);
        for (size_t j = 0; j < r.clusters.size(); ++j) {
            const uint32_t cl = r.clusters[j];
            all.push_back(cl);
            auto d = v.dir_item(cl);
            const bool last = j + 1 == r.clusters.size();
            EXPECT_EQ(d[0], r.alarm);
            EXPECT_EQ(d[1], j == 0 ? 2 : 1);                        // dir_flag
            EXPECT_EQ(u16(&d[2]), j == 0 ? r.item_num : j);          // item_num
            EXPECT_EQ(u32(&d[4]), j == 0 ? 0u : r.clusters[j - 1]);  // up
            EXPECT_EQ(u32(&d[8]), last ? 0u : r.clusters[j + 1]);    // down
            EXPECT_EQ(u16(&d[20]), r.head_sectors);
            EXPECT_EQ(u32(&d[24]), r.first_cluster);
            EXPECT_EQ(d[29], r.stream_type);
            EXPECT_EQ(d[30], r.repeat_no);
            EXPECT_EQ(d[31] >> 2, r.channel);
            EXPECT_EQ(d[31] & 3, r.av);
            EXPECT_EQ(v.index_byte(cl), (r.channel << 2) | (j == 0 ? 2 : 0));
            EXPECT_EQ(d, v.record(v.backdir, cl)) << "backup directory differs";
            if (j == 0) {
                EXPECT_EQ(u32(&d[12]), r.start_time);
                EXPECT_EQ(u32(&d[16]), r.end_time);
                EXPECT_EQ(u16(&d[22]), r.end_length);
            } else {
                const auto prev = v.dir_item(r.clusters[j - 1]);
                EXPECT_GE(u32(&d[12]), j == 1 ? r.start_time : u32(&prev[12]));  // times grow along the chain
                if (last) {
                    EXPECT_EQ(u16(&d[22]), r.end_length);
                    EXPECT_EQ(u32(&d[16]), r.end_time);
                }
            }
        }
        EXPECT_EQ(gather(v, r), r.expected_bytes());
        EXPECT_TRUE(r.listed);
    }
    // every cluster from the ring start up to current_cluster is used once
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.front(), p.layout.rev_clus);
    EXPECT_EQ(all.back(), p.current_cluster);
    EXPECT_EQ(all.size(), p.current_cluster - p.layout.rev_clus + 1);

    // channels 0 and 1 recorded together: neither chain is contiguous
    const ManifestRecording &a = m.recordings[0], &b1 = m.recordings[1];
    EXPECT_NE(a.clusters.back() - a.clusters.front() + 1, a.clusters.size());
    EXPECT_NE(b1.clusters.back() - b1.clusters.front() + 1, b1.clusters.size());
    EXPECT_NE(a.repeat_no, b1.repeat_no);

    // the generated stream: key frame with its time and frame rate first
    auto s = a.expected_stream();
    ASSERT_GE(s.size(), 16u);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2], 1);
    EXPECT_EQ(s[3], 0xFC);
    EXPECT_EQ(s[5], 25);
    EXPECT_EQ(u32(&s[8]), t0);
    auto frames = a.frames();
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const FrameInfo &f) { return f.type == 0xFC; }), 40);
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const FrameInfo &f) { return f.type == 0xFD; }), 40 * 24);
    EXPECT_EQ(frames.back().offset + frames.back().length, a.data_bytes);
    for (const FrameInfo &f : frames) {
        ASSERT_EQ(s[f.offset + 2], 1);
        ASSERT_EQ(s[f.offset + 3], f.type);
    }

    // "DHII" header: first sector of the recording, length at byte 4
    const ManifestRecording &d = m.recordings[2];
    auto first = v.cluster(d.first_cluster);
    EXPECT_EQ(std::memcmp(first.data(), "DHII", 4), 0);
    EXPECT_EQ(u32(&first[4]), 1024u);
    EXPECT_EQ(d.head_sectors, 0u);
    EXPECT_EQ(d.expected_stream()[3], 0xFC);

    // picture: AV 0, JPEG markers
    const ManifestRecording &pr = m.recordings[3];
    EXPECT_EQ(pr.av, 0);
    auto pbytes = pr.expected_stream();
    EXPECT_EQ(pbytes[0], 0xFF);
    EXPECT_EQ(pbytes[1], 0xD8);
    EXPECT_EQ(pbytes[pr.data_bytes - 1], 0xD9);

    // caller bytes behind a reserved header
    const ManifestRecording &g = m.recordings[4];
    EXPECT_EQ(g.head_sectors, 4u);
    auto gs = g.expected_stream();
    EXPECT_TRUE(std::equal(user->begin(), user->end(), gs.begin()));

    EXPECT_EQ(p.days, std::vector<uint32_t>{pack_time(2024, 5, 1, 0, 0, 0)});
}

TEST(ImageBuilderRecordings, WrappedRingOverwritesTheOldest) {
    Cleanup c{temp_path("wrap")};
    DiskPlan disk;
    disk.partitions[0].total_cluster = 700;  // a short ring; rev_clus stays computed
    disk.partitions[0].rev_clus = 10;
    ImageBuilder b(disk);
    uint32_t t = pack_time(2024, 6, 1, 8, 0, 0);
    for (int i = 0; i < 14; ++i) {  // each ~ 60 clusters: more than the 690 of the ring
        RecordingPlan r = video(static_cast<uint8_t>(i % 2), t, 60, i + 1);
        r.synthetic.key_payload = 2000;
        r.synthetic.frame_payload = 200;
        b.add(r);
        t = packed_add(t, 60);
    }
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    const ManifestPartition &p = m.partitions[0];
    EXPECT_NE(p.end_cluster2, 0u);
    EXPECT_EQ(p.start_cluster2, p.current_cluster + 256);
    EXPECT_EQ(p.free_mib, 0u);
    EXPECT_TRUE(m.recordings.front().overwritten);
    EXPECT_FALSE(m.recordings.front().listed);
    EXPECT_TRUE(m.recordings.back().listed);
    bool some_old = false, some_wrap = false;
    for (const ManifestRecording &r : m.recordings) {
        some_old |= r.old_pass && r.listed;
        some_wrap |= r.spans_wrap;
        if (r.spans_wrap) {
            // the part before the ring's end is what a reader can reach
            ASSERT_GT(r.readable_sectors, 0u);
            const uint32_t before = static_cast<uint32_t>(r.readable_sectors / p.sec_per_clus);
            EXPECT_EQ(r.clusters[before - 1], 699u);  // last cluster of the ring
            EXPECT_EQ(r.clusters[before], 10u);       // then the ring's start
        } else {
            EXPECT_EQ(r.readable_sectors, r.length_sectors);
        }
        if (r.overwritten) {
            EXPECT_FALSE(r.listed);
        }
    }
    EXPECT_TRUE(some_old);
    EXPECT_TRUE(some_wrap);
    ImageFile img(c.path);
    auto pb = img.read(2048 + 24);
    EXPECT_EQ(u32(&pb[28]), p.start_cluster2);
    EXPECT_EQ(u32(&pb[32]), p.end_cluster2);
    const PartView v = view_of(img, m, 0);
    EXPECT_EQ(u32(&pb[36]), u32(&v.dir_item(p.start_cluster2)[12]));
    // the newest recording's data survived intact
    EXPECT_EQ(gather(v, m.recordings.back()), m.recordings.back().expected_bytes());
}

TEST(ImageBuilderRecordings, ClockSetBackLeavesACollisionAndRepeatNumbersTellTwinsApart) {
    Cleanup c{temp_path("coll")};
    ImageBuilder b{DiskPlan{}};
    const uint32_t t0 = pack_time(2024, 7, 1, 12, 0, 0);
    b.add(video(0, t0, 30));
    b.new_write_phase();
    const int again = b.add(video(0, t0, 20, 7));  // clock set back to the same start
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    const ManifestPartition &p = m.partitions[0];
    ASSERT_EQ(p.collisions.size(), 1u);
    EXPECT_EQ(p.collisions[0], m.recordings[again].first_cluster);
    EXPECT_EQ(m.recordings[0].start_time, m.recordings[1].start_time);
    EXPECT_EQ(m.recordings[1].repeat_no, m.recordings[0].repeat_no + 1);
    EXPECT_TRUE(m.recordings[0].listed && m.recordings[1].listed);
    EXPECT_EQ(p.end_time1, m.recordings[1].end_time);  // the last close in write order
    ImageFile img(c.path);
    auto pb = img.read(2048 + 24);
    EXPECT_EQ(u32(&pb[160]), 1u);
    auto coll = img.read(2048 + 28);
    EXPECT_EQ(u32(&coll[0]), p.collisions[0]);
    EXPECT_EQ(u32(&coll[4]), 0u);
}

TEST(ImageBuilderRecordings, CutOffAndDeletedRecordings) {
    Cleanup c{temp_path("cut")};
    ImageBuilder b{DiskPlan{}};
    const uint32_t t0 = pack_time(2024, 8, 1, 23, 0, 0);
    RecordingPlan del = video(1, t0, 20);
    del.deleted = true;
    b.add(del);
    RecordingPlan cut = video(0, t0, 30);
    cut.cut_off = true;
    b.add(cut);
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    ImageFile img(c.path);
    const PartView v = view_of(img, m, 0);
    EXPECT_EQ(m.partitions[0].status, 0u);
    EXPECT_EQ(u32(&img.read(2048 + 24)[12]), 0u);

    const ManifestRecording &d = m.recordings[0];
    EXPECT_FALSE(d.listed);
    EXPECT_EQ(v.dir_item(d.first_cluster)[0], 32);
    EXPECT_EQ(v.dir_item(d.clusters[1])[0], 0);  // only the first record is marked

    const ManifestRecording &k = m.recordings[1];
    EXPECT_TRUE(k.cut_off);
    auto last = v.dir_item(k.clusters.back());
    EXPECT_EQ(u32(&last[8]), 0xFFFFFFFFu);
    EXPECT_EQ(u16(&last[22]), k.end_length);
    auto first = v.dir_item(k.first_cluster);
    EXPECT_EQ(u16(&first[22]), 0u);                      // running totals only
    EXPECT_EQ(u16(&first[2]), k.clusters.size() - 1);
    EXPECT_EQ(gather(v, k), k.expected_bytes());
}

TEST(ImageBuilderChecks, RefusesWhatARecorderCannotWrite) {
    Cleanup c{temp_path("bad")};
    std::string err;
    const uint32_t t0 = pack_time(2024, 5, 1, 10, 0, 0);
    EXPECT_FALSE(build_simple_image(c.path, {video(0, t0, 60), video(0, packed_add(t0, 30), 60)}, nullptr, &err));
    EXPECT_NE(err.find("overlap"), std::string::npos);
    RecordingPlan r = video(0, t0, 10);
    r.header = HeaderKind::Dhii;
    r.header_bytes = 100;
    EXPECT_FALSE(build_simple_image(c.path, {r}, nullptr, &err));
    r = video(64, t0, 10);
    EXPECT_FALSE(build_simple_image(c.path, {r}, nullptr, &err));
    r = video(0, pack_time(2024, 13, 1, 0, 0, 0), 10);
    EXPECT_FALSE(build_simple_image(c.path, {r}, nullptr, &err));
    r = video(0, t0, 40 * 86400);  // refused before any data is generated
    EXPECT_FALSE(build_simple_image(c.path, {r}, nullptr, &err));
    r = video(0, t0, 120);
    r.synthetic.key_payload = 400000;  // more clusters than item_num can count
    r.synthetic.frame_payload = 400000;
    EXPECT_FALSE(build_simple_image(c.path, {r}, nullptr, &err));
    EXPECT_NE(err.find("65536"), std::string::npos) << err;
    // back to back on one channel is fine
    EXPECT_TRUE(build_simple_image(c.path, {video(0, t0, 30), video(0, packed_add(t0, 30), 30)}, nullptr, &err)) << err;
}

TEST(ImageBuilderScale, MillionClusterImageStaysSparse) {
    Cleanup c{temp_path("big")};
    DiskPlan disk;
    disk.partitions[0].sectors = 11000000;
    ImageBuilder b(disk);
    uint32_t t = pack_time(2024, 1, 1, 0, 0, 0);
    for (int i = 0; i < 40; ++i) {
        RecordingPlan r;
        r.channel = static_cast<uint8_t>(i % 4);
        r.start_time = t;
        r.duration = 600;
        r.data = DataKind::Unwritten;
        r.unwritten_bytes = 4096ull * 1000;
        b.add(r);
        if (i % 4 == 3) t = packed_add(t, 600);
    }
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    EXPECT_GE(m.partitions[0].layout.total_cluster, 1000000u);
    EXPECT_EQ(m.partitions[0].current_cluster, m.partitions[0].layout.rev_clus + 40 * 1000 - 1);
    struct stat st {};
    ASSERT_EQ(::stat(c.path.c_str(), &st), 0);
    const uint64_t allocated = static_cast<uint64_t>(st.st_blocks) * 512;
    EXPECT_GE(static_cast<uint64_t>(st.st_size), 4ull << 30);
    // directory + backup (32 bytes per cluster each) + index, and little else
    EXPECT_LT(allocated, 80ull << 20) << "allocated " << allocated;
}

TEST(ImageBuilderRecordings, BadClustersKeptRecordingsAndUserData) {
    Cleanup c{temp_path("keep")};
    DiskPlan disk;
    disk.partitions[0].rev_clus = 8000;  // reserved clusters hold the user-data ring
    disk.partitions[0].total_cluster = 8400;
    disk.partitions[0].bad_clusters = {8003};
    ImageBuilder b(disk);
    uint32_t t = pack_time(2024, 9, 1, 6, 0, 0);
    RecordingPlan kept = video(0, t, 30, 3);
    kept.keep = true;
    kept.card_number = "12345";
    kept.card_kind = 2;
    b.add(kept);
    for (int i = 0; i < 12; ++i) {  // enough to come round the 400-cluster ring
        t = packed_add(t, 60);
        b.add(video(1, t, 60, 10 + i));
    }
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    ImageFile img(c.path);
    const PartView v = view_of(img, m, 0);
    const ManifestPartition &p = m.partitions[0];

    EXPECT_EQ(v.index_byte(8003), 0x03);
    for (const ManifestRecording &r : m.recordings)
        EXPECT_EQ(std::count(r.clusters.begin(), r.clusters.end(), 8003u), 0) << "bad cluster taken";
    auto stub = v.dir_item(8003);
    EXPECT_EQ(stub[1], 2);              // jumped over: reset to a stub of itself
    EXPECT_EQ(u32(&stub[24]), 8003u);

    const ManifestRecording &k = m.recordings[0];
    EXPECT_TRUE(k.kept);
    EXPECT_FALSE(k.overwritten);
    EXPECT_TRUE(k.passed_over);
    auto first = v.dir_item(k.first_cluster);
    EXPECT_EQ(first[1], 4);                       // passed-over first cluster
    EXPECT_EQ(v.dir_item(k.clusters[1])[1], 5);   // passed-over continuation
    EXPECT_EQ(first[28] & 0x20, 0x20);            // keep_flag
    EXPECT_EQ(v.index_byte(k.first_cluster), 0x03);
    EXPECT_EQ(u32(&first[12]), k.start_time);
    EXPECT_GT(k.start_time, m.recordings[1].start_time);  // stamped when the writer came round

    EXPECT_EQ(k.ud_item, 1u);
    EXPECT_EQ(u32(&first[4]), 1u);  // up_cluster_no of a first cluster: the user-data item
    auto ud = img.read(m.base_lba + p.ud_sector(1));
    const uint8_t *item = &ud[16];
    EXPECT_EQ(item[0], 0x21);
    EXPECT_EQ(item[1], 0x43);
    EXPECT_EQ(item[2], 0xF5);
    EXPECT_EQ(item[10], 2);
    EXPECT_EQ(u32(item + 12), k.first_cluster);
    EXPECT_EQ(std::vector<uint8_t>(item, item + 12), k.ud_bytes);
    EXPECT_EQ(p.ud_last_item, 2u);
    EXPECT_EQ(u32(&img.read(m.base_lba + p.param_block_sector())[104]), 2u);
}

TEST(ImageBuilderRecordings, CollisionsStayInsideTheRing) {
    Cleanup c{temp_path("collwrap")};
    DiskPlan disk;
    disk.partitions[0].rev_clus = 10;
    disk.partitions[0].total_cluster = 700;
    ImageBuilder b(disk);
    uint32_t t = pack_time(2024, 6, 2, 8, 0, 0);
    for (int round = 0; round < 3; ++round) {
        // each round the clock goes back an hour, then ~270 clusters are written
        for (int i = 0; i < 2; ++i) b.add(video(0, packed_add(t, 60 * i), 60, round * 10 + i));
        b.new_write_phase();
        t = packed_add(t, -3600);
    }
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    const ManifestPartition &p = m.partitions[0];
    ASSERT_FALSE(p.collisions.empty());
    EXPECT_TRUE(std::is_sorted(p.collisions.begin(), p.collisions.end()));
    for (uint32_t cl : p.collisions) {
        EXPECT_GT(cl, p.layout.rev_clus);
        const bool current_pass = cl <= p.current_cluster;
        const bool kept_pass = p.end_cluster2 != 0 && cl <= p.end_cluster2;
        EXPECT_TRUE(current_pass || kept_pass) << cl;
    }
    // every collision cluster starts a recording phase: its start is earlier than its predecessor's
    ImageFile img(c.path);
    const PartView v = view_of(img, m, 0);
    for (uint32_t cl : p.collisions) EXPECT_LT(u32(&v.dir_item(cl)[12]), u32(&v.dir_item(cl - 1)[12]));
}

TEST(ImageBuilderRecordings, CutOffWithoutRepairKeepsTheRunningTotals) {
    // A read-only partition is not repaired at mount: its cut-off recording
    // is only as long as the first record's running totals say.
    Cleanup c{temp_path("cutro")};
    DiskPlan disk;
    disk.partitions[0].driver_type = kDriverReadOnly;
    ImageBuilder b(disk);
    RecordingPlan r = video(0, pack_time(2024, 8, 2, 9, 0, 0), 30);
    r.cut_off = true;
    b.add(r);
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    const ManifestRecording &k = m.recordings[0];
    ASSERT_GT(k.clusters.size(), 1u);
    EXPECT_EQ(k.end_length, 0u);
    EXPECT_EQ(k.length_sectors, (k.clusters.size() - 1) * uint64_t(m.partitions[0].sec_per_clus));
    ImageFile img(c.path);
    const PartView v = view_of(img, m, 0);
    EXPECT_EQ(u32(&v.dir_item(k.first_cluster)[16]), k.end_time);
    EXPECT_EQ(k.end_time, u32(&v.dir_item(k.clusters.back())[12]));  // when the last cluster was taken
}

// ---- the reader and the builder agree --------------------------------------
// Two independent implementations of the format: every listed recording of
// every channel, its fields and its bytes, the partition figures and the
// calendar must come out the same.

namespace {

class ReaderAgreement : public ::testing::Test {
protected:
    void SetUp() override { wfs_log_set_route(WFS_LOG_SILENT); }
    void TearDown() override {
        close_recorder_disks();
        clear_registered_drives();
    }

    void mount(const std::string &path) {
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(true);
        register_image_file(path.c_str());
        scan_recorder_disks();
        int n = 0;
        wfs_file_sys_init(&n, 0);
    }

    static std::vector<uint8_t> read_by_name(const ManifestRecording &r) {
        const CivilTime s = unpack_time(r.start_time), e = unpack_time(r.end_time);
        const std::string name = wfs_build_file_name(s.hour, s.minute, s.second, e.hour, e.minute, e.second, "R",
                                                     r.first_cluster, 0, r.av ? "h264" : "jpg");
        const std::string path =
            wfs_build_record_path(static_cast<int>(r.disk), static_cast<int>(r.partition), s.year, s.month, s.day,
                                  r.channel + 1, name);
        std::vector<uint8_t> out;
        fs_file *f = fs_fopen(path.c_str(), "rb");
        if (!f) return out;
        std::vector<uint8_t> buf(32768);
        for (size_t k; (k = fs_fread(buf.data(), 1, buf.size(), f)) > 0;) out.insert(out.end(), buf.begin(), buf.begin() + k);
        fs_fclose(f);
        return out;
    }

    void expect_agreement(const Manifest &m) {
        for (const ManifestPartition &p : m.partitions) {
            SCOPED_TRACE("partition " + std::to_string(p.part));
            DriverInfo di{};
            ASSERT_EQ(wfs_get_driver_info(0, static_cast<int>(p.part), &di), 0);
            EXPECT_EQ(di.total_space, p.total_mib);
            EXPECT_EQ(di.free_space, p.free_mib);
            const std::string wd = wfs_build_work_dir_path(0, static_cast<int>(p.part));
            std::vector<uint32_t> cal(832, 0);
            fs_file *f = fs_fopen(wd.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(fs_fread(cal.data(), 3328, 1, f), 1u);
            fs_fclose(f);
            std::vector<uint32_t> days;
            for (int i = 0; i < 832; ++i)
                for (int d = 1; d < 32; ++d)
                    if (cal[i] >> d & 1) days.push_back(pack_time(2000 + i / 13, i % 13, d, 0, 0, 0));
            EXPECT_EQ(days, p.calendar_days);
        }
        for (int ch = 0; ch < 64; ++ch) {
            std::vector<file_info_v2> out(2000);
            uint32_t n = static_cast<uint32_t>(out.size());
            wfs_file_list(static_cast<uint8_t>(ch), pack_time(2000, 1, 1, 0, 0, 0), pack_time(2063, 12, 31, 23, 59, 59),
                          &n, out.data(), 0xFFFFFFFFu, 0, 0x7Fu, 2);
            std::map<std::pair<uint32_t, uint32_t>, file_info_v2> got;
            for (uint32_t i = 0; i < n; ++i) got[{out[i].part, out[i].first_cluster_no}] = out[i];
            size_t want = 0;
            for (const ManifestRecording &r : m.recordings) {
                if (!r.listed || r.channel != ch) continue;
                ++want;
                SCOPED_TRACE("recording " + std::to_string(r.id));
                auto it = got.find({r.partition, r.first_cluster});
                ASSERT_NE(it, got.end()) << "not listed by the reader";
                const file_info_v2 &fi = it->second;
                EXPECT_EQ(fi.start_time, r.start_time);
                EXPECT_EQ(fi.end_time, r.end_time);
                EXPECT_EQ(fi.file_len, r.file_len_kb);
                EXPECT_EQ(fi.alarm, r.alarm);
                EXPECT_EQ(fi.repeat_no, r.repeat_no);
                EXPECT_EQ(fi.av, r.av);
                EXPECT_EQ(fi.type_bits & 0xF, r.stream_type & 0xF);
                // a recording across the ring's end is read whole, too
                EXPECT_EQ(read_by_name(r), r.expected_stream());
            }
            EXPECT_EQ(got.size(), want) << "channel " << ch << ": the reader lists recordings the manifest does not";
        }
    }
};

}  // namespace

TEST_F(ReaderAgreement, MixedRecordingsPhasesAndInterruption) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Cleanup c{temp_path("agree" + std::to_string(seed))};
        DiskPlan disk;
        disk.partitions.resize(2);
        disk.partitions[0].sec_per_clus = 16;
        disk.partitions[1].driver_type = kDriverPicture;
        ImageBuilder b(disk);
        uint64_t rng = seed * 7919;
        uint32_t t = pack_time(2024, 3, 10, 22, 0, 0);
        for (int phase = 0; phase < 2; ++phase) {
            std::vector<uint32_t> channel_free(8, 0);
            for (int i = 0; i < 20; ++i) {
                RecordingPlan r;
                r.channel = static_cast<uint8_t>(splitmix64(&rng) % 8);
                r.duration = 1 + static_cast<uint32_t>(splitmix64(&rng) % 300);
                const uint32_t at = std::max<uint32_t>(static_cast<uint32_t>(splitmix64(&rng) % 7200),
                                                       channel_free[r.channel]);
                channel_free[r.channel] = at + r.duration;
                r.start_time = packed_add(t, at);
                r.alarm = static_cast<uint8_t>(splitmix64(&rng) % 16);
                r.synthetic.seed = rng;
                r.synthetic.frame_rate = 5 + static_cast<uint32_t>(splitmix64(&rng) % 25);
                switch (splitmix64(&rng) % 8) {
                case 0: r.deleted = true; break;
                case 1: r.header = HeaderKind::Dhii; r.header_bytes = 1024; break;
                case 2: r.header = HeaderKind::Reserved; r.header_bytes = 2048; break;
                case 3: r.picture = true; r.duration = 0; r.partition = 1; break;
                default: break;
                }
                b.add(r);
            }
            b.new_write_phase();  // the clock goes back half an hour
            t = packed_add(t, -1800);
        }
        RecordingPlan cut = video(9, packed_add(t, 9000), 40, 99);
        cut.cut_off = true;  // the disk was pulled while this one was written
        b.add(cut);
        Manifest m;
        std::string err;
        ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
        ASSERT_FALSE(m.partitions[0].collisions.empty());
        mount(c.path);
        expect_agreement(m);
    }
}

TEST_F(ReaderAgreement, WrappedRingWithThePreviousPassKept) {
    // Recordings of exactly 100 clusters in a 1200-cluster ring: none runs
    // across the ring's end, 15 of them go round once and leave the older
    // part of the previous pass behind the write position.
    Cleanup c{temp_path("agreewrap")};
    DiskPlan disk;
    disk.partitions[0].rev_clus = 10;
    disk.partitions[0].total_cluster = 1210;
    ImageBuilder b(disk);
    uint32_t t = pack_time(2024, 4, 1, 8, 0, 0);
    uint64_t rng = 5;
    for (int i = 0; i < 15; ++i) {
        auto bytes = std::make_shared<std::vector<uint8_t>>(100 * 8 * 512);
        for (uint8_t &x : *bytes) x = static_cast<uint8_t>(splitmix64(&rng));
        RecordingPlan r = video(static_cast<uint8_t>(i % 3), t, 120);
        r.data = DataKind::Bytes;
        r.bytes = bytes;
        b.add(r);
        t = packed_add(t, 120);
    }
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    const ManifestPartition &p = m.partitions[0];
    ASSERT_NE(p.end_cluster2, 0u);
    EXPECT_EQ(p.current_cluster, 10u + 3 * 100 - 1);
    int old_listed = 0;
    for (const ManifestRecording &r : m.recordings) {
        EXPECT_FALSE(r.spans_wrap);
        old_listed += r.old_pass && r.listed;
    }
    EXPECT_EQ(old_listed, 9);
    mount(c.path);
    expect_agreement(m);
}

TEST_F(ReaderAgreement, WrappedRingWithRecordingsAcrossItsEnd) {
    // Three channels recording together fill a 1500-cluster ring one and a
    // half times over: the recordings running at the ring's end continue at
    // its start, and the newest ones lie behind their tails.
    Cleanup c{temp_path("agreespan")};
    DiskPlan disk;
    disk.partitions[0].rev_clus = 10;
    disk.partitions[0].total_cluster = 1500;
    ImageBuilder b(disk);
    const uint32_t t0 = pack_time(2024, 5, 1, 23, 50, 0);
    for (int i = 0; i < 9; ++i) b.add(video(static_cast<uint8_t>(i % 3), packed_add(t0, (i / 3) * 120), 110, i + 1));
    b.add(video(0, packed_add(t0, 400), 30, 77));
    Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
    int spanning = 0;
    for (const ManifestRecording &r : m.recordings) spanning += r.spans_wrap && r.listed;
    EXPECT_EQ(spanning, 3);
    EXPECT_TRUE(m.recordings.back().listed);
    ASSERT_NE(m.partitions[0].end_cluster2, 0u);
    mount(c.path);
    expect_agreement(m);
}

TEST(ImageBuilderStructures, NeverWrittenRecordsAsFormattedOrLeftAsHoles) {
    for (bool format : {true, false}) {
        SCOPED_TRACE(format ? "formatted" : "holes");
        Cleanup c{temp_path(format ? "fmt" : "holes")};
        DiskPlan disk;
        disk.partitions[0].format_areas = format;
        ImageBuilder b(disk);
        b.add(video(0, pack_time(2024, 5, 1, 10, 0, 0), 10));
        Manifest m;
        std::string err;
        ASSERT_TRUE(b.build(c.path, &m, &err)) << err;
        ImageFile img(c.path);
        const PartView v = view_of(img, m, 0);
        const ManifestPartition &p = m.partitions[0];
        const uint32_t beyond = p.current_cluster + 1, reserved = p.layout.rev_clus - 1;
        auto fresh = v.dir_item(beyond);
        EXPECT_EQ(fresh[1], format ? 0xFE : 0x00);
        EXPECT_EQ(v.dir_item(reserved)[1], format ? 0xFF : 0x00);
        EXPECT_EQ(v.index_byte(beyond), format ? 0x03 : 0x00);
        EXPECT_EQ(v.index_byte(p.layout.total_cluster), format ? 0x03 : 0x00);  // the tables' last valid record
        EXPECT_EQ(std::count(fresh.begin(), fresh.end(), 0), format ? 31 : 32);
    }
}
