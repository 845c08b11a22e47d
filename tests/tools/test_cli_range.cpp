// orvelle-cli range and timeline end to end on a recorder image: every file
// of a range is, frame by frame, what `orvelle-cli cut` writes for the same
// range of that recording; a window across midnight; the partition chosen
// or asked for; windows and channels refused with nothing written; the
// day's recordings and gaps as text and JSON.
#include "tests/app/export/ExportTestSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace exporttest;
using testimg::pack_time;

namespace {

std::string cliPath()
{
    return std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli";
}

// The files a command names on standard output, without the report lines
// ("report: PATH") that follow them.
std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("report: ", 0) != 0)
            out.push_back(line);
    return out;
}

// The report lines of a command's standard output.
std::vector<std::string> reportLines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("report: ", 0) == 0)
            out.push_back(line.substr(8));
    return out;
}

// The frames of a written file, each as its bytes.
std::vector<std::vector<uint8_t>> framesOf(const fs::path& file)
{
    const std::vector<uint8_t> bytes = readFile(file);
    std::vector<std::vector<uint8_t>> frames;
    for (const StreamFrameRef& f : walkFrames(bytes))
        frames.emplace_back(bytes.begin() + f.offset, bytes.begin() + f.offset + f.length);
    return frames;
}

class CliRange : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = scratch("cli_range");
        testimg::DiskPlan disk;
        disk.partitions.resize(2);
        for (auto& p : disk.partitions)
            p.sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        auto add = [&b](int part, uint8_t channel, uint32_t start, uint32_t seconds) {
            testimg::RecordingPlan r;
            r.partition = part;
            r.channel = channel;
            r.start_time = start;
            r.duration = seconds;
            b.add(r);
        };
        add(0, 0, pack_time(2024, 5, 1, 10, 0, 0), 60);     // 0
        add(0, 0, pack_time(2024, 5, 1, 10, 1, 0), 60);     // 1: straight after
        add(0, 2, pack_time(2024, 5, 1, 10, 0, 20), 30);    // 2
        add(0, 1, pack_time(2024, 5, 1, 23, 59, 40), 40);   // 3: into May 2
        add(0, 0, pack_time(2024, 5, 1, 10, 5, 0), 30);     // 4: after a gap
        add(1, 0, pack_time(2024, 6, 9, 18, 30, 0), 40);    // 5: the other partition
        std::string err;
        ASSERT_TRUE(b.build((s_dir / "disk.img").string(), &s_manifest, &err)) << err;
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }
    void SetUp() override
    {
        out = s_dir / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(out);
    }

    static CmdResult cli(const std::string& args)
    {
        return run(cliPath() + " --image " + quote((s_dir / "disk.img").string()) + " " + args);
    }
    static const testimg::ManifestRecording& rec(int i) { return s_manifest.recordings.at(i); }

    static fs::path s_dir;
    static testimg::Manifest s_manifest;
    fs::path out;
};

fs::path CliRange::s_dir;
testimg::Manifest CliRange::s_manifest;

TEST_F(CliRange, EveryFileIsTheCutOfItsRecording)
{
    const CmdResult r = cli("range --disk 0 --part 0 '2024-05-01 10:00:30' '2024-05-01 10:01:30' " + quote(out.string()));
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string> files = lines(r.out);
    ASSERT_EQ(files, (std::vector<std::string>{(out / "001_20240501_10.00.30_10.01.00.h264").string(),
                                               (out / "001_20240501_10.01.00_10.01.30.h264").string(),
                                               (out / "003_20240501_10.00.30_10.00.50.h264").string()}));
    struct {
        int rec;
        const char* from;
        const char* to;
    } cuts[] = {{0, "10:00:30", "10:01:00"}, {1, "10:01:00", "10:01:30"}, {2, "10:00:30", "10:00:50"}};
    for (size_t i = 0; i < files.size(); ++i) {
        const fs::path alone = out / "alone" / std::to_string(i);
        const CmdResult c = cli("cut " + quote(recordPath(rec(cuts[i].rec))) + " " + cuts[i].from + " " + cuts[i].to +
                                " " + quote(alone.string()));
        ASSERT_EQ(c.status, 0) << cuts[i].from;
        const auto got = framesOf(files[i]);
        const auto want = framesOf(lines(c.out).at(0));
        ASSERT_FALSE(want.empty());
        ASSERT_EQ(got.size(), want.size()) << files[i];
        for (size_t f = 0; f < want.size(); ++f)
            ASSERT_TRUE(got[f] == want[f]) << files[i] << " frame " << f;
    }

    // Without --disk and --part the one partition that has the window is
    // taken; and the date and time may also come as separate words.
    const fs::path again = out / "again";
    const CmdResult r2 = cli("range --channels 3 2024-05-01 10:00:30 2024-05-01 10:01:30 " + quote(again.string()));
    EXPECT_EQ(r2.status, 0);
    EXPECT_EQ(lines(r2.out), std::vector<std::string>{(again / "003_20240501_10.00.30_10.00.50.h264").string()});
}

TEST_F(CliRange, AcrossMidnight)
{
    const CmdResult r = cli("range --channels 1-2 '2024-05-01 23:59:50' '2024-05-02 00:00:10' " + quote(out.string()));
    ASSERT_EQ(r.status, 0);
    const fs::path file = out / "002_20240501_23.59.50_00.00.10.h264";
    EXPECT_EQ(lines(r.out), std::vector<std::string>{file.string()});
    EXPECT_TRUE(readFile(file) == framesInRange(rec(3).expected_stream(), pack_time(2024, 5, 1, 23, 59, 50),
                                                pack_time(2024, 5, 2, 0, 0, 10)));
}

TEST_F(CliRange, RefusalsWriteNothing)
{
    const std::string dest = quote(out.string());
    // Windows and channels the job refuses: failure.
    EXPECT_EQ(cli("range '2024-05-01 10:00:30' '2024-05-01 10:00:30' " + dest).status, 1);
    EXPECT_EQ(cli("range '2024-05-01 10:00:30' '2024-05-01 10:00:10' " + dest).status, 1);
    EXPECT_EQ(cli("range '2024-05-01 12:00:00' '2024-05-01 13:00:00' " + dest).status, 1);
    EXPECT_EQ(cli("range --channels 1,9 '2024-05-01 10:00:30' '2024-05-01 10:01:30' " + dest).status, 1);
    EXPECT_EQ(cli("range --disk 1 --part 3 '2024-05-01 10:00:30' '2024-05-01 10:01:30' " + dest).status, 1);
    // Words that are not a range: usage.
    EXPECT_EQ(cli("range --channels one '2024-05-01 10:00:30' '2024-05-01 10:01:30' " + dest).status, 2);
    EXPECT_EQ(cli("range '2024-05-01 10:00' '2024-05-01 10:01:30' " + dest).status, 2);
    EXPECT_EQ(cli("range --disk 0 '2024-05-01 10:00:30' '2024-05-01 10:01:30' " + dest).status, 2);
    // Two partitions meet the window: which one is for the user to say.
    EXPECT_EQ(cli("range '2024-05-01 00:00:00' '2024-06-10 00:00:00' " + dest).status, 2);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(CliRange, CaseOptionsReachTheReportOfEveryJob)
{
    const std::string range = "range --channels 1 --case 'C 2024/9' --examiner 'Ana Weiss' --evidence EV-3 "
                              "--notes 'bag 12' --clock-offset 120 '2024-05-01 10:00:30' '2024-05-01 10:00:40' ";
    const CmdResult r = cli(range + quote((out / "range").string()));
    ASSERT_EQ(r.status, 0);
    // The report is named last, JSON then HTML, and both are listed.
    const std::vector<std::string> reports = reportLines(r.out);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(r.out.substr(r.out.size() - reports[1].size() - 9), "report: " + reports[1] + "\n");
    EXPECT_EQ(fs::path(reports[0]).extension(), ".json");
    EXPECT_EQ(fs::path(reports[1]).extension(), ".html");
    EXPECT_TRUE(fs::is_regular_file(reports[1]));
    EXPECT_EQ(sha256sumCheck(out / "range"), 0);
    const QJsonObject report = newestReport(out / "range");
    EXPECT_EQ(report["job"]["kind"].toString(), "range");
    EXPECT_EQ(report["case"]["case_number"].toString(), "C 2024/9");
    EXPECT_EQ(report["case"]["examiner"].toString(), "Ana Weiss");
    EXPECT_EQ(report["case"]["evidence_number"].toString(), "EV-3");
    EXPECT_EQ(report["case"]["notes"].toString(), "bag 12");
    EXPECT_EQ(report["clock_offset_s"].toInt(), 120);
    EXPECT_EQ(report["job"]["range"]["from_corrected"].toString(), "2024-05-01 09:58:30");
    EXPECT_EQ(report["items"].toArray().at(0).toObject()["start_corrected"].toString(), "2024-05-01 09:58:00");

    const CmdResult c = cli("cut --clock-offset=-30 --case K1 " + quote(recordPath(rec(0))) + " 10:00:10 10:00:20 " +
                            quote((out / "cut").string()));
    ASSERT_EQ(c.status, 0);
    EXPECT_EQ(reportLines(c.out).size(), 2u);
    const QJsonObject cutReport = newestReport(out / "cut");
    EXPECT_EQ(cutReport["job"]["kind"].toString(), "cut");
    EXPECT_EQ(cutReport["clock_offset_s"].toInt(), -30);
    EXPECT_EQ(cutReport["case"]["case_number"].toString(), "K1");
    EXPECT_EQ(sha256sumCheck(out / "cut"), 0);

    // --no-report: the hashes, but no report.
    const CmdResult e = cli("export --no-report --examiner X " + quote((out / "export").string()) + " " +
                            quote(recordPath(rec(0))));
    ASSERT_EQ(e.status, 0);
    EXPECT_TRUE(reportLines(e.out).empty());
    EXPECT_TRUE(reportFiles(out / "export").isEmpty() && reportFiles(out / "export", "html").isEmpty());
    EXPECT_EQ(listedPaths(out / "export"), std::vector<std::string>{recordPath(rec(0)).substr(5)});
    EXPECT_EQ(sha256sumCheck(out / "export"), 0);

    // A clock offset that is no whole number of seconds, or no value at all:
    // usage errors, nothing written.
    for (const char* bad : {"--clock-offset abc", "--clock-offset 1.5", "--clock-offset=", "--clock-offset 99999999999",
                            "--clock-offset"}) {
        const fs::path none = out / "bad";
        const std::string b = std::string(" ") + bad + " ";
        EXPECT_EQ(cli("export" + b + quote(none.string()) + " " + quote(recordPath(rec(0)))).status, 2) << bad;
        EXPECT_EQ(cli("cut" + b + quote(recordPath(rec(0))) + " 10:00:10 10:00:20 " + quote(none.string())).status, 2)
            << bad;
        EXPECT_EQ(cli("range" + b + "'2024-05-01 10:00:30' '2024-05-01 10:00:40' " + quote(none.string())).status, 2)
            << bad;
        EXPECT_FALSE(fs::exists(none)) << bad;
    }
}

TEST_F(CliRange, TimelineListsRecordingsAndGaps)
{
    const std::string p0 = recordPath(rec(0)), p1 = recordPath(rec(1)), p2 = recordPath(rec(2)),
                      p3 = recordPath(rec(3)), p4 = recordPath(rec(4));
    const CmdResult day = cli("timeline 2024-05-01");
    ASSERT_EQ(day.status, 0);
    EXPECT_EQ(day.out,
              "0\t0\t001\trecording\t2024-05-01 10:00:00\t2024-05-01 10:01:00\tR\t" + p0 + "\n"
              "0\t0\t001\trecording\t2024-05-01 10:01:00\t2024-05-01 10:02:00\tR\t" + p1 + "\n"
              "0\t0\t001\tgap\t2024-05-01 10:02:00\t2024-05-01 10:05:00\t180\n"
              "0\t0\t001\trecording\t2024-05-01 10:05:00\t2024-05-01 10:05:30\tR\t" + p4 + "\n"
              "0\t0\t002\trecording\t2024-05-01 23:59:40\t2024-05-02 00:00:20\tR\t" + p3 + "\n"
              "0\t0\t003\trecording\t2024-05-01 10:00:20\t2024-05-01 10:00:50\tR\t" + p2 + "\n");
    // The next day begins with the recording that runs past midnight.
    const CmdResult next = cli("timeline --json 2024-05-02");
    ASSERT_EQ(next.status, 0);
    EXPECT_EQ(next.out, "{\"date\":\"2024-05-02\",\"channels\":[\n"
                        "  {\"disk\":0,\"part\":0,\"channel\":1,\"name\":\"002\",\"recordings\":[{\"start\":"
                        "\"2024-05-01 23:59:40\",\"end\":\"2024-05-02 00:00:20\",\"type\":\"R\",\"path\":\"" +
                            p3 + "\"}],\"gaps\":[]}\n]}\n");
    const CmdResult empty = cli("timeline --json 2024-05-20");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "{\"date\":\"2024-05-20\",\"channels\":[]}\n");
    EXPECT_EQ(cli("timeline 2024-02-30").status, 2);
    EXPECT_EQ(cli("timeline").status, 2);
}

}  // namespace
