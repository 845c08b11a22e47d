// orvelle-cli list --recovered end to end, with cat, export and cut of what
// it lists: the program run on an image from the test-image builder whose
// manifest says what is left of deleted and overwritten recordings.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/app/export/ExportTestSupport.h"
#include "tests/support/image/image_builder.h"

#include <QJsonArray>

namespace {

using testimg::pack_time;

const char *const kLetters = "RAMCHISFNKGUPTBV";

struct CliRun {
    int status = -1;
    std::string out;
};

CliRun cli(const std::string &args)
{
    const std::string cmd = std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli " + args + " 2>/dev/null";
    CliRun r;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string quote(const std::string &s) { return "'" + s + "'"; }

std::string fmt_time(uint32_t t)
{
    const testimg::CivilTime c = testimg::unpack_time(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return buf;
}

std::string path_of(const testimg::ManifestRecovered &r)
{
    const testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
    char buf[160];
    std::snprintf(buf, sizeof buf, "/mnt/ide%c%u/%04d-%02d-%02d/%03u/%02d.%02d.%02d-%02d.%02d.%02d[%c][@%x][%u].h264",
                  'a' + r.disk, r.partition, s.year, s.month, s.day, r.channel, s.hour, s.minute, s.second, e.hour,
                  e.minute, e.second, r.alarm < 16 ? kLetters[r.alarm] : 'R', r.first_cluster, r.stream_type);
    return buf;
}

std::vector<uint8_t> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

testimg::RecordingPlan small(uint8_t channel, uint32_t start, uint32_t seconds, int partition = 0)
{
    testimg::RecordingPlan r;
    r.partition = partition;
    r.channel = channel;
    r.start_time = start;
    r.duration = seconds;
    r.synthetic.frame_rate = 4;
    r.synthetic.key_payload = 500;
    r.synthetic.frame_payload = 120;
    r.synthetic.audio_per_second = 0;
    r.synthetic.seed = 300u + channel * 7u + (start & 0xFFFu);
    return r;
}

class CliRecovered : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/orvelle-clirec-XXXXXX";
        s_dir = mkdtemp(tmpl);
        // Partition 0: four channels over a ring they overrun, one of the
        // overrun recordings and one of the newest deleted, a deleted
        // recording of stream type 1. Partition 1 (read-only): a deleted
        // recording with a reserved header.
        testimg::DiskPlan disk;
        disk.partitions.resize(2);
        disk.partitions[0].total_cluster = 300;
        disk.partitions[0].rev_clus = 2;
        disk.partitions[1].driver_type = testimg::kDriverReadOnly;
        testimg::ImageBuilder b(disk);
        for (int k = 0; k < 6; ++k) {
            for (uint8_t ch = 0; ch < 4; ++ch) {
                testimg::RecordingPlan r = small(ch, pack_time(2024, 5, 1, 9 + k, 0, 3 * ch), 70 + 5 * ch);
                r.alarm = static_cast<uint8_t>(ch);
                r.deleted = (k == 1 && ch == 1) || (k == 5 && ch == 2);
                b.add(r);
            }
        }
        testimg::RecordingPlan other = small(5, pack_time(2024, 5, 1, 16, 0, 0), 20);
        other.stream_type = 1;
        other.deleted = true;
        b.add(other);
        testimg::RecordingPlan ro = small(0, pack_time(2024, 6, 9, 18, 30, 0), 40, 1);
        ro.header = testimg::HeaderKind::Reserved;
        ro.header_bytes = 1024;
        ro.deleted = true;
        b.add(ro);
        std::string err;
        ASSERT_TRUE(b.build(s_dir + "/a.img", &s_manifest, &err)) << err;
    }

    static void TearDownTestSuite() { std::system(("rm -rf " + quote(s_dir)).c_str()); }

    // What list --recovered must give for a record format, in key order
    // (partition, channel, start, end time of day, identity cluster).
    static std::vector<const testimg::ManifestRecovered *> expected(int format)
    {
        std::vector<const testimg::ManifestRecovered *> v;
        for (const testimg::ManifestRecovered &r : s_manifest.recovered) {
            if ((r.av == 2 || r.av == 3) && r.stream_type == format)
                v.push_back(&r);
        }
        std::sort(v.begin(), v.end(), [](const auto *a, const auto *b) {
            return std::make_tuple(a->partition, a->channel, a->start_time, a->end_time & 0x1FFFFu, a->first_cluster) <
                   std::make_tuple(b->partition, b->channel, b->start_time, b->end_time & 0x1FFFFu, b->first_cluster);
        });
        return v;
    }

    std::string image() const { return "--image " + quote(s_dir + "/a.img") + " "; }

    static std::string s_dir;
    static testimg::Manifest s_manifest;
};

std::string CliRecovered::s_dir;
testimg::Manifest CliRecovered::s_manifest;

TEST_F(CliRecovered, ListsExactlyTheDeletedRecordingsAndFragmentsInCatalogueOrder)
{
    int fragments = 0, deleted = 0;
    for (const testimg::ManifestRecovered &r : s_manifest.recovered)
        (r.deleted ? deleted : fragments)++;
    ASSERT_GE(fragments, 3);
    ASSERT_EQ(deleted, 3);

    for (int format : {0, 1}) {
        const std::vector<const testimg::ManifestRecovered *> want = expected(format);
        ASSERT_FALSE(want.empty());
        std::string json = "[", plain;
        for (size_t i = 0; i < want.size(); ++i) {
            const testimg::ManifestRecovered &r = *want[i];
            const char letter = r.alarm < 16 ? kLetters[r.alarm] : 'R';
            const unsigned kb = static_cast<unsigned>(r.length_sectors / 2);
            char line[700];
            std::snprintf(line, sizeof line,
                          "%s\n  {\"path\":\"%s\",\"disk\":0,\"part\":%u,\"channel\":%u,\"start\":\"%s\",\"end\":\"%s\","
                          "\"type\":\"%c\",\"first_cluster\":%u,\"stream_type\":%u,\"length_kb\":%u,\"state\":\"%s\"",
                          i ? "," : "", path_of(r).c_str(), r.partition, r.channel, fmt_time(r.start_time).c_str(),
                          fmt_time(r.end_time).c_str(), letter, r.first_cluster, r.stream_type, kb,
                          r.deleted ? "deleted" : "fragment");
            json += line;
            if (!r.deleted) {
                std::snprintf(line, sizeof line, ",\"lost_first_cluster\":%u,\"clusters\":%zu", r.lost_first_cluster,
                              r.clusters.size());
                json += line;
            }
            json += "}";
            std::snprintf(line, sizeof line, "%s\t0\t%u\t%u\t%s\t%s\t%c\t%u\t%u\t%u\t%s", path_of(r).c_str(),
                          r.partition, r.channel, fmt_time(r.start_time).c_str(), fmt_time(r.end_time).c_str(), letter,
                          r.first_cluster, r.stream_type, kb, r.deleted ? "deleted" : "fragment");
            plain += line;
            if (!r.deleted) {
                std::snprintf(line, sizeof line, "\t%u\t%zu", r.lost_first_cluster, r.clusters.size());
                plain += line;
            }
            plain += "\n";
        }
        json += "\n]\n";
        const std::string stream = format ? "--stream 1" : "";
        const CliRun j = cli(image() + "list --recovered --json " + stream);
        EXPECT_EQ(j.status, 0);
        EXPECT_EQ(j.out, json) << "format " << format;
        const CliRun p = cli(image() + "list " + stream + " --recovered");
        EXPECT_EQ(p.status, 0);
        EXPECT_EQ(p.out, plain) << "format " << format;
    }
}

TEST_F(CliRecovered, TheListingWithoutTheFlagShowsNoneOfThem)
{
    const CliRun live = cli(image() + "list --json");
    ASSERT_EQ(live.status, 0);
    EXPECT_EQ(live.out.find("\"state\""), std::string::npos);
    std::set<std::string> listed;
    for (size_t at = 0; (at = live.out.find("\"first_cluster\":", at)) != std::string::npos; ++at)
        listed.insert(live.out.substr(at, live.out.find(',', at) - at));
    size_t want = 0;
    for (const testimg::ManifestRecording &r : s_manifest.recordings) {
        if (r.listed && r.stream_type == 0 && r.av != 0)
            ++want;
    }
    EXPECT_EQ(listed.size(), want);
    for (const testimg::ManifestRecovered *r : expected(0))
        EXPECT_EQ(listed.count("\"first_cluster\":" + std::to_string(r->first_cluster)), 0u) << path_of(*r);
}

TEST_F(CliRecovered, CatAndExportGiveTheirExactBytes)
{
    const std::string dest = s_dir + "/export";
    std::string paths;
    for (int format : {0, 1}) {
        for (const testimg::ManifestRecovered *r : expected(format)) {
            const std::string out = s_dir + "/cat.out";
            ASSERT_EQ(std::system((std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli " + image() + "cat " +
                                   quote(path_of(*r)) + " > " + quote(out) + " 2>/dev/null")
                                      .c_str()),
                      0)
                << path_of(*r);
            EXPECT_TRUE(read_file(out) == r->expected_bytes()) << path_of(*r);
            paths += " " + quote(path_of(*r));
        }
    }
    const CliRun exp = cli(image() + "export " + quote(dest) + paths);
    ASSERT_EQ(exp.status, 0) << exp.out;
    const std::string index(reinterpret_cast<const char *>(read_file(dest + "/index.data").data()),
                            read_file(dest + "/index.data").size());
    for (int format : {0, 1}) {
        for (const testimg::ManifestRecovered *r : expected(format)) {
            const std::string rel = path_of(*r).substr(5);  // after "/mnt/"
            EXPECT_TRUE(read_file(dest + "/" + rel) == r->expected_bytes()) << rel;
            EXPECT_NE(index.find(rel + "\r\n"), std::string::npos) << rel;
        }
    }
    // The report tells deleted recordings and fragments from listed ones,
    // and the folder checks.
    const QJsonArray items = exporttest::newestReport(dest)["items"].toArray();
    size_t n = 0;
    for (int format : {0, 1}) {
        for (const testimg::ManifestRecovered *r : expected(format)) {
            ASSERT_LT(int(n), items.size());
            const QJsonObject it = items.at(int(n++)).toObject();
            EXPECT_EQ(it["path"].toString().toStdString(), path_of(*r));
            EXPECT_EQ(it["state"].toString().toStdString(), r->deleted ? "deleted" : "fragment") << path_of(*r);
            EXPECT_EQ(it["outcome"].toString(), "complete") << path_of(*r);
        }
    }
    EXPECT_EQ(size_t(items.size()), n);
    EXPECT_EQ(exporttest::sha256sumCheck(dest), 0);
}

TEST_F(CliRecovered, CutOfAFragmentStartsAtItsFirstKeyFrame)
{
    const testimg::ManifestRecovered *frag = nullptr;
    for (const testimg::ManifestRecovered *r : expected(0)) {
        if (!r->deleted && (frag == nullptr || r->clusters.size() > frag->clusters.size()))
            frag = r;
    }
    ASSERT_NE(frag, nullptr);
    // The fragment's bytes begin inside a frame.
    const std::vector<uint8_t> bytes = frag->expected_bytes();
    ASSERT_GT(bytes.size(), 4u);
    ASSERT_FALSE(bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0xFC);

    const testimg::CivilTime s = testimg::unpack_time(frag->start_time), e = testimg::unpack_time(frag->end_time);
    char from[16], to[16];
    std::snprintf(from, sizeof from, "%02d:%02d:%02d", s.hour, s.minute, s.second);
    std::snprintf(to, sizeof to, "%02d:%02d:%02d", e.hour, e.minute, e.second);
    const std::string dest = s_dir + "/cut";
    const CliRun cut = cli(image() + "cut " + quote(path_of(*frag)) + " " + from + " " + to + " " + quote(dest));
    ASSERT_EQ(cut.status, 0);
    const std::string file = cut.out.substr(0, cut.out.find('\n'));
    const std::vector<uint8_t> got = read_file(file);
    ASSERT_GT(got.size(), 16u) << file;
    EXPECT_TRUE(got[0] == 0 && got[1] == 0 && got[2] == 1 && got[3] == 0xFC) << "the cut starts with a key frame";
    // It is the fragment's data from its first key frame on: a stretch of it.
    size_t key = 0;
    while (key + 4 <= bytes.size() && !(bytes[key] == 0 && bytes[key + 1] == 0 && bytes[key + 2] == 1 &&
                                        bytes[key + 3] == 0xFC))
        ++key;
    ASSERT_LT(key + got.size(), bytes.size() + 1);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + static_cast<std::ptrdiff_t>(key)));
}

}  // namespace
