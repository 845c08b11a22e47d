// Evidence image formats: one recorder disk as a raw image, as split raw
// images made by split(1) and as Expert Witness Format sets made by
// ewfacquire(1) must read byte for byte the same, list the same recordings
// and give the same recording bytes; missing, cut-short and corrupt pieces of
// a set fail cleanly and never hand out data of another offset.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "tests/wfs/device/sparse_image.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/image_source.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/device/source_info.h"
#include "wfs/file/file_list.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"
#include "wfs/volume/mount.h"

namespace {

int sh(const std::string &cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

std::string q(const std::string &s) { return "'" + s + "'"; }

uint64_t file_size(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Files of a folder whose names begin with `prefix`, sorted.
std::vector<std::string> files_starting(const std::string &dir, const std::string &prefix)
{
    std::vector<std::string> out;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return out;
    while (dirent *e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.compare(0, prefix.size(), prefix) == 0)
            out.push_back(dir + "/" + n);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

// Size, modification and change times of a file: any write or change of
// its attributes moves them.
std::string fingerprint(const std::string &path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return "absent";
    return std::to_string(st.st_size) + "/" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + "/" + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec);
}

// A copy of a set in a fresh folder, to damage: hard links, so that the
// copy costs nothing; own_copy() gives one file its own bytes before it is
// changed.
std::string copy_set(const std::string &dir, const std::vector<std::string> &files, const std::string &sub)
{
    const std::string to = dir + "/" + sub;
    sh("rm -rf " + q(to) + " && mkdir -p " + q(to));
    for (const std::string &f : files)
        sh("ln " + q(f) + " " + q(to) + "/");
    return to;
}

void own_copy(const std::string &path) { sh("cp --remove-destination " + q(path) + " " + q(path + ".tmp") + " && mv " + q(path + ".tmp") + " " + q(path)); }

std::string base_name(const std::string &path) { return path.substr(path.rfind('/') + 1); }

// `count` sectors of the raw image at `sector`.
std::vector<uint8_t> raw_sectors(const std::string &raw, uint64_t sector, uint32_t count)
{
    std::vector<uint8_t> out(static_cast<size_t>(count) * 512);
    int fd = open(raw.c_str(), O_RDONLY | O_CLOEXEC);
    ssize_t n = fd >= 0 ? pread(fd, out.data(), out.size(), static_cast<off_t>(sector * 512)) : -1;
    if (fd >= 0)
        close(fd);
    if (n != static_cast<ssize_t>(out.size()))
        out.clear();
    return out;
}

// Reads the whole device in runs of varying length (runs cross segment and
// chunk boundaries at different places) and compares with the raw image.
void expect_same_bytes(BlockDevice *dev, const std::string &raw, const std::string &what)
{
    const uint64_t sectors = file_size(raw) / 512;
    ASSERT_EQ(blockdev_capacity(dev), sectors) << what;
    static const uint32_t runs[] = {1, 7, 64, 3, 129, 2048, 5, 1000, 4096};
    std::vector<uint8_t> buf(4096 * 512), want;
    int fd = open(raw.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    uint64_t at = 0;
    for (size_t i = 0; at < sectors; ++i) {
        uint32_t n = runs[i % (sizeof runs / sizeof runs[0])];
        if (n > sectors - at)
            n = static_cast<uint32_t>(sectors - at);
        want.resize(static_cast<size_t>(n) * 512);
        ASSERT_EQ(pread(fd, want.data(), want.size(), static_cast<off_t>(at * 512)), static_cast<ssize_t>(want.size()));
        ASSERT_EQ(blockdev_read(dev, at, n, buf.data()), 0) << what << " at sector " << at;
        ASSERT_EQ(std::memcmp(buf.data(), want.data(), want.size()), 0) << what << " differs at sector " << at;
        at += n;
    }
    close(fd);
    EXPECT_EQ(blockdev_read(dev, sectors, 1, buf.data()), -1) << what << ": past the end";
    EXPECT_EQ(blockdev_read(dev, sectors - 1, 2, buf.data()), -1) << what << ": into the end";
}

// What a listing holds, disk number aside.
struct Listed {
    uint8_t channel, alarm, av, repeat_no, part;
    uint32_t start, end, len, first_cluster;
    bool operator==(const Listed &o) const
    {
        return channel == o.channel && alarm == o.alarm && av == o.av && repeat_no == o.repeat_no && part == o.part &&
               start == o.start && end == o.end && len == o.len && first_cluster == o.first_cluster;
    }
};

class ImageFormats : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        char tmpl[] = "/tmp/orvelle-formats-XXXXXX";
        s_dir = mkdtemp(tmpl);
        s_raw = s_dir + "/disk.img";
        // Random frame payloads do not compress: the EWF set gets several
        // 1 MiB segments. Clusters of 64 sectors; no face library, so that
        // a partition of about 370 MiB (sparse) leaves room for the data.
        testimg::DiskPlan disk;
        disk.partitions[0].sectors = 760000;
        disk.partitions[0].sec_per_clus = 64;
        disk.partitions[0].key.face_lib_support_size = 0;
        testimg::ImageBuilder b(disk);
        for (int ch = 0; ch < 3; ++ch) {
            testimg::RecordingPlan r;
            r.channel = static_cast<uint8_t>(ch);
            r.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0);
            r.duration = 40;
            r.synthetic.frame_payload = 3000;
            r.synthetic.key_payload = 12000;
            r.synthetic.seed = 7 + ch;
            b.add(r);
            r.start_time = testimg::pack_time(2024, 5, 1, 11, 0, 0);
            r.duration = 25;
            r.synthetic.seed = 70 + ch;
            b.add(r);
        }
        std::string err;
        ASSERT_TRUE(b.build(s_raw, &s_manifest, &err)) << err;
        s_sectors = file_size(s_raw) / 512;
        ASSERT_EQ(file_size(s_raw) % 512, 0u);

        ASSERT_EQ(sh("{ command -v ewfacquire && command -v split; }"), 0) << "ewf-tools and coreutils are needed";
        // split -d counts from .000; 50,000,000 bytes is no multiple of
        // 512, so sectors straddle segments. The pieces are written sparse.
        const std::string sparse_out = " --filter='cp --sparse=always /dev/stdin \"$FILE\"' disk.img ";
        ASSERT_EQ(sh("cd " + q(s_dir) + " && split -b " + std::to_string(kSplitBytes) + " -d -a 3" + sparse_out +
                     "zero."),
                  0);
        ASSERT_EQ(sh("cd " + q(s_dir) + " && split -b 64M --numeric-suffixes=1 -a 3" + sparse_out + "one."), 0);
        ASSERT_EQ(sh("ewfacquire -u -q -t " + q(s_dir + "/ewf") + " -c fast -S 1MiB -d sha1 " + q(s_raw)), 0);
        s_zero = files_starting(s_dir, "zero.");
        s_one = files_starting(s_dir, "one.");
        s_ewf = files_starting(s_dir, "ewf.");
        ASSERT_GE(s_zero.size(), 5u);
        ASSERT_EQ(base_name(s_zero[0]), "zero.000");
        ASSERT_GE(s_one.size(), 2u);
        ASSERT_EQ(base_name(s_one[0]), "one.001");
        ASSERT_GE(s_ewf.size(), 3u) << "the EWF set should have several segments";
        ASSERT_EQ(base_name(s_ewf[0]), "ewf.E01");
    }

    static void TearDownTestSuite()
    {
        close_recorder_disks();
        clear_registered_drives();
        sh("rm -rf " + q(s_dir));
    }

    void SetUp() override
    {
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(true);
    }
    void TearDown() override
    {
        close_recorder_disks();
        clear_registered_drives();
    }

    // Scans exactly one image and mounts it.
    static int mount_one(const std::string &path)
    {
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(true);
        register_image_file(path.c_str());
        scan_recorder_disks();
        int n = 0;
        wfs_file_sys_init(&n, 0);
        return g_ide_info_wfs.ide_num;
    }

    static std::vector<Listed> listing()
    {
        std::vector<Listed> out;
        for (uint8_t ch = 0; ch < 3; ++ch) {
            std::vector<file_info_v2> fi(64);
            uint32_t n = static_cast<uint32_t>(fi.size());
            wfs_file_list(ch, testimg::pack_time(2024, 5, 1, 0, 0, 0), testimg::pack_time(2024, 5, 2, 0, 0, 0), &n,
                          fi.data(), 0xFFFFFFFFu, 0, 0x7F, 2);
            for (uint32_t i = 0; i < n; ++i)
                out.push_back(Listed{fi[i].channel, fi[i].alarm, fi[i].av, fi[i].repeat_no, fi[i].part,
                                     fi[i].start_time, fi[i].end_time, fi[i].file_len, fi[i].first_cluster_no});
        }
        return out;
    }

    static std::string s_dir, s_raw;
    static testimg::Manifest s_manifest;
    static constexpr uint64_t kSplitBytes = 50000000;
    static uint64_t s_sectors;
    static std::vector<std::string> s_zero, s_one, s_ewf;
};

std::string ImageFormats::s_dir, ImageFormats::s_raw;
testimg::Manifest ImageFormats::s_manifest;
uint64_t ImageFormats::s_sectors;
std::vector<std::string> ImageFormats::s_zero, ImageFormats::s_one, ImageFormats::s_ewf;

TEST_F(ImageFormats, EveryFormReadsTheSameSectorsAndDescribesItself)
{
    struct Form {
        std::string first;
        const char *kind;
        std::string kind_text;
        const char *backend;
        size_t segments;
    };
    const std::vector<Form> forms = {
        {s_raw, "raw", "raw", "image", 1},
        {s_zero[0], "split", "split raw (" + std::to_string(s_zero.size()) + " segments)", "split", s_zero.size()},
        {s_one[0], "split", "split raw (" + std::to_string(s_one.size()) + " segments)", "split", s_one.size()},
        {s_ewf[0], "ewf", "ewf (" + std::to_string(s_ewf.size()) + " segments)", "ewf", s_ewf.size()},
    };
    for (const Form &f : forms) {
        SCOPED_TRACE(f.first);
        BlockDevice *dev = nullptr;
        ImageOpenError why;
        ASSERT_EQ(image_source_open(f.first.c_str(), &dev, &why), 0) << image_problem_text(why);
        EXPECT_STREQ(dev->ops->name, f.backend);
        expect_same_bytes(dev, s_raw, f.first);
        blockdev_close(dev);

        // Through the scan: the table's description of the disk.
        register_image_file(f.first.c_str());
        scan_recorder_disks();
        ASSERT_EQ(g_ide_info_wfs.ide_num, 1);
        EXPECT_EQ(g_recorder_disks.base_lba[0], 2048u);
        EXPECT_EQ(g_ide_info_wfs.ide_cap[0], s_sectors);
        DiskSourceInfo info;
        ASSERT_EQ(recorder_disk_source_info(0, &info), 0);
        EXPECT_EQ(info.kind, f.kind);
        EXPECT_EQ(info.kind_text, f.kind_text);
        EXPECT_EQ(info.source, f.first);
        EXPECT_EQ(info.sectors, s_sectors);
        ASSERT_EQ(info.segments.size(), f.segments);
        ASSERT_EQ(info.segment_bytes.size(), f.segments);
        EXPECT_EQ(info.segments[0], f.first);
        for (size_t i = 0; i < f.segments; ++i)
            EXPECT_EQ(info.segment_bytes[i], file_size(info.segments[i])) << info.segments[i];
        EXPECT_TRUE(info.model.empty() && info.serial.empty());
        EXPECT_EQ(ide_rescan(), 1);
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(true);
    }
    EXPECT_EQ(recorder_disk_source_info(0, nullptr), -1);
    DiskSourceInfo none;
    EXPECT_EQ(recorder_disk_source_info(0, &none), -1) << "no disk after the table was closed";
}

TEST_F(ImageFormats, EwfKeepsTheHashesOfItsAcquisition)
{
    register_image_file(s_ewf[0].c_str());
    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 1);
    DiskSourceInfo info;
    ASSERT_EQ(recorder_disk_source_info(0, &info), 0);
    // What ewfinfo says the image stores.
    FILE *p = popen(("ewfinfo " + q(s_ewf[0]) + " 2>/dev/null").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char line[512];
    while (fgets(line, sizeof line, p))
        text += line;
    pclose(p);
    ASSERT_GE(info.stored_hashes.size(), 2u);
    for (const StoredHash &h : info.stored_hashes) {
        EXPECT_TRUE(h.algorithm == "md5" || h.algorithm == "sha1") << h.algorithm;
        EXPECT_NE(text.find(h.hex), std::string::npos) << h.algorithm << " " << h.hex << " not in\n" << text;
    }
}

TEST_F(ImageFormats, ListingAndRecordingBytesAreThoseOfTheRawImage)
{
    ASSERT_EQ(mount_one(s_raw), 1);
    const std::vector<Listed> raw = listing();
    ASSERT_EQ(raw.size(), 6u);
    for (const std::string &first : {s_zero[0], s_one[0], s_ewf[0]}) {
        SCOPED_TRACE(first);
        ASSERT_EQ(mount_one(first), 1);
        EXPECT_TRUE(listing() == raw);
        for (const testimg::ManifestRecording &r : s_manifest.recordings) {
            testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
            const std::string name = wfs_build_record_path(
                0, 0, s.year, s.month, s.day, r.channel + 1,
                wfs_build_file_name(s.hour, s.minute, s.second, e.hour, e.minute, e.second, wfs_type_letter(r.alarm),
                                    r.first_cluster, r.repeat_no, "h264"));
            fs_file *f = fs_fopen(name.c_str(), "rb");
            ASSERT_NE(f, nullptr) << name;
            std::vector<uint8_t> got, buf(1 << 20);
            size_t n;
            while ((n = fs_fread(buf.data(), 1, buf.size(), f)) > 0)
                got.insert(got.end(), buf.begin(), buf.begin() + n);
            fs_fclose(f);
            EXPECT_TRUE(got == r.expected_bytes()) << name << ": " << got.size() << " bytes";
        }
    }
}

TEST_F(ImageFormats, MissingAndCutShortSegmentsAreNamedAndTheDiskIsNotOffered)
{
    struct Case {
        std::string name;
        std::string first;   // the first segment of the damaged copy
        int problem;
        std::string segment; // the file the message must name
    };
    std::vector<Case> cases;
    {
        const std::string d = copy_set(s_dir, s_ewf, "ewf-gap");
        sh("rm " + q(d + "/ewf.E02"));
        cases.push_back({"ewf middle segment missing", d + "/ewf.E01", IMAGE_SEGMENT_MISSING, d + "/ewf.E02"});
    }
    {
        const std::string d = copy_set(s_dir, s_ewf, "ewf-last");
        const std::string last = d + "/" + base_name(s_ewf.back());
        sh("rm " + q(last));
        cases.push_back({"ewf last segment missing", d + "/ewf.E01", IMAGE_SEGMENT_MISSING, last});
    }
    {
        const std::string d = copy_set(s_dir, s_ewf, "ewf-short");
        const std::string seg = d + "/ewf.E02";
        own_copy(seg);
        ASSERT_EQ(truncate(seg.c_str(), static_cast<off_t>(file_size(seg) / 2)), 0);
        cases.push_back({"ewf segment cut short", d + "/ewf.E01", IMAGE_SEGMENT_SHORT, seg});
    }
    {
        const std::string d = copy_set(s_dir, s_zero, "split-gap");
        sh("rm " + q(d + "/zero.002"));
        cases.push_back({"split middle segment missing", d + "/zero.000", IMAGE_SEGMENT_MISSING, d + "/zero.002"});
    }
    {
        const std::string d = copy_set(s_dir, s_zero, "split-long");
        own_copy(d + "/zero.003");
        sh("truncate -s +6 " + q(d + "/zero.003"));
        cases.push_back({"split segment longer than the first", d + "/zero.000", IMAGE_SEGMENT_TOO_LONG,
                         d + "/zero.003"});
    }
    cases.push_back({"a later split segment given", s_zero[2], IMAGE_NOT_FIRST_SEGMENT, s_zero[1]});
    cases.push_back({"split .001 of a set that starts at .000", s_zero[1], IMAGE_NOT_FIRST_SEGMENT, s_zero[0]});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BlockDevice *dev = nullptr;
        ImageOpenError why;
        EXPECT_NE(image_source_open(c.first.c_str(), &dev, &why), 0);
        EXPECT_EQ(dev, nullptr);
        EXPECT_EQ(why.problem, c.problem) << image_problem_text(why);
        EXPECT_EQ(why.segment, c.segment);

        register_image_file(c.first.c_str());
        register_image_file(s_raw.c_str());
        scan_recorder_disks();
        ASSERT_EQ(g_ide_info_wfs.ide_num, 1) << "only the intact raw image is a disk";
        EXPECT_EQ(recorder_disk_source(0), s_raw);
        std::vector<UnreadableDrive> bad = unreadable_drives();
        ASSERT_EQ(bad.size(), 1u);
        EXPECT_EQ(bad[0].source, c.first);
        const std::string text = unreadable_drive_text(bad[0]);
        EXPECT_EQ(text.find("cannot read " + c.first + ": "), 0u) << text;
        EXPECT_NE(text.find(c.segment), std::string::npos) << text;
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(true);
    }
}

TEST_F(ImageFormats, SplitSegmentCutShortFailsOnlyTheSectorsItLacks)
{
    const std::string d = copy_set(s_dir, s_zero, "split-cut");
    // zero.001 covers bytes S .. 2S - 1; keep its first 300,000.
    const uint64_t S = kSplitBytes;
    own_copy(d + "/zero.001");
    ASSERT_EQ(truncate((d + "/zero.001").c_str(), 300000), 0);
    BlockDevice *dev = nullptr;
    ImageOpenError why;
    ASSERT_EQ(image_source_open((d + "/zero.000").c_str(), &dev, &why), 0) << image_problem_text(why);
    ASSERT_EQ(blockdev_capacity(dev), s_sectors) << "later segments keep their place";
    const uint64_t hole_first = (S + 300000) / 512;  // the sector holding the first missing byte
    const uint64_t hole_end = (2 * S + 511) / 512;   // the first sector wholly after the hole
    uint8_t buf[512];
    // Every sector from the end of the first segment to past the hole, and
    // a sample of the rest.
    for (uint64_t s = 0; s < s_sectors; s += (s + 200 >= S / 512 && s < hole_end + 200) ? 1 : 97) {
        const int r = blockdev_read(dev, s, 1, buf);
        if (s >= hole_first && s < hole_end) {
            ASSERT_EQ(r, -1) << "sector " << s << " lies (partly) in the hole";
        } else {
            ASSERT_EQ(r, 0) << "sector " << s;
            ASSERT_EQ(std::memcmp(buf, raw_sectors(s_raw, s, 1).data(), 512), 0) << "sector " << s;
        }
    }
    uint8_t big[64 * 512];
    EXPECT_EQ(blockdev_read(dev, hole_first - 10, 64, big), -1) << "a run into the hole";
    blockdev_close(dev);

    // The last segment cut short is only a shorter disk.
    const std::string e = copy_set(s_dir, s_zero, "split-end");
    const std::string last = e + "/" + base_name(s_zero.back());
    own_copy(last);
    ASSERT_EQ(truncate(last.c_str(), 1024 + 100), 0);
    ASSERT_EQ(image_source_open((e + "/zero.000").c_str(), &dev, &why), 0);
    EXPECT_EQ(blockdev_capacity(dev), ((s_zero.size() - 1) * S + 1124) / 512);
    blockdev_close(dev);
}

TEST(EwfChunks, ACorruptCompressedChunkFailsItsSectorsOnly)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    sparse::TempDir dir;
    // 8 MiB of stamped sectors: every chunk compresses.
    const uint64_t sectors = 16384;
    const std::string src = dir.file("stamps.img");
    ASSERT_TRUE(sparse::make_file(src, sectors * 512));
    {
        std::vector<uint8_t> all(sectors * 512, 0);
        for (uint64_t s = 0; s < sectors; ++s) {
            std::vector<uint8_t> st = sparse::stamp(s);
            std::memcpy(all.data() + s * 512, st.data(), st.size());
            std::snprintf(reinterpret_cast<char *>(all.data() + s * 512 + 16), 64, "sector %llu of the test",
                          static_cast<unsigned long long>(s));
        }
        ASSERT_TRUE(sparse::write_at(src, 0, all.data(), all.size()));
    }
    ASSERT_EQ(sh("ewfacquire -u -q -t " + q(dir.file("c")) + " -c fast " + q(src)), 0);
    const std::string e01 = dir.file("c.E01");
    // Damage the middle of the chunk data.
    const uint64_t size = file_size(e01);
    const uint8_t junk[8] = {0xde, 0xad, 0xbe, 0xef, 0x01, 0x23, 0x45, 0x67};
    ASSERT_TRUE(sparse::write_at(e01, size / 2, junk, sizeof junk));

    BlockDevice *dev = nullptr;
    ImageOpenError why;
    ASSERT_EQ(image_source_open(e01.c_str(), &dev, &why), 0) << image_problem_text(why);
    ASSERT_EQ(blockdev_capacity(dev), sectors);
    // Chunks are 64 sectors: read chunk-sized runs and note the failures.
    std::vector<uint64_t> failed;
    std::vector<uint8_t> buf(64 * 512);
    for (uint64_t s = 0; s < sectors; s += 64) {
        if (blockdev_read(dev, s, 64, buf.data()) != 0) {
            failed.push_back(s);
            continue;
        }
        for (uint64_t k = 0; k < 64; ++k)
            ASSERT_EQ(sparse::stamp_number(buf.data() + k * 512), s + k) << "stale or foreign data";
    }
    ASSERT_GE(failed.size(), 1u) << "the damage went unnoticed";
    EXPECT_LE(failed.size(), 2u) << "more than the damaged chunk fails";
    // Every sector of a failed chunk fails on its own and on a second read
    // (the library would now serve it from its cache without complaint).
    for (uint64_t s : failed) {
        for (uint64_t k = 0; k < 64; k += 9)
            EXPECT_EQ(blockdev_read(dev, s + k, 1, buf.data()), -1) << "sector " << s + k;
        EXPECT_EQ(blockdev_read(dev, s, 64, buf.data()), -1);
    }
    // Its neighbours still read.
    if (failed[0] >= 64) {
        ASSERT_EQ(blockdev_read(dev, failed[0] - 1, 1, buf.data()), 0);
        EXPECT_EQ(sparse::stamp_number(buf.data()), failed[0] - 1);
    }
    blockdev_close(dev);
}

// Descriptors of this process open on `path`, with their flags.
std::vector<int> open_flags_of(const std::string &path)
{
    std::vector<int> flags;
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real))
        return flags;
    DIR *d = opendir("/proc/self/fd");
    while (dirent *e = readdir(d)) {
        const std::string fd = e->d_name;
        if (fd[0] == '.')
            continue;
        char target[PATH_MAX] = {};
        ssize_t n = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
        if (n <= 0 || std::string(target, n) != real)
            continue;
        std::ifstream info("/proc/self/fdinfo/" + fd);
        std::string key, octal;
        while (info >> key) {
            if (key == "flags:" && info >> octal) {
                flags.push_back(static_cast<int>(std::stol(octal, nullptr, 8)));
                break;
            }
        }
    }
    closedir(d);
    return flags;
}

TEST_F(ImageFormats, SegmentsAreOpenedReadOnlyAndLeftUnchanged)
{
    std::vector<std::string> all = s_zero;
    all.insert(all.end(), s_ewf.begin(), s_ewf.end());
    std::vector<std::string> before;
    for (const std::string &f : all)
        before.push_back(fingerprint(f));
    register_image_file(s_zero[0].c_str());
    register_image_file(s_ewf[0].c_str());
    scan_recorder_disks();
    ASSERT_EQ(g_ide_info_wfs.ide_num, 2);
    std::vector<uint8_t> junk(64 * 512, 0x5A), buf(512);
    for (uint16_t disk = 0; disk < 2; ++disk) {
        EXPECT_EQ(ide_write_sectors(disk, 64, 0, junk.data()), 0);
        // Every segment: the split set's as it is read, the EWF set's all the
        // time (the library keeps them open).
        for (uint64_t s = 0; s + 2048 < g_ide_info_wfs.ide_cap[disk]; s += 1000)
            ASSERT_EQ(ide_read_sectors(disk, 1, s, buf.data()), 0) << "volume sector " << s;
    }
    for (const std::string &f : all) {
        for (int flags : open_flags_of(f)) {
            EXPECT_EQ(flags & O_ACCMODE, O_RDONLY) << f;
            EXPECT_TRUE(flags & O_CLOEXEC) << f;
        }
    }
    EXPECT_FALSE(open_flags_of(s_ewf[1]).empty()) << "the check saw no descriptor";
    close_recorder_disks();
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(fingerprint(all[i]), before[i]) << all[i];
}

}  // namespace
