// Damaged and hostile disks end with a clear message, never a crash: what
// the command-line tool says and leaves behind for a disk that is not a
// recorder disk, a truncated image, a partition whose tables point outside
// it, a chain broken half-way, a full destination during export, and an
// unreadable sector.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/image/dir_records.h"
#include "tests/support/image/image_builder.h"
#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/device/block_device.h"
#include "wfs/device/drives.h"
#include "wfs/device/fault_device.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"
#include "wfs/volume/mount.h"

using testimg::pack_time;

namespace {

std::string temp_name(const std::string &what)
{
    return ::testing::TempDir() + "damaged_" + std::to_string(getpid()) + "_" + what;
}

struct CliRun {
    int status = -1;  // exit code, or -1 when the program did not exit normally
    std::string out, err;
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> bytes_of(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string cli() { return std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli"; }

// Runs orvelle-cli with the arguments under /bin/sh; `prefix` goes before
// the program (shell settings such as a file size limit).
CliRun run_cli(const std::string &args, const std::string &prefix = "")
{
    const std::string out = temp_name("out.txt"), err = temp_name("err.txt");
    const std::string cmd = prefix + " exec '" + cli() + "' " + args + " >'" + out + "' 2>'" + err + "'";
    int st = std::system(cmd.c_str());
    CliRun r;
    r.status = (st != -1 && WIFEXITED(st)) ? WEXITSTATUS(st) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return r;
}

testimg::RecordingPlan rec(uint8_t channel, uint32_t start, uint32_t seconds, uint32_t partition = 0)
{
    testimg::RecordingPlan r;
    r.channel = channel;
    r.start_time = start;
    r.duration = seconds;
    r.partition = partition;
    return r;
}

// The bytes a reader returns for a recording: the stream behind its header.
std::vector<uint8_t> readable(const testimg::ManifestRecording &r)
{
    std::vector<uint8_t> all = r.expected_bytes();
    all.erase(all.begin(), all.begin() + std::min<size_t>(r.header_bytes, all.size()));
    return all;
}

// The path of the listed recording whose first cluster is `first`.
std::string listed_path(const std::string &listing, uint32_t disk, uint32_t part, uint32_t first)
{
    std::istringstream in(listing);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');)
            f.push_back(x);
        if (f.size() >= 8 && f[1] == std::to_string(disk) && f[2] == std::to_string(part) &&
            f[7] == std::to_string(first))
            return f[0];
    }
    return "";
}

size_t listed_count(const std::string &listing)
{
    return static_cast<size_t>(std::count(listing.begin(), listing.end(), '\n'));
}

class DamagedDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (access(cli().c_str(), X_OK) != 0)
            GTEST_SKIP() << "orvelle-cli is not built in " << ORVELLE_BINARY_DIR;
        m_image = temp_name("disk.img");
        m_dest = temp_name("dest");
    }
    void TearDown() override
    {
        std::remove(m_image.c_str());
        std::system(("rm -rf '" + m_dest + "'").c_str());
    }

    // Two channels on partition 0 and one on partition 1, clusters of 8
    // sectors, so that every recording runs over many clusters.
    testimg::ImageBuilder two_partitions()
    {
        testimg::DiskPlan d;
        d.partitions.resize(2);
        testimg::ImageBuilder b(d);
        b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 10));
        b.add(rec(1, pack_time(2024, 5, 1, 10, 0, 0), 30));
        b.add(rec(2, pack_time(2024, 5, 1, 11, 0, 0), 20, 1));
        return b;
    }

    testimg::Manifest build(testimg::ImageBuilder &b)
    {
        testimg::Manifest m;
        std::string err;
        EXPECT_TRUE(b.build(m_image, &m, &err)) << err;
        return m;
    }

    std::string image_arg() const { return "--image '" + m_image + "'"; }

    std::string m_image, m_dest;
};

TEST_F(DamagedDisk, NoRecorderDiskIsSaidSoByEveryCommand)
{
    // Zeros, then text that happens to start like a head but is not one.
    for (const std::string &content : {std::string(1 << 20, '\0'), std::string("WFS0.9") + std::string(1 << 20, 'x')}) {
        std::ofstream(m_image, std::ios::binary) << content;
        for (const char *cmd : {"info", "list"}) {
            CliRun r = run_cli(image_arg() + " " + cmd);
            EXPECT_EQ(r.status, 1) << cmd << ": " << r.err;
            EXPECT_NE(r.err.find("no recorder disk found"), std::string::npos) << cmd << ": " << r.err;
            EXPECT_EQ(r.out, "") << cmd;
        }
    }
    // An image name that does not exist, and an empty file.
    std::ofstream(m_image, std::ios::binary).close();
    CliRun r = run_cli(image_arg() + " list");
    EXPECT_EQ(r.status, 1) << r.err;
    r = run_cli("--image '" + m_image + ".missing' list");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_FALSE(r.err.empty());
}

TEST_F(DamagedDisk, TruncatedImageListsWhatIsThereAndReportsTheShortRead)
{
    testimg::ImageBuilder b = two_partitions();
    testimg::Manifest m = build(b);
    const testimg::ManifestRecording *first = nullptr, *second = nullptr;
    for (const auto &r : m.recordings)
        if (r.partition == 0)
            (r.channel == 0 ? first : second) = &r;
    ASSERT_TRUE(first && second);
    // Cut the image in the middle of the later of the two interleaved
    // chains' last clusters: partition 1 and the end of partition 0 are gone.
    const testimg::ManifestPartition &mp = m.partitions[0];
    const testimg::ManifestRecording *cut = first->clusters.back() > second->clusters.back() ? first : second;
    const testimg::ManifestRecording *whole = cut == first ? second : first;
    const uint32_t mid = cut->clusters[cut->clusters.size() / 2];
    ASSERT_GT(mid, whole->clusters.back()) << "the cut must leave the other chain whole";
    ASSERT_EQ(truncate(m_image.c_str(), static_cast<off_t>((m.base_lba + mp.cluster_sector(mid)) * 512)), 0);

    CliRun list = run_cli(image_arg() + " list");
    ASSERT_EQ(list.status, 0) << list.err;
    const std::string cut_path = listed_path(list.out, 0, 0, cut->first_cluster);
    const std::string whole_path = listed_path(list.out, 0, 0, whole->first_cluster);
    ASSERT_NE(cut_path, "") << list.out;
    ASSERT_NE(whole_path, "") << list.out;
    EXPECT_EQ(listed_path(list.out, 0, 1, m.recordings.back().first_cluster), "")
        << "partition 1 lies beyond the end of the image";

    CliRun whole_cat = run_cli(image_arg() + " cat '" + whole_path + "'");
    EXPECT_EQ(whole_cat.status, 0) << whole_cat.err;
    const std::vector<uint8_t> want = readable(*whole);
    EXPECT_TRUE(bytes_of(whole_cat.out) == want);

    CliRun cut_cat = run_cli(image_arg() + " cat '" + cut_path + "'");
    EXPECT_EQ(cut_cat.status, 1);
    EXPECT_NE(cut_cat.err.find("read ended after"), std::string::npos) << cut_cat.err;
    const std::vector<uint8_t> cut_want = readable(*cut);
    const std::vector<uint8_t> cut_got = bytes_of(cut_cat.out);
    ASSERT_LT(cut_got.size(), cut_want.size());
    EXPECT_TRUE(std::equal(cut_got.begin(), cut_got.end(), cut_want.begin()))
        << "what was read is the recording's start";
}

TEST_F(DamagedDisk, PartitionWhoseTablesPointOutsideItIsLeftOutTheOtherStays)
{
    testimg::ImageBuilder b = two_partitions();
    testimg::Manifest m0 = build(b);
    const testimg::ManifestPartition &p0 = m0.partitions[0];
    // Directory and index areas of partition 0 beyond the whole disk.
    const std::vector<uint8_t> far = {0xF0, 0xFF, 0xFF, 0x7F};
    b.patch(p0.param_block_sector(), 68, far);  // dir_offset
    b.patch(p0.param_block_sector(), 60, far);  // index_offset
    testimg::Manifest m = build(b);

    CliRun list = run_cli(image_arg() + " list");
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(listed_count(list.out), 1u) << list.out;
    EXPECT_NE(listed_path(list.out, 0, 1, m.recordings.back().first_cluster), "") << list.out;
    CliRun info = run_cli(image_arg() + " info");
    EXPECT_EQ(info.status, 0) << info.err;
}

TEST_F(DamagedDisk, ChainBrokenHalfWayExportsWhatWasReadAndReportsTheBreak)
{
    testimg::DiskPlan d;
    testimg::ImageBuilder b(d);
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 20));
    testimg::Manifest m0 = build(b);
    const testimg::ManifestRecording &r = m0.recordings[0];
    ASSERT_GE(r.clusters.size(), 6u);
    const testimg::ManifestPartition &p = m0.partitions[0];
    // The cluster after the middle one is blank (never written, as after a
    // repair that lost it), and the middle cluster's next-cluster link
    // points far beyond the data area: nothing leads on from there.
    const uint32_t mid = r.clusters[r.clusters.size() / 2];
    const uint32_t lost = r.clusters[r.clusters.size() / 2 + 1];
    b.patch(p.dir_sector(mid), p.dir_byte(mid) + 8, {0xF0, 0xFF, 0xFF, 0x0F});
    std::vector<uint8_t> blank(testimg::kDirRecordSize, 0);
    blank[1] = testimg::kDirNeverWritten;
    b.patch(p.dir_sector(lost), p.dir_byte(lost), blank);
    b.patch(p.index_sector(lost), p.index_byte_offset(lost), {testimg::index_byte(0, testimg::kIndexNotWritable)});
    build(b);

    CliRun list = run_cli(image_arg() + " list");
    ASSERT_EQ(list.status, 0) << list.err;
    const std::string path = listed_path(list.out, 0, 0, r.first_cluster);
    ASSERT_NE(path, "") << list.out;
    CliRun ex = run_cli(image_arg() + " export '" + m_dest + "' '" + path + "'");
    EXPECT_EQ(ex.status, 1) << ex.err;
    EXPECT_NE(ex.err.find("Reading ended after"), std::string::npos) << ex.err;
    EXPECT_EQ(ex.err.find("Export Success"), std::string::npos) << ex.err;
    // The partial copy is kept where the whole one would be (the part of
    // the path after "/mnt/" under the destination), but not listed: only
    // the report (which names it as short) follows on standard output.
    EXPECT_EQ(ex.out.rfind("report: ", 0), 0u) << "a broken copy is not listed as written: " << ex.out;
    EXPECT_EQ(ex.out.find(path.substr(5)), std::string::npos) << ex.out;
    const std::string target = m_dest + "/" + path.substr(5);
    ASSERT_EQ(access(target.c_str(), R_OK), 0) << target;
    const std::vector<uint8_t> got = bytes_of(slurp(target));
    const std::vector<uint8_t> want = readable(r);
    // Everything up to the break is the recording's own; what the reader
    // finds of it beyond the lost cluster may follow, never more than the
    // recording holds.
    const size_t before_break = (r.clusters.size() / 2 + 1) * p.sec_per_clus * 512 - r.header_bytes;
    ASSERT_GE(got.size(), before_break);
    EXPECT_LE(got.size(), want.size());
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(before_break), want.begin()));
}

TEST_F(DamagedDisk, FullDestinationDuringExportIsReportedNotSuccess)
{
    testimg::ImageBuilder b = two_partitions();
    testimg::Manifest m = build(b);
    CliRun list = run_cli(image_arg() + " list");
    ASSERT_EQ(list.status, 0);
    const std::string path = listed_path(list.out, 0, 0, m.recordings[0].first_cluster);
    ASSERT_NE(path, "");
    // A 64 KiB file size limit stands for a destination that fills up
    // (writes beyond it fail with EFBIG; the signal is ignored).
    CliRun ex = run_cli(image_arg() + " export '" + m_dest + "' '" + path + "'", "trap '' XFSZ; ulimit -f 128;");
    EXPECT_EQ(ex.status, 1) << ex.err;
    EXPECT_NE(ex.err.find("cannot be written"), std::string::npos) << ex.err;
    EXPECT_EQ(ex.err.find("Export Success"), std::string::npos) << ex.err;
}

// The library itself on a drive with failing sectors: the read that meets
// one stops with what it had, and everything else stays readable.
TEST(UnreadableSector, FailsOnlyTheReadThatMeetsIt)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    const std::string image = temp_name("fault.img");
    testimg::DiskPlan d;
    testimg::ImageBuilder b(d);
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 20));
    b.add(rec(1, pack_time(2024, 5, 1, 10, 0, 0), 20));
    testimg::Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(image, &m, &err)) << err;
    const testimg::ManifestRecording &bad = m.recordings[0], &good = m.recordings[1];
    const testimg::ManifestPartition &p = m.partitions[0];

    BlockDevice *file = nullptr;
    ASSERT_EQ(image_device_open(image.c_str(), &file), 0);
    BlockDevice *fault = fault_device_create(file, true);
    const uint32_t mid = bad.clusters[bad.clusters.size() / 2];
    fault_device_fail(fault, m.base_lba + p.cluster_sector(mid) + 1, 1);
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    register_drive_device(fault, "fault");
    scan_recorder_disks();
    int count = 0;
    ASSERT_EQ(wfs_file_sys_init(&count, 0), 0);

    auto path_of = [](const testimg::ManifestRecording &r) {
        testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
        return wfs_build_record_path(0, 0, s.year, s.month, s.day, r.channel + 1,
                                     wfs_build_file_name(s.hour, s.minute, s.second, e.hour, e.minute, e.second,
                                                         wfs_type_letter(r.alarm), r.first_cluster,
                                                         r.repeat_no, "h264"));
    };
    auto read_all = [](fs_file *f) {
        std::vector<uint8_t> got, buf(32768);
        for (int i = 0; i < 100000; ++i) {
            size_t n = fs_fread(buf.data(), 1, buf.size(), f);
            got.insert(got.end(), buf.begin(), buf.begin() + static_cast<long>(n));
            if (n < buf.size())
                break;
        }
        return got;
    };

    fs_file *f = fs_fopen(path_of(bad).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> got = read_all(f);
    const std::vector<uint8_t> want_bad = readable(bad);
    EXPECT_LT(got.size(), want_bad.size()) << "the failing sector ends the read";
    EXPECT_TRUE(std::equal(got.begin(), got.end(), want_bad.begin()));
    EXPECT_GT(fault_device_failures(fault), 0u);
    // Behind the failing sector the recording can still be reached by seeking.
    const int64_t behind = static_cast<int64_t>((bad.clusters.size() / 2 + 1) * p.sec_per_clus * 512) -
                           static_cast<int64_t>(bad.header_bytes);
    ASSERT_EQ(fs_fseek(f, behind, SEEK_SET), 0);
    std::vector<uint8_t> rest = read_all(f);
    EXPECT_EQ(rest.size(), want_bad.size() - static_cast<size_t>(behind));
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), want_bad.begin() + behind));
    fs_fclose(f);

    f = fs_fopen(path_of(good).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), readable(good));
    fs_fclose(f);

    close_recorder_disks();
    clear_registered_drives();
    std::remove(image.c_str());
}

// A failing sector of partition 0 as the mounted library meets it: in the
// partition's system areas (the reserved clusters included) it marks the
// partition bad and its recordings can no longer be opened; in the
// recording clusters it only fails that read.
TEST(UnreadableSector, InTheSystemAreasMarksPartitionZeroBad)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    const std::string image = temp_name("fault-system.img");
    testimg::DiskPlan d;
    testimg::ImageBuilder b(d);
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 20));
    testimg::Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(image, &m, &err)) << err;
    const testimg::ManifestPartition &p = m.partitions[0];
    ASSERT_EQ(p.part, 0u);
    const testimg::ManifestRecording &r = m.recordings[0];

    BlockDevice *file = nullptr;
    ASSERT_EQ(image_device_open(image.c_str(), &file), 0);
    BlockDevice *fault = fault_device_create(file, true);
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    register_drive_device(fault, "fault");
    scan_recorder_disks();
    int count = 0;
    ASSERT_EQ(wfs_file_sys_init(&count, 0), 0);
    DriverParam *pdp = get_pdp(0, 0);
    ASSERT_NE(pdp, nullptr);
    ASSERT_EQ(pdp->bad_status, static_cast<uint32_t>(BAD_STATUS_OK));

    const testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
    const std::string path = wfs_build_record_path(
        0, 0, s.year, s.month, s.day, r.channel + 1,
        wfs_build_file_name(s.hour, s.minute, s.second, e.hour, e.minute, e.second, wfs_type_letter(r.alarm),
                            r.first_cluster, r.repeat_no, "h264"));
    fs_file *f = fs_fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    fs_fclose(f);

    // The first sector of the last cluster, and the first of the recording
    // clusters: the read fails, the partition stays usable.
    std::vector<uint8_t> buf(WFS_SECTOR_SIZE);
    const uint64_t last = p.cluster_sector(p.layout.total_cluster - 1);
    const uint64_t first_recording = p.cluster_sector(p.layout.rev_clus);
    fault_device_fail(fault, m.base_lba + last, 1);
    EXPECT_NE(bread_multi(0, 1, last, buf.data()), 0);
    EXPECT_EQ(pdp->bad_status, static_cast<uint32_t>(BAD_STATUS_OK));
    f = fs_fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    if (f)
        fs_fclose(f);
    fault_device_fail(fault, m.base_lba + first_recording, 1);
    EXPECT_NE(bread_multi(0, 1, first_recording, buf.data()), 0);
    EXPECT_EQ(pdp->bad_status, static_cast<uint32_t>(BAD_STATUS_OK));

    // The sector just below them belongs to the system areas.
    fault_device_fail(fault, m.base_lba + first_recording - 1, 1);
    EXPECT_NE(bread_multi(0, 1, first_recording - 1, buf.data()), 0);
    EXPECT_EQ(pdp->bad_status, static_cast<uint32_t>(BAD_STATUS_MARKED));
    EXPECT_EQ(fs_fopen(path.c_str(), "rb"), nullptr);

    close_recorder_disks();
    clear_registered_drives();
    std::remove(image.c_str());
}

}  // namespace
