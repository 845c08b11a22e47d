// The name layer on real recorder images: opening by name (first cluster or
// time), byte-wise reads on both paths, seeks, the stream header, the work
// directory's calendar, find-first/next, rename, free space, and bad input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/handle.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"
#include "wfs/file/work_dir.h"
#include "wfs/volume/mount.h"

namespace {

std::vector<std::string> g_messages;

void capture(WfsLogKind, const char *, const char *text, void *) { g_messages.push_back(text); }

bool said(const std::string &text)
{
    return std::any_of(g_messages.begin(), g_messages.end(),
                       [&](const std::string &m) { return m.find(text) != std::string::npos; });
}

std::string name_path(const testimg::ManifestRecording &r, uint32_t cluster, int channel_dir)
{
    testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
    std::string file = wfs_build_file_name(s.hour, s.minute, s.second, e.hour, e.minute, e.second,
                                           wfs_type_letter(r.alarm), cluster, r.repeat_no,
                                           r.av ? "h264" : "jpg");
    return wfs_build_record_path(static_cast<int>(r.disk), static_cast<int>(r.partition), s.year, s.month,
                                 s.day, channel_dir, file);
}

// What reading a recording by name must return: everything behind the
// stream header up to its last sector.
std::vector<uint8_t> readable(const testimg::ManifestRecording &r)
{
    std::vector<uint8_t> all = r.expected_bytes();
    all.erase(all.begin(), all.begin() + std::min<size_t>(r.header_bytes, all.size()));
    return all;
}

std::vector<uint8_t> read_in_chunks(fs_file *f, const std::vector<size_t> &pattern)
{
    std::vector<uint8_t> got;
    std::vector<uint8_t> buf(1 << 20);
    for (size_t i = 0;; ++i) {
        size_t want = pattern[i % pattern.size()];
        size_t n = fs_fread(buf.data(), 1, want, f);
        got.insert(got.end(), buf.begin(), buf.begin() + n);
        if (n == 0)
            break;
    }
    return got;
}

class NameLayer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        wfs_log_set_hook(capture, nullptr);
        char tmpl[] = "/tmp/orvelle-names-XXXXXX";
        s_dir = mkdtemp(tmpl);
        s_path = s_dir + "/disk.img";

        // Clusters of 32 KiB hold a few seconds of recording each, as the
        // recorder's own clusters do: the time search relies on that.
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        testimg::RecordingPlan r;
        r.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0);
        r.duration = 60;
        r.alarm = 1;
        b.add(r);  // channel 0
        r.channel = 1;
        r.alarm = 0;
        r.header = testimg::HeaderKind::Dhii;
        r.header_bytes = 1024;
        b.add(r);  // channel 1 at the same time, "DHII" header
        r.channel = 0;
        r.header = testimg::HeaderKind::Reserved;
        r.header_bytes = 512;
        r.start_time = testimg::pack_time(2024, 5, 1, 10, 5, 0);
        r.duration = 30;
        b.add(r);  // channel 0, header recorded in the directory
        r.header = testimg::HeaderKind::None;
        r.header_bytes = 0;
        r.channel = 2;
        r.picture = true;
        r.start_time = testimg::pack_time(2024, 5, 1, 10, 1, 0);
        r.duration = 1;
        b.add(r);  // a picture
        r.picture = false;
        r.channel = 0;
        r.start_time = testimg::pack_time(2024, 5, 2, 8, 0, 0);
        r.duration = 20;
        b.add(r);  // the next day
        std::string err;
        ASSERT_TRUE(b.build(s_path, &s_manifest, &err)) << err;
    }

    static void TearDownTestSuite()
    {
        close_recorder_disks();
        clear_registered_drives();
        unlink(s_path.c_str());
        rmdir(s_dir.c_str());
        wfs_log_set_hook(nullptr, nullptr);
    }

    void SetUp() override
    {
        clear_registered_drives();
        set_images_only(true);
        register_image_file(s_path.c_str());
        scan_recorder_disks();
        int count = 0;
        wfs_file_sys_init(&count, 0);
        ASSERT_GE(count, 1);
        g_messages.clear();
        m_handles = wfs_file_handles_in_use();
    }

    void TearDown() override { EXPECT_EQ(wfs_file_handles_in_use(), m_handles) << "a handle was not released"; }

    const testimg::ManifestRecording &rec(int id) const { return s_manifest.recordings.at(id); }

    static std::string s_dir, s_path;
    static testimg::Manifest s_manifest;
    int m_handles = 0;
};

std::string NameLayer::s_dir, NameLayer::s_path;
testimg::Manifest NameLayer::s_manifest;

TEST_F(NameLayer, ReadsEveryRecordingByItsFirstClusterWithAnyReadPattern)
{
    const std::vector<std::vector<size_t>> patterns = {
        {32768},                  // aligned, larger than half the buffer: straight from the disk
        {1000},                   // small reads through the buffer
        {512, 70000, 3, 16384, 1 << 20},  // a mix that moves between both paths
    };
    for (const testimg::ManifestRecording &r : s_manifest.recordings) {
        std::vector<uint8_t> want = readable(r);
        for (const auto &pattern : patterns) {
            fs_file *f = fs_fopen(name_path(r, r.first_cluster, r.channel + 1).c_str(), "rb");
            ASSERT_NE(f, nullptr) << "recording " << r.id;
            std::vector<uint8_t> got = read_in_chunks(f, pattern);
            EXPECT_EQ(got.size(), want.size()) << "recording " << r.id << " pattern " << pattern[0];
            EXPECT_TRUE(got == want) << "recording " << r.id << " pattern " << pattern[0];
            EXPECT_EQ(fs_fclose(f), 0);
        }
    }
}

TEST_F(NameLayer, OpensByTimeWhenTheNameCarriesNoDataCluster)
{
    const testimg::ManifestRecording &r = rec(2);
    fs_file *f = fs_fopen(name_path(r, 0, r.channel + 1).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> got = read_in_chunks(f, {65536});
    EXPECT_TRUE(got == readable(r));
    fs_fclose(f);
    // Channel directory 000 and no cluster: no channel to search.
    EXPECT_EQ(fs_fopen(name_path(r, 0, 0).c_str(), "rb"), nullptr);
}

TEST_F(NameLayer, TheNamesClusterDecidesEvenWithAZeroBasedChannelDirectory)
{
    // The first data cluster itself (rev_clus) is a cluster like any other.
    const testimg::ManifestRecording &r = rec(0);
    ASSERT_EQ(r.first_cluster, s_manifest.partitions[0].layout.rev_clus);
    fs_file *f = fs_fopen(name_path(r, r.first_cluster, r.channel).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->first_cluster, r.first_cluster);
    fs_fclose(f);
    // A cluster in the middle of a recording is no recording.
    ASSERT_GT(r.clusters.size(), 2u);
    EXPECT_EQ(fs_fopen(name_path(r, r.clusters[1], r.channel + 1).c_str(), "rb"), nullptr);
    EXPECT_TRUE(said("No file"));
}

TEST_F(NameLayer, StreamHeaderIsSkippedAndPositionsCountBehindIt)
{
    for (int id : {1, 2}) {  // "DHII" header, and a header already in the directory
        const testimg::ManifestRecording &r = rec(id);
        ASSERT_GT(r.header_bytes, 0u);
        std::vector<uint8_t> want = readable(r);
        fs_file *f = fs_fopen(name_path(r, r.first_cluster, r.channel + 1).c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(fs_ftell(f), 0);
        EXPECT_EQ(f->head_bytes, r.header_bytes);
        uint8_t b[16];
        ASSERT_EQ(fs_fread(b, 1, 16, f), 16u);
        EXPECT_EQ(std::memcmp(b, want.data(), 16), 0);
        EXPECT_EQ(fs_ftell(f), 16);
        EXPECT_EQ(fs_fseek(f, 0, 0), 0);
        EXPECT_EQ(fs_ftell(f), 0);
        // Length: sectors x 512 without the header.
        EXPECT_EQ(fs_fseek(f, 0, 2), 0);
        EXPECT_EQ(static_cast<uint64_t>(fs_ftell(f)), r.length_sectors * 512 - r.header_bytes);
        // Before the header or beyond the end: refused, position unchanged.
        EXPECT_EQ(fs_fseek(f, -1, 0), -3);
        EXPECT_EQ(fs_fseek(f, 1, 2), -3);
        EXPECT_EQ(static_cast<uint64_t>(fs_ftell(f)), want.size());
        EXPECT_EQ(fs_fseek(f, 0, 9), -3);
        fs_fclose(f);
        // Opened again, the recording reads the same (the header change is kept).
        f = fs_fopen(name_path(r, r.first_cluster, r.channel + 1).c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(read_in_chunks(f, {4096}) == want);
        fs_fclose(f);
    }
}

TEST_F(NameLayer, SeeksAndShortReadsAtTheEnd)
{
    const testimg::ManifestRecording &r = rec(0);
    std::vector<uint8_t> want = readable(r);
    fs_file *f = fs_fopen(name_path(r, r.first_cluster, r.channel + 1).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> buf(200000);
    // Random access in both directions, in and out of the buffer window.
    for (int64_t pos : {int64_t(100000), int64_t(5), int64_t(want.size() - 7000), int64_t(33000), int64_t(0)}) {
        ASSERT_EQ(fs_fseek(f, pos, 0), 0) << pos;
        size_t n = fs_fread(buf.data(), 1, 3000, f);
        size_t expect = std::min<size_t>(3000, want.size() - pos);
        ASSERT_EQ(n, expect) << pos;
        EXPECT_EQ(std::memcmp(buf.data(), want.data() + pos, n), 0) << pos;
    }
    ASSERT_EQ(fs_fseek(f, -1000, 1), 0);
    EXPECT_EQ(fs_ftell(f), 2000);
    // 100 bytes at the last 40: 40 bytes, or 0 whole items of 100.
    ASSERT_EQ(fs_fseek(f, -40, 2), 0);
    EXPECT_EQ(fs_fread(buf.data(), 1, 100, f), 40u);
    EXPECT_EQ(std::memcmp(buf.data(), want.data() + want.size() - 40, 40), 0);
    EXPECT_EQ(fs_fread(buf.data(), 1, 100, f), 0u);
    ASSERT_EQ(fs_fseek(f, -40, 2), 0);
    EXPECT_EQ(fs_fread(buf.data(), 100, 1, f), 0u);
    // An aligned large read at the end delivers only what is left.
    ASSERT_EQ(fs_fseek(f, -1024, 2), 0);
    EXPECT_EQ(fs_fread(buf.data(), 1, 65536, f), 1024u);
    EXPECT_EQ(fs_fread(buf.data(), 1, 65536, f), 0u);
    fs_fclose(f);
}

TEST_F(NameLayer, BadNamesAndHandlesGiveErrorsNotCrashes)
{
    const testimg::ManifestRecording &r = rec(0);
    std::string good = name_path(r, r.first_cluster, r.channel + 1);
    EXPECT_EQ(fs_fopen(nullptr, "rb"), nullptr);
    EXPECT_EQ(fs_fopen(good.c_str(), nullptr), nullptr);
    EXPECT_EQ(fs_fopen(good.c_str(), "wb"), nullptr);  // recorder disks are read-only
    EXPECT_EQ(fs_fopen("/mnt/idea0/2024-05-01/001/10.00.00-10.01.00.txt", "rb"), nullptr);
    EXPECT_EQ(fs_fopen("/mnt/idea0/2024-5-01/1a1/10.00.00-10.01.00[R][@1][0].h264", "rb"), nullptr);
    EXPECT_EQ(fs_fopen("/mnt/idea0/2024-05-01/001/10.00-10.01.00[R][@1][0].h264", "rb"), nullptr);
    EXPECT_EQ(fs_fopen((std::string(3000, '/') + good).c_str(), "rb"), nullptr);
    g_messages.clear();
    std::string other_disk = good;
    other_disk[std::strlen("/mnt/ide")] = 'c';
    EXPECT_EQ(fs_fopen(other_disk.c_str(), "rb"), nullptr);
    EXPECT_TRUE(said("No such driver!"));
    g_messages.clear();
    std::string other_part = good;
    other_part[std::strlen("/mnt/idea")] = '3';
    EXPECT_EQ(fs_fopen(other_part.c_str(), "rb"), nullptr);
    EXPECT_TRUE(said("No such driver!"));
    // A cluster beyond the partition is searched by time instead.
    std::string beyond = name_path(r, 0xFFFFFFF0u, r.channel + 1);
    fs_file *f = fs_fopen(beyond.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->first_cluster, r.first_cluster);
    fs_fclose(f);

    uint8_t b[8];
    EXPECT_EQ(fs_fread(b, 1, 8, nullptr), 0u);
    EXPECT_EQ(fs_fseek(nullptr, 0, 0), -1);
    EXPECT_EQ(fs_ftell(nullptr), -1);
    EXPECT_EQ(fs_fclose(nullptr), -1);
    EXPECT_EQ(fs_fwrite(b, 1, 8, nullptr), 0u);
    EXPECT_EQ(fs_fgets(reinterpret_cast<char *>(b), 8, nullptr), nullptr);
    EXPECT_EQ(fs_fputs("x", nullptr), -1);
    EXPECT_EQ(fs_access(good.c_str(), 0), 0);
    EXPECT_EQ(fs_remove(good.c_str()), -1);
    EXPECT_EQ(fs_mkdir("/mnt/idea0/x"), -1);
    EXPECT_EQ(fs_rmdir("/mnt/idea0/x"), -1);
}

TEST_F(NameLayer, HandlesFromBeforeAReinitialisationFailAndAreStillReleased)
{
    const testimg::ManifestRecording &r = rec(0);
    fs_file *f = fs_fopen(name_path(r, r.first_cluster, r.channel + 1).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int count = 0;
    wfs_file_sys_init(&count, 0);
    uint8_t b[64];
    EXPECT_EQ(fs_fread(b, 1, 64, f), 0u);
    EXPECT_EQ(fs_ftell(f), -1);
    EXPECT_TRUE(said("INVALID HANDLE"));
    fs_fclose(f);  // TearDown checks the slot came back
}

TEST_F(NameLayer, WorkDirectoryCalendarOnceAndOnlyForTheWholeTable)
{
    fs_file *f = fs_fopen("/mnt/idea0/WorkDirectory", "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint32_t> cal(WFS_CALENDAR_WORDS, 0xFFFFFFFFu);
    EXPECT_EQ(fs_fread(cal.data(), 1, 100, f), 0u);  // only the whole table is served
    ASSERT_EQ(fs_fread(cal.data(), WFS_CALENDAR_BYTES, 1, f), 1u);
    std::set<std::string> days;
    for (int w = 0; w < WFS_CALENDAR_WORDS; ++w)
        for (int d = 0; d < 32; ++d)
            if (cal[w] & (1u << d)) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", 2000 + w / 13, w % 13, d);
                days.insert(buf);
            }
    EXPECT_EQ(days, (std::set<std::string>{"2024-05-01", "2024-05-02"}));
    EXPECT_EQ(fs_fread(cal.data(), WFS_CALENDAR_BYTES, 1, f), 0u);  // once
    EXPECT_EQ(fs_ftell(f), 0);
    fs_fclose(f);
    EXPECT_EQ(fs_fopen("/mnt/idez0/WorkDirectory", "rb"), nullptr);
    EXPECT_EQ(fs_fopen("/mnt/WorkDirectory", "rb"), nullptr);
}

TEST_F(NameLayer, FindListsTheChannelsRecordingsOfOneDay)
{
    find_data fd;
    intptr_t h = fs_findfirst("/mnt/idea0/2024-05-01/001/*.*", &fd);
    ASSERT_NE(h, -1);
    std::vector<std::string> names;
    std::vector<uint64_t> sizes;
    do {
        names.push_back(fd.name);
        sizes.push_back(fd.size);
    } while (fs_findnext(h, &fd) == 0);
    EXPECT_EQ(fs_findclose(h), 0);
    std::vector<std::string> want;
    std::vector<uint64_t> want_sizes;
    for (int id : {0, 2}) {
        const testimg::ManifestRecording &r = rec(id);
        std::string p = name_path(r, r.first_cluster, 1);
        want.push_back(p.substr(p.rfind('/') + 1));
        want_sizes.push_back(r.length_sectors * 512 - r.header_bytes);
    }
    // The type letter of find-next knows A, M, C, H only.
    EXPECT_EQ(names, want);
    EXPECT_EQ(sizes, want_sizes);
    EXPECT_EQ(fs_findfirst("/mnt/idea0/2024-05-03/005/*.*", &fd), -1);
    EXPECT_EQ(fs_findfirst("/mnt/idex0/2024-05-01/001/*.*", &fd), -1);
    EXPECT_EQ(fs_findfirst("/mnt/idea0/2024-05-01/*.*", &fd), -1);
    EXPECT_EQ(fs_findnext(-1, &fd), -1);
    EXPECT_EQ(fs_findclose(-1), -1);
}

TEST_F(NameLayer, RenameChangesTheTypeOnlyAndDiskSpaceMatchesThePartition)
{
    const testimg::ManifestRecording &r = rec(2);
    std::string old_path = name_path(r, r.first_cluster, r.channel + 1);
    std::string new_path = old_path;
    new_path.replace(new_path.find("[R]"), 3, "[H]");
    ASSERT_EQ(fs_rename(old_path.c_str(), new_path.c_str()), 0);
    fs_file *f = fs_fopen(old_path.c_str(), "rb");  // the name's letter plays no part
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->cur_dir_info.alarm, 4u);
    EXPECT_TRUE(read_in_chunks(f, {8192}) == readable(r));
    fs_fclose(f);
    EXPECT_EQ(fs_rename(old_path.c_str(), "not a name"), -1);
    EXPECT_EQ(fs_rename("/mnt/idea0/2024-05-01/001/x.h264", new_path.c_str()), -1);

    const testimg::ManifestPartition *p = s_manifest.partition(0);
    ASSERT_NE(p, nullptr);
    uint64_t freeb = 0, total = 0, free2 = 0;
    ASSERT_EQ(fs_disk_space("/mnt/idea0", &freeb, &total, &free2), 0);
    EXPECT_EQ(total, p->space_total_bytes);
    EXPECT_EQ(freeb, p->space_free_bytes);
    EXPECT_EQ(free2, freeb);
    EXPECT_EQ(fs_disk_space("/mnt/idea1", &freeb, &total, &free2), -1);
    EXPECT_EQ(fs_disk_space("/mnt/nothing", &freeb, &total, &free2), -1);
}

}  // namespace

namespace {

TEST(NameLayerLarge, PositionsAndLengthsBeyond4GiB)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    char tmpl[] = "/tmp/orvelle-big-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string path = dir + "/big.img";
    testimg::DiskPlan disk;
    disk.partitions[0].sectors = 12000000;
    disk.partitions[0].sec_per_clus = 4096;
    testimg::ImageBuilder b(disk);
    testimg::RecordingPlan r;
    r.duration = 3600;
    r.data = testimg::DataKind::Unwritten;  // the clusters stay holes: no 4.6 GiB written
    r.unwritten_bytes = 4600ull << 20;
    b.add(r);
    testimg::Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(path, &m, &err)) << err;
    const testimg::ManifestRecording &rr = m.recordings[0];
    const uint64_t length = rr.length_sectors * 512;
    ASSERT_GT(length, 1ull << 32);

    clear_registered_drives();
    set_images_only(true);
    register_image_file(path.c_str());
    scan_recorder_disks();
    int count = 0;
    wfs_file_sys_init(&count, 0);
    fs_file *f = fs_fopen(name_path(rr, rr.first_cluster, 1).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fs_fseek(f, 0, 2), 0);
    EXPECT_EQ(static_cast<uint64_t>(fs_ftell(f)), length);
    ASSERT_EQ(fs_fseek(f, -10, 2), 0);
    EXPECT_EQ(static_cast<uint64_t>(fs_ftell(f)), length - 10);
    uint8_t buf[4096];
    EXPECT_EQ(fs_fread(buf, 1, 100, f), 10u);
    ASSERT_EQ(fs_fseek(f, int64_t(1) << 32, 0), 0);
    EXPECT_EQ(fs_fread(buf, 1, sizeof buf, f), sizeof buf);
    EXPECT_EQ(static_cast<uint64_t>(fs_ftell(f)), (1ull << 32) + sizeof buf);
    EXPECT_EQ(fs_fclose(f), 0);
    close_recorder_disks();
    clear_registered_drives();
    unlink(path.c_str());
    rmdir(dir.c_str());
}

}  // namespace
