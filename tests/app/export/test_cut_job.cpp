// The cut job: the range arithmetic, cuts of recordings on a recorder image
// (inside one recording, across midnight at the end of a month), the output
// name and its "_1" when taken, exactly the frames of the range in parser
// order, the coarse positioning of large files, an empty range, an
// unreadable source, cancel, MP4, and `orvelle-cli cut`.
#include "app/export/jobs/CutJob.h"
#include "app/export/jobs/Sha256.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/app/export/ExportTestSupport.h"
#include "tests/support/media/TestStream.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace exporttest;
using testimg::pack_time;

namespace {

int tod(int h, int m, int s) { return h * 3600 + m * 60 + s; }

TEST(CutRange, TimesFromRecorderAndLocalPaths)
{
    RecordSpan t;
    ASSERT_TRUE(RecordSpanFromPath("/mnt/idea0/2024-05-31/003/23.59.30-00.00.30[R][@1c0][0].h264", &t));
    EXPECT_EQ(t.date, QDate(2024, 5, 31));
    EXPECT_EQ(t.nChannel, 3);
    EXPECT_EQ(t.nStart, tod(23, 59, 30));
    EXPECT_EQ(t.nEnd, 86400 + 30);
    ASSERT_TRUE(RecordSpanFromPath("/home/u/out/idec1/2023-01-02/000/10.00.00-10.05.00[A][@40][1].h264", &t));
    EXPECT_EQ(t.nPart, 1);
    EXPECT_EQ(t.nEnd - t.nStart, 300);
    // Not a recording name, or no real date and time.
    EXPECT_FALSE(RecordSpanFromPath("/home/u/movie.h264", &t));
    EXPECT_FALSE(RecordSpanFromPath("/mnt/idea0/2024-13-01/000/10.00.00-10.05.00[R][@40][0].h264", &t));
    EXPECT_FALSE(RecordSpanFromPath("/mnt/idea0/2024-05-01/000/10.00.00-24.05.00[R][@40][0].h264", &t));
    EXPECT_FALSE(t.bValid);
}

TEST(CutRange, RangesInsideTheRecordingAndOverMidnight)
{
    RecordSpan night;
    ASSERT_TRUE(RecordSpanFromPath("/mnt/idea0/2023-05-01/000/23.50.00-00.10.00[R][@40][0].h264", &night));
    CutRange r;
    ASSERT_TRUE(MakeCutRange(night, tod(23, 55, 0), tod(0, 5, 0), &r));
    EXPECT_EQ(r.nStart, tod(23, 55, 0));
    EXPECT_EQ(r.nEnd, 86400 + tod(0, 5, 0));
    // Both ends after midnight.
    ASSERT_TRUE(MakeCutRange(night, tod(0, 1, 0), tod(0, 2, 0), &r));
    EXPECT_EQ(r.nStart, 86400 + 60);
    EXPECT_FALSE(MakeCutRange(night, tod(23, 40, 0), tod(23, 55, 0), &r));  // starts before
    EXPECT_FALSE(MakeCutRange(night, tod(23, 55, 0), tod(0, 15, 0), &r));   // ends after

    // An evening recording that passes midnight at another hour.
    RecordSpan evening;
    ASSERT_TRUE(RecordSpanFromPath("/mnt/idea0/2023-05-01/000/20.00.00-01.00.00[R][@40][0].h264", &evening));
    ASSERT_TRUE(MakeCutRange(evening, tod(21, 0, 0), tod(0, 30, 0), &r));
    EXPECT_EQ(r.nEnd, 86400 + 1800);

    RecordSpan day;
    ASSERT_TRUE(RecordSpanFromPath("/mnt/idea0/2023-05-01/000/10.00.00-11.00.00[R][@40][0].h264", &day));
    EXPECT_TRUE(MakeCutRange(day, tod(10, 0, 0), tod(11, 0, 0), &r));
    EXPECT_TRUE(MakeCutRange(day, tod(10, 30, 0), tod(10, 30, 0), &r));
    EXPECT_FALSE(MakeCutRange(day, tod(10, 30, 0), tod(10, 20, 0), &r));  // the end would be tomorrow
    EXPECT_EQ(CutOutputName(day, tod(10, 0, 0), tod(10, 5, 0)), "20230501_10.00.00_10.05.00.h264");
}

struct Outcome {
    QStringList statuses;
    QStringList messages;
    std::vector<int> progress;
    std::vector<bool> converted;
};

void watch(CCutJob &job, Outcome *o)
{
    QObject::connect(&job, &CCutJob::updateExportStatus, [o](const QString &s) { o->statuses << s; });
    QObject::connect(&job, &CCutJob::showMessage, [o](const QString &s) { o->messages << s; });
    QObject::connect(&job, &CCutJob::updateProcess, [o](int p) { o->progress.push_back(p); });
    QObject::connect(&job, &CCutJob::convertFinishi, [o](bool ok) { o->converted.push_back(ok); });
}

class CutJob : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = scratch("cut");
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        testimg::RecordingPlan r;
        r.channel = 0;
        r.start_time = pack_time(2024, 5, 1, 10, 0, 0);
        r.duration = 60;
        b.add(r);
        r.channel = 1;
        r.start_time = pack_time(2024, 5, 31, 23, 59, 30);  // on into June
        b.add(r);
        testmedia::StreamParams p;
        p.seconds = 6;
        p.startTime = pack_time(2024, 6, 2, 12, 0, 0);
        testmedia::Recording h264 = testmedia::makeRecording(p);
        ASSERT_TRUE(h264.error.empty()) << h264.error;
        r.channel = 2;
        r.start_time = p.startTime;
        r.duration = 6;
        r.data = testimg::DataKind::Bytes;
        r.bytes = std::make_shared<const std::vector<uint8_t>>(h264.data);
        b.add(r);
        std::string err;
        ASSERT_TRUE(b.build((s_dir / "disk.img").string(), &s_manifest, &err)) << err;
        wfs_log_set_route(WFS_LOG_SILENT);
        CRecordCatalogue::UseImages({(s_dir / "disk.img").string()});
        CRecordCatalogue catalogue;
        ASSERT_EQ(catalogue.InitialiseDisks(), 1);
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

    CCutJob::Params params(const std::string &path, int from, int to, int format = CCutJob::FormatH264) const
    {
        CCutJob::Params p;
        p.strSource = QString::fromStdString(path);
        p.strDestFolder = QString::fromStdString(out.string());
        p.nFormat = format;
        EXPECT_TRUE(RecordSpanFromPath(p.strSource, &p.record));
        p.nCutStart = from;
        p.nCutEnd = to;
        return p;
    }
    static const testimg::ManifestRecording &rec(int i) { return s_manifest.recordings.at(i); }

    static fs::path s_dir;
    static testimg::Manifest s_manifest;
    fs::path out;
};

fs::path CutJob::s_dir;
testimg::Manifest CutJob::s_manifest;

TEST_F(CutJob, WritesTheFramesOfTheRangeUnderTheRangesName)
{
    CCutJob job;
    Outcome o;
    watch(job, &o);
    job.setParams(params(recordPath(rec(0)), tod(10, 0, 10), tod(10, 0, 20)));
    job.run();
    ASSERT_EQ(job.result(), CCutJob::Succeeded) << job.errorText().toStdString();
    EXPECT_EQ(o.messages, QStringList{"Cut Success"});
    const fs::path file = out / "20240501_10.00.10_10.00.20.h264";
    EXPECT_EQ(job.outputPath().toStdString(), file.string());
    size_t frames = 0;
    const std::vector<uint8_t> want = framesInRange(rec(0).expected_stream(), pack_time(2024, 5, 1, 10, 0, 10),
                                                    pack_time(2024, 5, 1, 10, 0, 20), &frames);
    EXPECT_EQ(job.framesWritten(), int64_t(frames));
    EXPECT_GT(frames, 11u * 25);  // eleven whole seconds of video, with sound
    EXPECT_TRUE(readFile(file) == want);
    EXPECT_EQ(o.progress.front(), 0);
    EXPECT_EQ(o.progress.back(), 1000);
    EXPECT_TRUE(o.statuses.contains("Start Cut"));
    EXPECT_TRUE(o.statuses.first().startsWith("Find Start Pos "));

    // The same cut again never replaces the first file.
    CCutJob again;
    again.setParams(params(recordPath(rec(0)), tod(10, 0, 10), tod(10, 0, 20)));
    again.run();
    EXPECT_EQ(again.outputPath().toStdString(), (out / "20240501_10.00.10_10.00.20_1.h264").string());
    EXPECT_TRUE(readFile(file) == want);
    EXPECT_TRUE(readFile(out / "20240501_10.00.10_10.00.20_1.h264") == want);
}

TEST_F(CutJob, AcrossMidnightAtTheEndOfAMonth)
{
    CCutJob job;
    job.setParams(params(recordPath(rec(1)), tod(23, 59, 50), tod(0, 0, 10)));
    job.run();
    ASSERT_EQ(job.result(), CCutJob::Succeeded) << job.errorText().toStdString();
    const fs::path file = out / "20240531_23.59.50_00.00.10.h264";
    size_t frames = 0;
    const std::vector<uint8_t> want = framesInRange(rec(1).expected_stream(), pack_time(2024, 5, 31, 23, 59, 50),
                                                    pack_time(2024, 6, 1, 0, 0, 10), &frames);
    EXPECT_GE(frames, 21u * 25);
    EXPECT_TRUE(readFile(file) == want);

    // After midnight only.
    CCutJob late;
    late.setParams(params(recordPath(rec(1)), tod(0, 0, 5), tod(0, 0, 8)));
    late.run();
    ASSERT_EQ(late.result(), CCutJob::Succeeded);
    EXPECT_TRUE(readFile(late.outputPath().toStdString()) ==
                framesInRange(rec(1).expected_stream(), pack_time(2024, 6, 1, 0, 0, 5), pack_time(2024, 6, 1, 0, 0, 8)));
}

TEST_F(CutJob, ARangeWithoutVideoLeavesNoFileAndSaysSo)
{
    // A local copy whose name promises more than its data holds.
    const fs::path local = out / "src" / "idea0" / "2024-05-01" / "000" / "10.00.00-10.05.00[R][@40][0].h264";
    fs::create_directories(local.parent_path());
    ASSERT_TRUE(writeFile(local, readable(rec(0))));
    CCutJob job;
    Outcome o;
    watch(job, &o);
    CCutJob::Params p = params(local.string(), tod(10, 3, 0), tod(10, 4, 0));
    p.strDestFolder = QString::fromStdString((out / "cuts").string());
    job.setParams(p);
    job.run();
    EXPECT_EQ(job.result(), CCutJob::NoVideo);
    ASSERT_EQ(o.messages.size(), 1);
    EXPECT_NE(o.messages[0], "Cut Success");
    // No output; the report says so, and SHA256SUMS lists only the report.
    const QStringList reports = reportFiles(out / "cuts") + reportFiles(out / "cuts", "html");
    std::vector<std::string> left;
    for (const auto &e : fs::directory_iterator(out / "cuts"))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left.size(), 3u);
    EXPECT_EQ(reports.size(), 2);
    EXPECT_EQ(listedPaths(out / "cuts"), (std::vector<std::string>{reports[0].toStdString(), reports[1].toStdString()}));
    const QJsonObject item = newestReport(out / "cuts")["items"].toArray().at(0).toObject();
    EXPECT_EQ(item["outcome"].toString(), "failed");
    EXPECT_EQ(item["output"].toString(), "");
    EXPECT_EQ(item["output_sha256"].toString(), "");
    EXPECT_EQ(item["message"].toString(), "No video lies in the selected range");

    // The same local file cuts like the recording it was copied from.
    CCutJob inside;
    p.nCutStart = tod(10, 0, 30);
    p.nCutEnd = tod(10, 0, 31);
    inside.setParams(p);
    inside.run();
    ASSERT_EQ(inside.result(), CCutJob::Succeeded);
    EXPECT_TRUE(readFile(inside.outputPath().toStdString()) ==
                framesInRange(rec(0).expected_stream(), pack_time(2024, 5, 1, 10, 0, 30),
                              pack_time(2024, 5, 1, 10, 0, 31)));
}

TEST_F(CutJob, ASourceThatCannotBeOpenedIsReported)
{
    CCutJob job;
    Outcome o;
    watch(job, &o);
    job.setParams(params("/mnt/idea0/2024-05-01/000/10.00.00-10.01.00[R][@7fff0][0].h264", tod(10, 0, 0),
                         tod(10, 0, 30)));
    job.run();
    EXPECT_EQ(job.result(), CCutJob::Failed);
    ASSERT_EQ(o.messages.size(), 1);
    EXPECT_TRUE(o.messages[0].startsWith("Cut Failed"));
    EXPECT_FALSE(fs::exists(out) && !fs::is_empty(out));
}

TEST_F(CutJob, CancelLeavesThePartialFileAndNoMessage)
{
    CCutJob job;
    Outcome o;
    watch(job, &o);
    QObject::connect(&job, &CCutJob::updateExportStatus, [&job](const QString &s) {
        if (s == "Start Cut")
            job.requestStop();
    });
    job.setParams(params(recordPath(rec(0)), tod(10, 0, 0), tod(10, 0, 59)));
    job.run();
    EXPECT_EQ(job.result(), CCutJob::Stopped);
    EXPECT_TRUE(o.messages.isEmpty());
    const fs::path file = out / "20240501_10.00.00_10.00.59.h264";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_LT(fs::file_size(file), readable(rec(0)).size() / 2);
    // What stays is listed with the hash of what it holds, and reported short.
    EXPECT_EQ(sha256sumCheck(out), 0);
    const QJsonObject item = newestReport(out)["items"].toArray().at(0).toObject();
    EXPECT_EQ(item["outcome"].toString(), "short");
    EXPECT_EQ(item["output_sha256"].toString().toStdString(), sha256sumOf(file));
}

TEST_F(CutJob, AFailedConversionKeepsTheRawCutListedAndSaysSo)
{
    // Recording 0 holds no H.264 the converter can read.
    CCutJob job;
    Outcome o;
    watch(job, &o);
    job.setParams(params(recordPath(rec(0)), tod(10, 0, 30), tod(10, 0, 40), CCutJob::FormatMp4));
    job.run();
    ASSERT_EQ(o.converted, std::vector<bool>{false});
    const QString message = job.finishConversion(false);
    const fs::path raw = job.outputPath().toStdString();
    EXPECT_TRUE(message.startsWith("Convert Failed")) << message.toStdString();
    EXPECT_TRUE(message.contains("Kept as H.264: " + QString::fromStdString(raw.filename().string())))
        << message.toStdString();
    ASSERT_TRUE(fs::exists(raw));
    EXPECT_FALSE(fs::exists(job.mp4Path().toStdString()));
    const std::vector<std::string> listed = listedPaths(out);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), raw.filename().string()), 1);
    EXPECT_EQ(sha256sumCheck(out), 0);
    const QJsonObject it = newestReport(out)["items"].toArray().at(0).toObject();
    EXPECT_TRUE(it["kept_as_h264"].toBool());
    EXPECT_EQ(it["output"].toString().toStdString(), raw.filename().string());
    EXPECT_EQ(it["output_sha256"].toString().toStdString(), sha256sumOf(raw));
}

TEST_F(CutJob, TheCutIsListedInSha256sumsAndReportedWithItsSourceBytes)
{
    CaseDetails details;
    details.caseNumber = "K-17";
    details.clockOffsetS = -90;
    CCutJob job;
    job.setCaseDetails(details);
    job.setParams(params(recordPath(rec(0)), tod(10, 0, 30), tod(10, 0, 40)));
    job.run();
    ASSERT_EQ(job.result(), CCutJob::Succeeded);
    const fs::path file = job.outputPath().toStdString();
    ASSERT_TRUE(QFileInfo(job.reportPath()).isFile());
    EXPECT_EQ(listedPaths(out).size(), 3u);  // the cut and the two report files
    const std::vector<std::string> listed = listedPaths(out);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), file.filename().string()), 1);
    EXPECT_EQ(sha256sumCheck(out), 0);

    const QJsonObject report = newestReport(out);
    EXPECT_EQ(report["job"]["kind"].toString(), "cut");
    EXPECT_EQ(report["case"]["case_number"].toString(), "K-17");
    EXPECT_EQ(report["sources"].toArray().size(), 1);
    const QJsonObject it = report["items"].toArray().at(0).toObject();
    EXPECT_EQ(it["cut"]["from"].toString(), "10:00:30");
    EXPECT_EQ(it["cut"]["to"].toString(), "10:00:40");
    EXPECT_EQ(it["start_corrected"].toString(), "2024-05-01 10:01:30");
    EXPECT_EQ(it["outcome"].toString(), "complete");
    EXPECT_EQ(it["output"].toString().toStdString(), file.filename().string());
    EXPECT_EQ(it["output_sha256"].toString().toStdString(), sha256sumOf(file));
    EXPECT_EQ(qint64(it["output_bytes"].toDouble()), qint64(fs::file_size(file)));
    EXPECT_EQ(qint64(it["frames"].toDouble()), job.framesWritten());
    // The source bytes the frames came from: a stretch of the recording
    // that holds the output's bytes, hashed as read.
    const std::vector<uint8_t> all = readable(rec(0));
    const qint64 from = qint64(it["source_offset"].toDouble());
    const qint64 bytes = qint64(it["source_bytes"].toDouble());
    ASSERT_GE(from, 0);
    ASSERT_LE(from + bytes, qint64(all.size()));
    EXPECT_GE(bytes, qint64(fs::file_size(file)));
    EXPECT_EQ(it["source_sha256"].toString().toLatin1(), CSha256::of(all.data() + from, size_t(bytes)));
    EXPECT_NE(it["source_sha256"].toString(), it["output_sha256"].toString());
}

TEST_F(CutJob, Mp4CutReadsBackAndTheRawFileGoes)
{
    CCutJob job;
    Outcome o;
    watch(job, &o);
    job.setParams(params(recordPath(rec(2)), tod(12, 0, 2), tod(12, 0, 3), CCutJob::FormatMp4));
    job.run();
    ASSERT_EQ(o.converted, std::vector<bool>{true});
    EXPECT_EQ(job.finishConversion(true), "Cut Success");
    EXPECT_FALSE(fs::exists(job.outputPath().toStdString()));
    EXPECT_EQ(job.mp4Path().toStdString(), (out / "20240602_12.00.02_12.00.03.mp4").string());
    EXPECT_EQ(probeVideo(job.mp4Path().toStdString()), "h264,50\n");
    const std::vector<std::string> listed = listedPaths(out);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "20240602_12.00.02_12.00.03.mp4"), 1);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "20240602_12.00.02_12.00.03.h264"), 0);
    EXPECT_EQ(sha256sumCheck(out), 0);
    const QJsonObject it = newestReport(out)["items"].toArray().at(0).toObject();
    EXPECT_EQ(it["output_hashed_by"].toString(), "reading back");
    EXPECT_EQ(it["output_sha256"].toString().toStdString(), sha256sumOf(job.mp4Path().toStdString()));
}

// A file over 200 MiB: the first 100 seconds small, the rest large, so the
// proportional estimate overshoots early starts and undershoots late ones.
TEST_F(CutJob, LargeFilesArePositionedNearTheStart)
{
    const uint32_t t0 = pack_time(2024, 5, 1, 9, 0, 0);
    testimg::FrameWriter w;
    std::vector<uint8_t> small(1000, 0x11), large(450000, 0x22);
    const int seconds = 600;
    for (int s = 0; s < seconds; ++s) {
        std::vector<uint8_t> &payload = s < 100 ? small : large;
        payload[0] = uint8_t(s);
        w.key_frame(testimg::packed_add(t0, s), 1, payload.data(), payload.size());
    }
    const fs::path local = out / "src" / "idea0" / "2024-05-01" / "000" / "09.00.00-09.10.00[R][@40][0].h264";
    fs::create_directories(local.parent_path());
    const std::vector<uint8_t> bytes = w.take();
    ASSERT_GT(bytes.size(), size_t(CCutJob::kCoarseSeekSize));
    ASSERT_TRUE(writeFile(local, bytes));

    for (int from : {50, 550}) {
        CCutJob job;
        Outcome o;
        watch(job, &o);
        CCutJob::Params p = params(local.string(), tod(9, 0, 0) + from, tod(9, 0, 0) + from + 5);
        job.setParams(p);
        job.run();
        ASSERT_EQ(job.result(), CCutJob::Succeeded) << from;
        EXPECT_TRUE(readFile(job.outputPath().toStdString()) ==
                    framesInRange(bytes, testimg::packed_add(t0, from), testimg::packed_add(t0, from + 5)))
            << from;
        EXPECT_EQ(job.framesWritten(), 6);
        if (from == 550) {
            // Reading began at 80 % of the proportional offset, not at 0: the
            // first stamped frame is found within two frames of it.
            ASSERT_FALSE(o.statuses.isEmpty());
            const QString first = o.statuses.first();
            ASSERT_TRUE(first.startsWith("Find Start Pos ")) << first.toStdString();
            const qint64 pos = first.section(' ', 3).section('/', 0, 0).toLongLong();
            const double offset = 550.0 * 0.8 / 600.0 * double(bytes.size());
            EXPECT_GE(pos, qint64(offset));
            EXPECT_LE(pos, qint64(offset) + 2 * 450016 + CCutJob::kChunkSize);
        }
    }
}

// Positions past 4 GiB: a sparse file of 5.25 GiB whose frames of interest
// lie just behind the coarse position (80 % of the way in).
TEST_F(CutJob, PositionsPastFourGiB)
{
    const fs::path local = out / "src" / "idea0" / "2024-05-01" / "000" / "10.00.00-11.00.00[R][@40][0].h264";
    fs::create_directories(local.parent_path());
    const uint64_t length = 5637144576ull;
    const uint64_t offset = uint64_t(double(3599) * 0.8 / 3600.0 * double(length));
    ASSERT_GT(offset, uint64_t(1) << 32);
    const uint64_t at = offset + (1 << 20);
    testimg::FrameWriter first, late;
    std::vector<uint8_t> payload(3000, 0x33);
    first.key_frame(pack_time(2024, 5, 1, 10, 0, 0), 25, payload.data(), payload.size());
    late.key_frame(pack_time(2024, 5, 1, 10, 59, 59), 25, payload.data(), payload.size());
    late.video_frame(payload.data(), 500);
    const size_t inRange = late.bytes().size();
    late.key_frame(pack_time(2024, 5, 1, 11, 0, 0), 25, payload.data(), payload.size());
    {
        std::ofstream f(local, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char *>(first.bytes().data()), std::streamsize(first.bytes().size()));
        f.seekp(std::streamoff(at));
        f.write(reinterpret_cast<const char *>(late.bytes().data()), std::streamsize(late.bytes().size()));
        ASSERT_TRUE(bool(f));
    }
    fs::resize_file(local, length);  // the rest is a hole

    CCutJob job;
    Outcome o;
    watch(job, &o);
    job.setParams(params(local.string(), tod(10, 59, 59), tod(10, 59, 59)));
    job.run();
    ASSERT_EQ(job.result(), CCutJob::Succeeded) << job.errorText().toStdString();
    EXPECT_EQ(job.framesWritten(), 2);
    const std::vector<uint8_t> want(late.bytes().begin(), late.bytes().begin() + inRange);
    EXPECT_TRUE(readFile(job.outputPath().toStdString()) == want);
    EXPECT_EQ(o.progress.front(), 0);
    EXPECT_TRUE(std::find(o.progress.begin(), o.progress.end(), -1) != o.progress.end());
    fs::remove(local);
}

TEST_F(CutJob, CommandLineCutsAndReportsInItsStatus)
{
    const std::string cli =
        std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli --image " + quote((s_dir / "disk.img").string()) + " cut ";
    CmdResult ok = run(cli + quote(recordPath(rec(1))) + " 23:59:58 00:00:02 " + quote(out.string()));
    EXPECT_EQ(ok.status, 0);
    const fs::path file = out / "20240531_23.59.58_00.00.02.h264";
    EXPECT_EQ(ok.out.substr(0, ok.out.find("report: ")), file.string() + "\n");
    EXPECT_TRUE(readFile(file) == framesInRange(rec(1).expected_stream(), pack_time(2024, 5, 31, 23, 59, 58),
                                                pack_time(2024, 6, 1, 0, 0, 2)));

    CmdResult outside = run(cli + quote(recordPath(rec(0))) + " 09:00:00 10:00:10 " + quote(out.string()));
    EXPECT_EQ(outside.status, 1);
    CmdResult missing = run(cli + "'/mnt/idea0/2024-05-01/000/10.00.00-10.01.00[R][@7fff0][0].h264' 10:00:00 10:00:10 " +
                      quote(out.string()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(run(cli + quote(recordPath(rec(0))) + " 10:00 10:00:10 " + quote(out.string())).status, 2);

    CmdResult mp4 = run(cli + "--mp4 " + quote(recordPath(rec(2))) + " 12:00:00 12:00:05 " + quote(out.string()));
    EXPECT_EQ(mp4.status, 0);
    EXPECT_EQ(mp4.out.substr(0, mp4.out.find("report: ")), (out / "20240602_12.00.00_12.00.05.mp4").string() + "\n");
    EXPECT_EQ(probeVideo(out / "20240602_12.00.00_12.00.05.mp4"), "h264,150\n");
}

}  // namespace
