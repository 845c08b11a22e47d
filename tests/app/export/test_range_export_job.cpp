// The range export job over a recorder image: a window crossing two
// recordings of one channel and none of another, every file exactly the cut
// of the same range of its recording, a window across midnight, the windows
// and channels it refuses before writing anything, cancel, and MP4.
#include "app/export/jobs/CutJob.h"
#include "app/export/jobs/RangeExportJob.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/app/export/ExportTestSupport.h"
#include "tests/support/media/TestStream.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <memory>

using namespace exporttest;
using testimg::pack_time;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

class RangeExport : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = scratch("range");
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        auto add = [&b](uint8_t channel, uint32_t start, uint32_t seconds, uint8_t alarm = 0) {
            testimg::RecordingPlan r;
            r.channel = channel;
            r.start_time = start;
            r.duration = seconds;
            r.alarm = alarm;
            b.add(r);
        };
        add(0, pack_time(2024, 5, 1, 10, 0, 0), 60);      // 0: channel 001, then
        add(0, pack_time(2024, 5, 1, 10, 1, 0), 60, 1);   // 1: the next file, an alarm
        add(1, pack_time(2024, 5, 1, 11, 0, 0), 60);      // 2: channel 002, later
        add(2, pack_time(2024, 5, 1, 10, 0, 30), 20);     // 3: channel 003, inside the window
        add(0, pack_time(2024, 5, 31, 23, 59, 30), 60);   // 4: passes midnight into June
        add(0, pack_time(2024, 6, 1, 0, 0, 30), 60);      // 5: the next file, on June 1
        // Real H.264 for the MP4 output.
        testmedia::StreamParams p;
        p.width = 176;
        p.height = 144;
        p.seconds = 4;
        p.startTime = pack_time(2024, 6, 2, 12, 0, 0);
        testmedia::Recording h264 = testmedia::makeRecording(p);
        ASSERT_TRUE(h264.error.empty()) << h264.error;
        testimg::RecordingPlan r;
        r.channel = 3;
        r.start_time = p.startTime;
        r.duration = 4;
        r.data = testimg::DataKind::Bytes;
        r.bytes = std::make_shared<const std::vector<uint8_t>>(h264.data);
        b.add(r);                                          // 6: channel 004
        std::string err;
        ASSERT_TRUE(b.build((s_dir / "disk.img").string(), &s_manifest, &err)) << err;
        wfs_log_set_route(WFS_LOG_SILENT);
        CRecordCatalogue::UseImages({(s_dir / "disk.img").string()});
        CRecordCatalogue catalogue;
        ASSERT_TRUE(catalogue.Load());
        for (const CatalogueEntry& e : catalogue.Entries())
            s_candidates << QString::fromStdString(e.path);
        ASSERT_EQ(s_candidates.size(), 7);
    }
    static void TearDownTestSuite()
    {
        close_recorder_disks();
        fs::remove_all(s_dir);
    }
    void SetUp() override
    {
        out = s_dir / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(out);
    }

    CRangeExportJob::Params params(const QDateTime& from, const QDateTime& to, QList<int> channels,
                                   int format = CRangeExportJob::FormatH264) const
    {
        CRangeExportJob::Params p;
        p.candidates = s_candidates;
        p.channels = channels;
        p.from = from;
        p.to = to;
        p.strDestFolder = QString::fromStdString(out.string());
        p.nFormat = format;
        return p;
    }
    static const testimg::ManifestRecording& rec(int i) { return s_manifest.recordings.at(i); }
    // What the cut job alone writes for the same range of one recording.
    std::vector<uint8_t> separateCut(int nRec, int nFrom, int nTo) const
    {
        CCutJob cut;
        CCutJob::Params p;
        p.strSource = QString::fromStdString(recordPath(rec(nRec)));
        p.strDestFolder = QString::fromStdString((out / "separate").string());
        EXPECT_TRUE(RecordSpanFromPath(p.strSource, &p.record));
        p.nCutStart = nFrom;
        p.nCutEnd = nTo;
        cut.setParams(p);
        cut.run();
        EXPECT_EQ(cut.result(), CCutJob::Succeeded);
        return readFile(cut.outputPath().toStdString());
    }

    static fs::path s_dir;
    static testimg::Manifest s_manifest;
    static QStringList s_candidates;
    fs::path out;
};

fs::path RangeExport::s_dir;
testimg::Manifest RangeExport::s_manifest;
QStringList RangeExport::s_candidates;

int tod(int h, int m, int s) { return h * 3600 + m * 60 + s; }

TEST_F(RangeExport, TwoRecordingsOfOneChannelAndNoneOfAnother)
{
    CRangeExportJob job;
    QStringList messages;
    QStringList statuses;
    std::vector<int> overall;
    QObject::connect(&job, &CRangeExportJob::showMessage, [&](const QString& s) { messages << s; });
    QObject::connect(&job, &CRangeExportJob::updateExportStatus, [&](const QString& s) { statuses << s; });
    QObject::connect(&job, &CRangeExportJob::updateOverall, [&](int p) { overall.push_back(p); });
    job.setParams(params(at(2024, 5, 1, 10, 0, 40), at(2024, 5, 1, 10, 1, 20), {0, 1, 2}));
    job.run();
    ASSERT_EQ(job.result(), CRangeExportJob::Succeeded) << job.errorText().toStdString();

    const fs::path first = out / "001_20240501_10.00.40_10.01.00.h264";
    const fs::path second = out / "001_20240501_10.01.00_10.01.20.h264";
    const fs::path third = out / "003_20240501_10.00.40_10.00.50.h264";
    EXPECT_EQ(job.writtenFiles(),
              (QStringList{QString::fromStdString(first.string()), QString::fromStdString(second.string()),
                           QString::fromStdString(third.string())}));
    // Each file holds exactly the frames of its part of the window...
    EXPECT_TRUE(readFile(first) == framesInRange(rec(0).expected_stream(), pack_time(2024, 5, 1, 10, 0, 40),
                                                 pack_time(2024, 5, 1, 10, 1, 0)));
    EXPECT_TRUE(readFile(second) == framesInRange(rec(1).expected_stream(), pack_time(2024, 5, 1, 10, 1, 0),
                                                  pack_time(2024, 5, 1, 10, 1, 20)));
    EXPECT_FALSE(readFile(second).empty());
    // Every file listed once, one report for the whole window.
    EXPECT_EQ(sha256sumCheck(out), 0);
    EXPECT_EQ(listedPaths(out).size(), 5u);
    ASSERT_EQ(reportFiles(out).size(), 1);
    EXPECT_EQ(job.reportPath(), QString::fromStdString((out / reportFiles(out, "html")[0].toStdString()).string()));
    const QJsonObject report = newestReport(out);
    EXPECT_EQ(report["job"]["kind"].toString(), "range");
    EXPECT_EQ(report["job"]["range"]["from"].toString(), "2024-05-01 10:00:40");
    EXPECT_EQ(report["job"]["range"]["to"].toString(), "2024-05-01 10:01:20");
    EXPECT_EQ(report["job"]["range"]["channels"].toArray(), (QJsonArray{0, 1, 2}));
    EXPECT_TRUE(report["warnings"].toArray().contains("No recording in the range: 002"));
    const QJsonArray items = report["items"].toArray();
    ASSERT_EQ(items.size(), 3);
    const fs::path files[] = {first, second, third};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject it = items.at(i).toObject();
        EXPECT_EQ(it["output"].toString().toStdString(), files[i].filename().string());
        EXPECT_EQ(it["output_sha256"].toString().toStdString(), sha256sumOf(files[i]));
        EXPECT_EQ(it["outcome"].toString(), "complete");
        EXPECT_TRUE(it.contains("cut"));
    }
    EXPECT_EQ(items.at(2).toObject()["channel"].toInt(), 2);
    // ... and is what a cut of the same range of that recording writes.
    EXPECT_TRUE(readFile(first) == separateCut(0, tod(10, 0, 40), tod(10, 1, 0)));
    EXPECT_TRUE(readFile(second) == separateCut(1, tod(10, 1, 0), tod(10, 1, 20)));
    EXPECT_TRUE(readFile(third) == separateCut(3, tod(10, 0, 40), tod(10, 0, 50)));

    EXPECT_EQ(job.emptyChannels(), QList<int>{1});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("Files written: 3\n")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("No recording in the range: 002")) << messages[0].toStdString();
    // Progress per channel and file, and over the whole job.
    EXPECT_TRUE(statuses.filter("Channel 001, file 2 of 2 (2 of 3)").size() > 0);
    EXPECT_TRUE(statuses.filter("Channel 003, file 1 of 1 (3 of 3)").size() > 0);
    EXPECT_EQ(overall.front(), 0);
    EXPECT_EQ(overall.back(), 1000);
}

TEST_F(RangeExport, AcrossMidnightTakesBothDays)
{
    CRangeExportJob job;
    job.setParams(params(at(2024, 5, 31, 23, 59, 50), at(2024, 6, 1, 0, 0, 50), {0}));
    job.run();
    ASSERT_EQ(job.result(), CRangeExportJob::Succeeded) << job.errorText().toStdString();
    const fs::path before = out / "001_20240531_23.59.50_00.00.30.h264";
    const fs::path after = out / "001_20240601_00.00.30_00.00.50.h264";
    ASSERT_EQ(job.writtenFiles().size(), 2);
    EXPECT_TRUE(readFile(before) == framesInRange(rec(4).expected_stream(), pack_time(2024, 5, 31, 23, 59, 50),
                                                  pack_time(2024, 6, 1, 0, 0, 30)));
    EXPECT_TRUE(readFile(after) == framesInRange(rec(5).expected_stream(), pack_time(2024, 6, 1, 0, 0, 30),
                                                 pack_time(2024, 6, 1, 0, 0, 50)));
    // Only the part after midnight of the recording that began the day before.
    CRangeExportJob late;
    late.setParams(params(at(2024, 6, 1, 0, 0, 5), at(2024, 6, 1, 0, 0, 10), {0}));
    late.run();
    ASSERT_EQ(late.writtenFiles().size(), 1);
    EXPECT_TRUE(readFile(late.writtenFiles()[0].toStdString()) ==
                framesInRange(rec(4).expected_stream(), pack_time(2024, 6, 1, 0, 0, 5), pack_time(2024, 6, 1, 0, 0, 10)));
}

TEST_F(RangeExport, RefusedWindowsAndChannelsWriteNothing)
{
    struct Case {
        QDateTime from, to;
        QList<int> channels;
        const char* message;
    } cases[] = {
        {at(2024, 5, 1, 10, 0, 40), at(2024, 5, 1, 10, 0, 40), {0}, "The range has no length"},
        {at(2024, 5, 1, 10, 0, 40), at(2024, 5, 1, 10, 0, 10), {0}, "The range ends before it starts"},
        {at(2024, 5, 1, 12, 0, 0), at(2024, 5, 1, 13, 0, 0), {0, 1, 2},
         "No recording of the chosen channels lies between 2024-05-01 12:00:00 and 2024-05-01 13:00:00"},
        {at(2024, 5, 1, 10, 0, 40), at(2024, 5, 1, 10, 1, 20), {0, 7}, "These channels do not exist: 008"},
        {at(2024, 5, 1, 10, 0, 40), at(2024, 5, 1, 10, 1, 20), {40, -1}, "These channels do not exist: 000, 041"},
        {at(2024, 5, 1, 10, 0, 40), at(2024, 5, 1, 10, 1, 20), {}, "No channel is chosen"},
    };
    for (const Case& c : cases) {
        CRangeExportJob job;
        QStringList messages;
        QObject::connect(&job, &CRangeExportJob::showMessage, [&](const QString& s) { messages << s; });
        job.setParams(params(c.from, c.to, c.channels));
        job.run();
        EXPECT_EQ(job.result(), CRangeExportJob::Invalid) << c.message;
        EXPECT_EQ(messages, QStringList{c.message});
        EXPECT_FALSE(fs::exists(out)) << c.message;
    }
}

TEST_F(RangeExport, CancelStopsAtTheFileInProgress)
{
    CRangeExportJob job;
    QStringList messages;
    QObject::connect(&job, &CRangeExportJob::showMessage, [&](const QString& s) { messages << s; });
    QObject::connect(&job, &CRangeExportJob::updateExportStatus, [&job](const QString& s) {
        if (s.endsWith("Start Cut"))
            job.requestStop();
    });
    job.setParams(params(at(2024, 5, 1, 10, 0, 0), at(2024, 5, 1, 10, 2, 0), {0, 2}));
    job.run();
    EXPECT_EQ(job.result(), CRangeExportJob::Stopped);
    EXPECT_TRUE(messages.isEmpty());
    // The file being written stays as far as it got; no later one is begun.
    const fs::path partial = out / "001_20240501_10.00.00_10.01.00.h264";
    ASSERT_TRUE(fs::exists(partial));
    EXPECT_LT(fs::file_size(partial), readable(rec(0)).size());
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(out))
        if (e.path().filename() != "SHA256SUMS" && e.path().filename().string().rfind("report-", 0) != 0)
            left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{partial.filename().string()});
    // It is listed with the hash of what it holds and reported short.
    EXPECT_EQ(sha256sumCheck(out), 0);
    const QJsonArray items = newestReport(out)["items"].toArray();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.at(0).toObject()["outcome"].toString(), "short");
}

TEST_F(RangeExport, Mp4FilesReadBackAndTheRawOnesGo)
{
    CRangeExportJob job;
    job.setParams(params(at(2024, 6, 2, 12, 0, 1), at(2024, 6, 2, 12, 0, 2), {3}, CRangeExportJob::FormatMp4));
    job.run();
    ASSERT_EQ(job.result(), CRangeExportJob::Succeeded) << job.resultMessage().toStdString();
    const fs::path mp4 = out / "004_20240602_12.00.01_12.00.02.mp4";
    EXPECT_EQ(job.writtenFiles(), QStringList{QString::fromStdString(mp4.string())});
    EXPECT_FALSE(fs::exists(out / "004_20240602_12.00.01_12.00.02.h264"));
    EXPECT_EQ(probeVideo(mp4), "h264,50\n");  // two whole seconds of 25 frames
    const std::vector<std::string> listed = listedPaths(out);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), mp4.filename().string()), 1);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "004_20240602_12.00.01_12.00.02.h264"), 0);
    EXPECT_EQ(sha256sumCheck(out), 0);
}

TEST_F(RangeExport, NoReportWhenTurnedOff)
{
    CRangeExportJob job;
    job.setWriteReport(false);
    job.setParams(params(at(2024, 5, 1, 10, 0, 35), at(2024, 5, 1, 10, 0, 45), {2}));
    job.run();
    ASSERT_EQ(job.result(), CRangeExportJob::Succeeded);
    EXPECT_TRUE(job.reportPath().isEmpty());
    EXPECT_TRUE(reportFiles(out).isEmpty() && reportFiles(out, "html").isEmpty());
    EXPECT_EQ(listedPaths(out), std::vector<std::string>{"003_20240501_10.00.35_10.00.45.h264"});
    EXPECT_EQ(sha256sumCheck(out), 0);
}

}  // namespace
