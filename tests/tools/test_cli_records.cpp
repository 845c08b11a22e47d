// orvelle-cli list, cat and calendar end to end: the program run on recorder
// images, its output compared with what the images are known to hold.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/image/image_builder.h"

namespace {

using testimg::pack_time;

const char *const kLetters = "RAMCHISFNKGUPTBV";

struct CliRun {
    int status = -1;
    std::string out;
};

// Runs orvelle-cli with the arguments; standard error is dropped.
CliRun cli(const std::string &args)
{
    std::string cmd = std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli " + args + " 2>/dev/null";
    CliRun r;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string quote(const std::string &s) { return "'" + s + "'"; }

std::string fmt_time(uint32_t t)
{
    testimg::CivilTime c = testimg::unpack_time(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return buf;
}

std::string path_of(const testimg::ManifestRecording &r)
{
    testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
    char buf[160];
    std::snprintf(buf, sizeof buf, "/mnt/ide%c%u/%04d-%02d-%02d/%03u/%02d.%02d.%02d-%02d.%02d.%02d[%c][@%x][%u].h264",
                  'a' + r.disk, r.partition, s.year, s.month, s.day, r.channel, s.hour, s.minute, s.second, e.hour,
                  e.minute, e.second, r.alarm < 16 ? kLetters[r.alarm] : 'R', r.first_cluster, r.stream_type);
    return buf;
}

std::vector<uint8_t> readable(const testimg::ManifestRecording &r)
{
    std::vector<uint8_t> all = r.expected_bytes();
    all.erase(all.begin(), all.begin() + std::min<size_t>(r.header_bytes, all.size()));
    return all;
}

class CliRecords : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/orvelle-cli-XXXXXX";
        s_dir = mkdtemp(tmpl);
        testimg::DiskPlan disk;
        disk.partitions.resize(2);
        disk.partitions[0].sec_per_clus = 64;
        disk.partitions[1].sec_per_clus = 64;
        disk.partitions[1].driver_type = testimg::kDriverReadOnly;
        testimg::ImageBuilder b(disk);
        auto add = [&](int part, uint8_t ch, uint32_t start, uint32_t dur, auto tweak) {
            testimg::RecordingPlan r;
            r.partition = part;
            r.channel = ch;
            r.start_time = start;
            r.duration = dur;
            tweak(r);
            b.add(r);
        };
        auto none = [](testimg::RecordingPlan &) {};
        add(0, 0, pack_time(2024, 5, 1, 10, 0, 0), 90, none);
        add(0, 1, pack_time(2024, 5, 1, 10, 0, 0), 90, [](testimg::RecordingPlan &r) {
            r.header = testimg::HeaderKind::Dhii;
            r.header_bytes = 2048;
            r.alarm = 2;
        });
        add(0, 0, pack_time(2024, 5, 1, 10, 2, 0), 45, [](testimg::RecordingPlan &r) { r.stream_type = 1; });
        add(0, 2, pack_time(2024, 5, 1, 10, 3, 0), 1, [](testimg::RecordingPlan &r) { r.picture = true; });
        add(0, 3, pack_time(2024, 5, 1, 10, 4, 0), 2, none);  // too short to list
        add(0, 9, pack_time(2024, 5, 3, 23, 59, 30), 60, [](testimg::RecordingPlan &r) { r.alarm = 12; });
        add(0, 4, pack_time(2024, 5, 2, 7, 0, 0), 30, [](testimg::RecordingPlan &r) { r.deleted = true; });
        add(1, 0, pack_time(2024, 6, 9, 18, 30, 0), 40, [](testimg::RecordingPlan &r) {
            r.header = testimg::HeaderKind::Reserved;
            r.header_bytes = 512;
        });
        std::string err;
        ASSERT_TRUE(b.build(s_dir + "/a.img", &s_manifest, &err)) << err;
    }

    static void TearDownTestSuite() { std::system(("rm -rf " + quote(s_dir)).c_str()); }

    // Recordings the catalogue lists for a record format, in key order.
    static std::vector<const testimg::ManifestRecording *> expected(int format)
    {
        std::vector<const testimg::ManifestRecording *> v;
        for (const auto &r : s_manifest.recordings) {
            int64_t secs = 0;
            testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
            secs = ((e.day - s.day) * 24 + e.hour - s.hour) * 3600 + (e.minute - s.minute) * 60 + e.second - s.second;
            if (r.listed && (r.av == 2 || r.av == 3) && r.stream_type == format && r.channel < 32 && secs >= 2)
                v.push_back(&r);
        }
        std::sort(v.begin(), v.end(), [](const auto *a, const auto *b) {
            return std::make_tuple(a->partition, a->channel, a->start_time, a->end_time, a->first_cluster) <
                   std::make_tuple(b->partition, b->channel, b->start_time, b->end_time, b->first_cluster);
        });
        return v;
    }

    std::string image() const { return "--image " + quote(s_dir + "/a.img") + " "; }

    static std::string s_dir;
    static testimg::Manifest s_manifest;
};

std::string CliRecords::s_dir;
testimg::Manifest CliRecords::s_manifest;

TEST_F(CliRecords, ListJsonAndPlainGiveExactlyTheCatalogue)
{
    for (int format : {0, 1}) {
        std::vector<const testimg::ManifestRecording *> want = expected(format);
        ASSERT_FALSE(want.empty());
        std::string json = "[", plain;
        for (size_t i = 0; i < want.size(); ++i) {
            const testimg::ManifestRecording &r = *want[i];
            char line[600];
            std::snprintf(line, sizeof line,
                          "%s\n  {\"path\":\"%s\",\"disk\":0,\"part\":%u,\"channel\":%u,\"start\":\"%s\",\"end\":\"%s\","
                          "\"type\":\"%c\",\"first_cluster\":%u,\"stream_type\":%u,\"length_kb\":%u}",
                          i ? "," : "", path_of(r).c_str(), r.partition, r.channel, fmt_time(r.start_time).c_str(),
                          fmt_time(r.end_time).c_str(), kLetters[r.alarm], r.first_cluster, r.stream_type,
                          r.file_len_kb);
            json += line;
            std::snprintf(line, sizeof line, "%s\t0\t%u\t%u\t%s\t%s\t%c\t%u\t%u\t%u\n", path_of(r).c_str(),
                          r.partition, r.channel, fmt_time(r.start_time).c_str(), fmt_time(r.end_time).c_str(),
                          kLetters[r.alarm], r.first_cluster, r.stream_type, r.file_len_kb);
            plain += line;
        }
        json += "\n]\n";
        std::string stream = format ? "--stream 1" : "";
        CliRun j = cli(image() + "list --json " + stream);
        EXPECT_EQ(j.status, 0);
        EXPECT_EQ(j.out, json) << "format " << format;
        CliRun p = cli(image() + "list " + stream);
        EXPECT_EQ(p.status, 0);
        EXPECT_EQ(p.out, plain) << "format " << format;
    }
    CliRun none = cli(image() + "list --json --stream 7");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "[]\n");
}

TEST_F(CliRecords, CatOfEveryListedRecordingIsItsData)
{
    for (int format : {0, 1}) {
        for (const testimg::ManifestRecording *r : expected(format)) {
            std::string out = s_dir + "/cat.out";
            std::string cmd = std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli " + image() + "cat " +
                              quote(path_of(*r)) + " > " + quote(out) + " 2>/dev/null";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << path_of(*r);
            std::ifstream in(out, std::ios::binary);
            std::vector<uint8_t> got((std::istreambuf_iterator<char>(in)), {});
            std::vector<uint8_t> want = readable(*r);
            EXPECT_EQ(got.size(), want.size()) << path_of(*r);
            EXPECT_TRUE(got == want) << path_of(*r);
        }
    }
}

TEST_F(CliRecords, CalendarHasTheRecordingDays)
{
    std::string json = "{\"disks\":[{\"disk\":0,\"partitions\":[";
    std::string plain;
    for (size_t i = 0; i < s_manifest.partitions.size(); ++i) {
        const testimg::ManifestPartition &p = s_manifest.partitions[i];
        json += std::string(i ? "," : "") + "{\"part\":" + std::to_string(p.part) + ",\"days\":[";
        for (size_t d = 0; d < p.calendar_days.size(); ++d) {
            std::string day = fmt_time(p.calendar_days[d]).substr(0, 10);
            json += (d ? ",\"" : "\"") + day + "\"";
            plain += "0\t" + std::to_string(p.part) + "\t" + day + "\n";
        }
        json += "]}";
    }
    json += "]}]}\n";
    CliRun j = cli(image() + "calendar --json");
    EXPECT_EQ(j.status, 0);
    EXPECT_EQ(j.out, json);
    CliRun p = cli(image() + "calendar");
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, plain);
    // Deleted and too short recordings still mark their day: 2024-05-02.
    EXPECT_NE(j.out.find("2024-05-02"), std::string::npos);
}

TEST_F(CliRecords, BadArgumentsAndPathsFailWithNothingOnStandardOutput)
{
    const testimg::ManifestRecording &r = *expected(0).front();
    std::string good = path_of(r);
    struct Case {
        std::string args;
        int status;
    } cases[] = {
        {"list --stream", 2},
        {"list --stream x", 2},
        {"list --stream 16", 2},
        {"list --bogus", 2},
        {"calendar extra", 2},
        {"cat", 2},
        {"cat a b", 2},
        {"cat " + quote("/mnt/idea0/2024-05-01/006/10.00.00-10.01.30[R][@1][0].h264"), 1},  // nothing on channel 5
        {"cat " + quote("/mnt/idec0/2024-05-01/001/10.00.00-10.01.30[R][@1][0].h264"), 1},
        {"cat " + quote("/mnt/idea7/2024-05-01/001/10.00.00-10.01.30[R][@1][0].h264"), 1},
        {"cat " + quote("/mnt/idea0/2024-05-01/001/1x.00.00-10.01.30[R][@1][0].h264"), 1},
        {"cat " + quote(good.substr(0, good.size() - 5) + ".mp4"), 1},
        {"cat " + quote("/mnt/idea0/" + std::string(2000, 'x') + ".h264"), 1},
    };
    for (const Case &c : cases) {
        CliRun run = cli(image() + c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_TRUE(run.out.empty()) << c.args;
    }
    // No recorder disk at all.
    std::string blank = s_dir + "/blank.img";
    std::ofstream(blank) << std::string(1 << 20, '\0');
    for (const char *cmd : {"list", "calendar"}) {
        CliRun run = cli("--image " + quote(blank) + " " + cmd);
        EXPECT_EQ(run.status, 1) << cmd;
        EXPECT_TRUE(run.out.empty()) << cmd;
    }
}

}  // namespace

namespace {

TEST(CliDamage, CatOfARecordingWhoseChainEndsEarlyFails)
{
    char tmpl[] = "/tmp/orvelle-clid-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    testimg::DiskPlan disk;
    disk.partitions[0].sec_per_clus = 64;
    testimg::RecordingPlan r;
    r.start_time = pack_time(2024, 5, 1, 10, 0, 0);
    r.duration = 60;
    testimg::Manifest clean, m;
    std::string err;
    {
        testimg::ImageBuilder b(disk);
        b.add(r);
        ASSERT_TRUE(b.build(dir + "/clean.img", &clean, &err)) << err;
    }
    const testimg::ManifestPartition &p = clean.partitions[0];
    const uint32_t c = clean.recordings[0].first_cluster;
    testimg::ImageBuilder b(disk);
    b.add(r);
    // The first cluster's item_num claims one cluster more than the chain has.
    uint16_t items = static_cast<uint16_t>(clean.recordings[0].item_num + 1);
    b.patch(p.start + p.layout.dir_offset + c / 16, (c % 16) * 32 + 2,
            {static_cast<uint8_t>(items & 0xFF), static_cast<uint8_t>(items >> 8)});
    ASSERT_TRUE(b.build(dir + "/damaged.img", &m, &err)) << err;

    CliRun list = cli("--image " + quote(dir + "/damaged.img") + " list");
    ASSERT_EQ(list.status, 0);
    std::string path = list.out.substr(0, list.out.find('\t'));
    ASSERT_EQ(path.rfind("/mnt/idea0/2024-05-01/000/", 0), 0u) << list.out;
    CliRun cat = cli("--image " + quote(dir + "/damaged.img") + " cat " + quote(path));
    EXPECT_EQ(cat.status, 1);
    EXPECT_TRUE(cat.out.empty());
    std::system(("rm -rf " + quote(dir)).c_str());
}

}  // namespace
