// The export job on a recorder image: the folder tree and "index.data" it
// writes, byte-identical copies, replaced targets, failures named instead of
// "Export Success", cancel, MP4 mode read back by ffprobe, and
// `orvelle-cli export` on the same image.
#include "app/export/jobs/ExportJob.h"
#include "app/export/jobs/HashManifest.h"
#include "app/export/jobs/Sha256.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/app/export/ExportTestSupport.h"
#include "tests/support/media/TestStream.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <memory>

using namespace exporttest;
using testimg::pack_time;

namespace {

struct Outcome {
    QStringList statuses;
    QStringList messages;
    std::vector<bool> converted;
};

void watch(CExportJob &job, Outcome *o)
{
    QObject::connect(&job, &CExportJob::updateExportStatus, [o](const QString &s) { o->statuses << s; });
    QObject::connect(&job, &CExportJob::showMessage, [o](const QString &s) { o->messages << s; });
    QObject::connect(&job, &CExportJob::convertFinishi, [o](bool ok) { o->converted.push_back(ok); });
}

class ExportJob : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = scratch("export");
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        testimg::RecordingPlan r;
        r.channel = 0;
        r.start_time = pack_time(2024, 5, 1, 10, 0, 0);
        r.duration = 300;  // several 512000-byte chunks
        b.add(r);
        r.channel = 1;
        r.duration = 90;
        r.header = testimg::HeaderKind::Dhii;
        r.header_bytes = 2048;
        b.add(r);
        r.header = testimg::HeaderKind::None;
        r.header_bytes = 0;
        // Real H.264 for the MP4 mode.
        testmedia::StreamParams p;
        p.seconds = 3;
        p.startTime = pack_time(2024, 5, 2, 8, 0, 0);
        testmedia::Recording rec = testmedia::makeRecording(p);
        ASSERT_TRUE(rec.error.empty()) << rec.error;
        r.channel = 2;
        r.start_time = p.startTime;
        r.duration = 3;
        r.data = testimg::DataKind::Bytes;
        r.bytes = std::make_shared<const std::vector<uint8_t>>(rec.data);
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

    static const testimg::ManifestRecording &rec(int i) { return s_manifest.recordings.at(i); }
    static QString qpath(int i) { return QString::fromStdString(recordPath(rec(i))); }
    // Where a recording's copy lands below the export folder.
    fs::path target(int i) const { return out / recordPath(rec(i)).substr(5); }

    static fs::path s_dir;
    static testimg::Manifest s_manifest;
    fs::path out;
};

fs::path ExportJob::s_dir;
testimg::Manifest ExportJob::s_manifest;

TEST_F(ExportJob, WritesTheTreeAndIndexAndAppendsOnASecondExport)
{
    for (int pass = 0; pass < 2; ++pass) {
        CExportJob job;
        Outcome o;
        watch(job, &o);
        job.setPaths({qpath(0), qpath(1)});
        job.setDestination(QString::fromStdString(out.string()) + "/");
        job.run();
        ASSERT_EQ(o.messages, QStringList{"Export Success"});
        EXPECT_TRUE(job.failures().isEmpty());
        EXPECT_TRUE(o.statuses.contains(QString("Export 2/2 %1").arg(qpath(1).section('/', -1))));
    }
    // Byte-identical copies (the stream header is not part of a recording's data).
    EXPECT_EQ(readFile(target(0)), readable(rec(0)));
    EXPECT_EQ(readFile(target(1)), readable(rec(1)));
    EXPECT_EQ(target(0).parent_path(), out / "idea0" / "2024-05-01" / "000");

    // One CR LF line per copy and export, relative to the folder.
    const std::string l0 = recordPath(rec(0)).substr(5), l1 = recordPath(rec(1)).substr(5);
    const std::vector<uint8_t> index = readFile(out / "index.data");
    EXPECT_EQ(std::string(index.begin(), index.end()), l0 + "\r\n" + l1 + "\r\n" + l0 + "\r\n" + l1 + "\r\n");
}

TEST_F(ExportJob, ReplacesAnExistingTarget)
{
    fs::create_directories(target(1).parent_path());
    std::vector<uint8_t> junk(3 * 1024 * 1024, 0x5A);  // longer than the recording
    ASSERT_TRUE(writeFile(target(1), junk));
    CExportJob job;
    job.setPaths({qpath(1)});
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    EXPECT_TRUE(job.failures().isEmpty());
    EXPECT_EQ(readFile(target(1)), readable(rec(1)));
}

TEST_F(ExportJob, NamesTheRecordingsThatFailedAndGoesOn)
{
    // A recording that is not on the disk (no such first cluster), a path
    // that would leave the folder, then a good one.
    std::string missing = recordPath(rec(0));
    missing.replace(missing.find("[@"), missing.find("]", missing.find("[@")) - missing.find("[@") + 1, "[@7fff0]");
    CExportJob job;
    Outcome o;
    watch(job, &o);
    job.setPaths({QString::fromStdString(missing), "/mnt/idea0/../../etc/x.h264", qpath(1)});
    job.setDestination(QString::fromStdString(out.string()));
    job.run();

    ASSERT_EQ(job.failures().size(), 2);
    EXPECT_EQ(job.failures()[0].strName.toStdString(), missing.substr(5));
    ASSERT_EQ(o.messages.size(), 1);
    EXPECT_NE(o.messages[0], "Export Success");
    EXPECT_TRUE(o.messages[0].startsWith("Export failed for 2 of 3 recordings")) << o.messages[0].toStdString();
    EXPECT_TRUE(o.messages[0].contains(QString::fromStdString(missing.substr(5))));
    EXPECT_FALSE(fs::exists(out / missing.substr(5)));
    EXPECT_FALSE(fs::exists(s_dir / "etc"));
    // The good one was copied and is the only line of the index.
    EXPECT_EQ(readFile(target(1)), readable(rec(1)));
    const std::vector<uint8_t> index = readFile(out / "index.data");
    EXPECT_EQ(std::string(index.begin(), index.end()), recordPath(rec(1)).substr(5) + "\r\n");
}

TEST_F(ExportJob, AnUnwritableIndexIsReportedAndNothingIsCopied)
{
    fs::create_directories(out / "index.data");  // a folder where the file should be
    CExportJob job;
    Outcome o;
    watch(job, &o);
    job.setPaths({qpath(1)});
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    ASSERT_EQ(o.messages.size(), 1);
    EXPECT_NE(o.messages[0], "Export Success");
    EXPECT_FALSE(fs::exists(target(1)));
}

TEST_F(ExportJob, CancelLeavesThePartialFileAndNoMessage)
{
    CExportJob job;
    Outcome o;
    watch(job, &o);
    // Stop as soon as the first chunk is written, as the dialog's Cancel would.
    QObject::connect(&job, &CExportJob::updateProcess, [&job](int pos) {
        if (pos > 0)
            job.requestStop();
    });
    job.setPaths({qpath(0), qpath(1)});
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    EXPECT_TRUE(o.messages.isEmpty());
    EXPECT_TRUE(o.converted.empty());
    ASSERT_TRUE(fs::exists(target(0)));
    EXPECT_EQ(fs::file_size(target(0)), size_t(CExportJob::kChunkSize));
    EXPECT_LT(fs::file_size(target(0)), readable(rec(0)).size());
    EXPECT_FALSE(fs::exists(target(1)));
    EXPECT_EQ(fs::file_size(out / "index.data"), 0u);
}

TEST_F(ExportJob, Mp4ModeLeavesOnlyMp4FilesThatReadBack)
{
    CExportJob job;
    Outcome o;
    watch(job, &o);
    job.setPaths({qpath(2)});
    job.setFormat(CExportJob::FormatMp4);
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    ASSERT_EQ(o.converted, std::vector<bool>{true});
    EXPECT_TRUE(o.messages.isEmpty());
    EXPECT_EQ(job.finishConversion(true), "Export Success");

    const fs::path mp4 = target(2).replace_extension(".mp4");
    EXPECT_FALSE(fs::exists(target(2)));
    EXPECT_FALSE(fs::exists(out / "index.data"));
    // Besides the MP4 file: its hash line and the report (two files).
    std::vector<std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(out))
        if (e.is_regular_file() && e.path().filename() != "SHA256SUMS" &&
            e.path().filename().string().rfind("report-", 0) != 0)
            files.push_back(e.path().string());
    EXPECT_EQ(files, std::vector<std::string>{mp4.string()});
    EXPECT_EQ(probeVideo(mp4), "h264,75\n");
    EXPECT_EQ(reportFiles(out).size(), 1);
    EXPECT_EQ(reportFiles(out, "html").size(), 1);

    // The MP4 file is listed (hashed from the finished file), the removed
    // raw copy is not; sha256sum agrees.
    const std::string rel = fs::relative(mp4, out).string();
    const std::vector<std::string> listed = listedPaths(out);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), rel), 1);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), recordPath(rec(2)).substr(5)), 0);
    EXPECT_EQ(sha256sumCheck(out), 0);
    const QJsonObject item = newestReport(out)["items"].toArray().at(0).toObject();
    EXPECT_EQ(item["output"].toString().toStdString(), rel);
    EXPECT_EQ(item["output_sha256"].toString().toStdString(), sha256sumOf(mp4));
    EXPECT_EQ(qint64(item["output_bytes"].toDouble()), qint64(fs::file_size(mp4)));
    EXPECT_EQ(item["output_hashed_by"].toString(), "reading back");
    // What the MP4 was made from: the recording's bytes as read.
    const std::vector<uint8_t> raw = readable(rec(2));
    EXPECT_EQ(item["source_sha256"].toString().toLatin1(), CSha256::of(raw.data(), raw.size()));
    EXPECT_EQ(qint64(item["source_bytes"].toDouble()), qint64(raw.size()));
    EXPECT_FALSE(item["kept_as_h264"].toBool());
}

TEST_F(ExportJob, RawExportListsEveryFileOnceAndReportsWhatItWrote)
{
    CaseDetails details;
    details.caseNumber = "C-2024/117";
    details.examiner = "R. Lind";
    details.evidenceNumber = "E7 <disk>";
    details.notes = "seized at the shop";
    details.clockOffsetS = 3600;
    for (int pass = 0; pass < 2; ++pass) {
        CExportJob job;
        job.setCaseDetails(details);
        job.setPaths({qpath(0), qpath(1)});
        job.setDestination(QString::fromStdString(out.string()));
        job.run();
        ASSERT_TRUE(job.failures().isEmpty());
        ASSERT_FALSE(job.reportPath().isEmpty());
        EXPECT_TRUE(job.reportPath().endsWith(".html"));
        EXPECT_TRUE(QFileInfo(job.reportPath()).isFile());
        EXPECT_TRUE(QFileInfo(job.reportJsonPath()).isFile());
    }
    // Two jobs (within one second or not): two reports, none overwritten.
    EXPECT_EQ(reportFiles(out).size(), 2);
    EXPECT_EQ(reportFiles(out, "html").size(), 2);
    EXPECT_EQ(sha256sumCheck(out), 0);
    std::vector<std::string> listed = listedPaths(out);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(std::count(listed.begin(), listed.end(), recordPath(rec(i)).substr(5)), 1) << i;
    for (const QString &name : reportFiles(out) + reportFiles(out, "html"))
        EXPECT_EQ(std::count(listed.begin(), listed.end(), name.toStdString()), 1) << name.toStdString();
    EXPECT_EQ(listed.size(), 6u);

    const QJsonObject report = newestReport(out);
    ASSERT_FALSE(report.isEmpty());
    EXPECT_EQ(report["tool"]["name"].toString(), "Orvelle");
    EXPECT_EQ(report["tool"]["version"].toString(), ORVELLE_VERSION);
    EXPECT_EQ(report["job"]["kind"].toString(), "export");
    const QDateTime started = QDateTime::fromString(report["job"]["started"].toString(), Qt::ISODate);
    const QDateTime finished = QDateTime::fromString(report["job"]["finished"].toString(), Qt::ISODate);
    EXPECT_TRUE(started.isValid() && finished.isValid() && started <= finished);
    EXPECT_TRUE(report["job"]["started"].toString().contains(QRegularExpression("[+-]\\d\\d:\\d\\d$")))
        << report["job"]["started"].toString().toStdString();
    EXPECT_FALSE(report["job"]["host"].toString().isEmpty());
    EXPECT_EQ(report["case"]["case_number"].toString(), details.caseNumber);
    EXPECT_EQ(report["case"]["examiner"].toString(), details.examiner);
    EXPECT_EQ(report["case"]["evidence_number"].toString(), details.evidenceNumber);
    EXPECT_EQ(report["case"]["notes"].toString(), details.notes);
    EXPECT_EQ(report["clock_offset_s"].toInt(), 3600);
    EXPECT_TRUE(report["warnings"].toArray().isEmpty());

    const QJsonArray sources = report["sources"].toArray();
    ASSERT_EQ(sources.size(), 1);
    const QJsonObject src = sources.at(0).toObject();
    const std::string image = (s_dir / "disk.img").string();
    EXPECT_EQ(src["disk"].toInt(), 0);
    EXPECT_EQ(src["kind"].toString(), "raw");
    EXPECT_EQ(src["source"].toString().toStdString(), image);
    EXPECT_EQ(src["segments"].toArray().at(0).toString().toStdString(), image);
    EXPECT_EQ(qint64(src["segment_bytes"].toArray().at(0).toDouble()), qint64(fs::file_size(image)));
    EXPECT_EQ(qint64(src["sectors"].toDouble()), qint64(fs::file_size(image) / 512));
    EXPECT_TRUE(src.contains("model") && src.contains("serial"));

    const QJsonArray items = report["items"].toArray();
    ASSERT_EQ(items.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject it = items.at(i).toObject();
        const fs::path file = target(i);
        EXPECT_EQ(it["path"].toString(), qpath(i));
        EXPECT_EQ(it["disk"].toInt(), 0);
        EXPECT_EQ(it["part"].toInt(), 0);
        EXPECT_EQ(it["channel"].toInt(), rec(i).channel);
        EXPECT_EQ(qint64(it["first_cluster"].toDouble()), qint64(rec(i).first_cluster));
        EXPECT_EQ(it["state"].toString(), "live");
        EXPECT_EQ(it["start"].toString(), "2024-05-01 10:00:00");
        EXPECT_EQ(it["start_corrected"].toString(), "2024-05-01 09:00:00");
        EXPECT_EQ(it["outcome"].toString(), "complete");
        EXPECT_EQ(it["output"].toString().toStdString(), recordPath(rec(i)).substr(5));
        EXPECT_EQ(qint64(it["output_bytes"].toDouble()), qint64(fs::file_size(file)));
        EXPECT_EQ(it["output_sha256"].toString().toStdString(), sha256sumOf(file));
        EXPECT_EQ(it["source_sha256"].toString(), it["output_sha256"].toString());
        EXPECT_EQ(it["source_bytes"].toDouble(), it["output_bytes"].toDouble());
        EXPECT_EQ(it["output_hashed_by"].toString(), "writing");
    }

    // The page a person reads: the same case, escaped, with corrected times.
    QFile html(QString::fromStdString((out / reportFiles(out, "html").last().toStdString()).string()));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(html.readAll());
    EXPECT_TRUE(page.contains("C-2024/117"));
    EXPECT_TRUE(page.contains("E7 &lt;disk&gt;"));
    EXPECT_FALSE(page.contains("E7 <disk>"));
    EXPECT_TRUE(page.contains("2024-05-01 09:00:00"));
    EXPECT_TRUE(page.contains(items.at(0).toObject()["output_sha256"].toString()));
}

TEST_F(ExportJob, NoReportWhenTurnedOffButStillTheHashes)
{
    CExportJob job;
    job.setWriteReport(false);
    job.setPaths({qpath(1)});
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    ASSERT_TRUE(job.failures().isEmpty());
    EXPECT_TRUE(job.reportPath().isEmpty());
    EXPECT_TRUE(reportFiles(out).isEmpty());
    EXPECT_TRUE(reportFiles(out, "html").isEmpty());
    EXPECT_EQ(listedPaths(out), std::vector<std::string>{recordPath(rec(1)).substr(5)});
    EXPECT_EQ(sha256sumCheck(out), 0);
}

TEST_F(ExportJob, AFailedConversionKeepsTheRawCopyListedAndSaysSo)
{
    // Recording 0 holds no H.264 the converter can read; recording 2 does.
    // An MP4 file of recording 0 that an earlier export left stays as it is.
    const fs::path earlier = fs::path(target(0)).replace_extension(".mp4");
    fs::create_directories(earlier.parent_path());
    const std::vector<uint8_t> before{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    ASSERT_TRUE(writeFile(earlier, before));
    ASSERT_TRUE(HashManifest::update(QString::fromStdString(out.string()), [&](HashManifest &m) {
        m.set(QString::fromStdString(fs::relative(earlier, out).string()), CSha256::of(before.data(), before.size()));
    }));
    CExportJob job;
    Outcome o;
    watch(job, &o);
    job.setPaths({qpath(0), qpath(2)});
    job.setFormat(CExportJob::FormatMp4);
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    ASSERT_EQ(o.converted, std::vector<bool>{false});
    const QString message = job.finishConversion(false);
    const std::string kept = recordPath(rec(0)).substr(5);
    EXPECT_TRUE(message.contains("Kept as H.264")) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromStdString(kept))) << message.toStdString();

    // The raw copy stays, whole, in index.data and SHA256SUMS; the good one
    // became an MP4 file.
    EXPECT_EQ(readFile(target(0)), readable(rec(0)));
    EXPECT_EQ(readFile(earlier), before);
    EXPECT_FALSE(fs::exists(earlier.string() + ".part"));
    const std::vector<uint8_t> index = readFile(out / "index.data");
    EXPECT_EQ(std::string(index.begin(), index.end()), kept + "\r\n");
    const std::vector<std::string> listed = listedPaths(out);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), kept), 1);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), fs::relative(fs::path(target(2)).replace_extension(".mp4"), out).string()), 1);
    EXPECT_EQ(sha256sumCheck(out), 0);

    const QJsonArray items = newestReport(out)["items"].toArray();
    ASSERT_EQ(items.size(), 2);
    const QJsonObject raw = items.at(0).toObject();
    EXPECT_TRUE(raw["kept_as_h264"].toBool());
    EXPECT_EQ(raw["output"].toString().toStdString(), kept);
    EXPECT_EQ(raw["output_sha256"].toString().toStdString(), sha256sumOf(target(0)));
    EXPECT_FALSE(raw["message"].toString().isEmpty());
    EXPECT_FALSE(items.at(1).toObject()["kept_as_h264"].toBool());
}

TEST_F(ExportJob, CommandLineExportsAndReportsFailuresInItsStatus)
{
    const std::string cli = std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli --image " +
                            quote((s_dir / "disk.img").string()) + " export " + quote(out.string());
    CmdResult ok = run(cli + " " + quote(recordPath(rec(0))) + " " + quote(recordPath(rec(1))));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out.substr(0, ok.out.find("report: ")), target(0).string() + "\n" + target(1).string() + "\n");
    EXPECT_EQ(readFile(target(0)), readable(rec(0)));
    EXPECT_EQ(readFile(target(1)), readable(rec(1)));

    CmdResult bad = run(cli + " /mnt/idea0/2024-05-01/000/10.00.00-10.05.00[R][@7fff0][0].h264 " +
                  quote(recordPath(rec(1))));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out.substr(0, bad.out.find("report: ")), target(1).string() + "\n");
    const std::vector<uint8_t> index = readFile(out / "index.data");
    const std::string l0 = recordPath(rec(0)).substr(5), l1 = recordPath(rec(1)).substr(5);
    EXPECT_EQ(std::string(index.begin(), index.end()), l0 + "\r\n" + l1 + "\r\n" + l1 + "\r\n");

    CmdResult mp4 = run(cli + " --mp4 " + quote(recordPath(rec(2))));
    EXPECT_EQ(mp4.status, 0);
    const fs::path converted = target(2).replace_extension(".mp4");
    EXPECT_EQ(mp4.out.substr(0, mp4.out.find("report: ")), converted.string() + "\n");
    EXPECT_EQ(probeVideo(converted), "h264,75\n");
    EXPECT_FALSE(fs::exists(target(2)));
}

}  // namespace

namespace {

// A copy of an image that ends inside a recording: reading it stops early.
class ExportJobDamaged : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = scratch("export_damaged");
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        testimg::RecordingPlan r;
        r.channel = 0;
        r.start_time = pack_time(2024, 5, 1, 10, 0, 0);
        r.duration = 300;
        b.add(r);
        std::string err;
        ASSERT_TRUE(b.build((s_dir / "disk.img").string(), &s_manifest, &err)) << err;
        const testimg::ManifestRecording &rec = s_manifest.recordings.at(0);
        ASSERT_GT(rec.clusters.size(), 40u);
        // Cut the image inside the recording's 40th cluster.
        const testimg::ManifestPartition *part = s_manifest.partition(rec.partition);
        const uint64_t end = (s_manifest.base_lba + part->cluster_sector(rec.clusters[40]) + 3) * 512;
        ASSERT_LT(end, fs::file_size(s_dir / "disk.img"));
        fs::resize_file(s_dir / "disk.img", end);

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
    static fs::path s_dir;
    static testimg::Manifest s_manifest;
};

fs::path ExportJobDamaged::s_dir;
testimg::Manifest ExportJobDamaged::s_manifest;

TEST_F(ExportJobDamaged, AReadThatEndsEarlyIsShortAndHashesOnlyWhatWasWritten)
{
    const testimg::ManifestRecording &rec = s_manifest.recordings.at(0);
    const fs::path out = s_dir / "out";
    CExportJob job;
    job.setPaths({QString::fromStdString(recordPath(rec))});
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    ASSERT_EQ(job.failures().size(), 1);
    const fs::path file = out / recordPath(rec).substr(5);
    ASSERT_TRUE(fs::exists(file));
    const uint64_t kept = fs::file_size(file);
    const std::vector<uint8_t> all = readable(rec);
    ASSERT_GT(kept, 0u);
    ASSERT_LT(kept, all.size());
    // What was kept is the recording's beginning, and the folder checks;
    // it is not listed as a recording of the folder.
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + kept, readFile(file).begin()));
    EXPECT_EQ(sha256sumCheck(out), 0);
    EXPECT_EQ(fs::file_size(out / "index.data"), 0u);
    EXPECT_TRUE(job.writtenFiles().isEmpty());

    const QJsonArray items = newestReport(out)["items"].toArray();
    ASSERT_EQ(items.size(), 1);
    const QJsonObject it = items.at(0).toObject();
    EXPECT_EQ(it["outcome"].toString(), "short");
    EXPECT_TRUE(it["message"].toString().startsWith(QString("Reading ended after %1 of ").arg(kept)))
        << it["message"].toString().toStdString();
    EXPECT_EQ(qint64(it["output_bytes"].toDouble()), qint64(kept));
    EXPECT_EQ(qint64(it["source_bytes"].toDouble()), qint64(kept));
    EXPECT_EQ(it["output_sha256"].toString().toStdString(), sha256sumOf(file));
    EXPECT_NE(it["output_sha256"].toString().toLatin1(), CSha256::of(all.data(), all.size()));
}

TEST_F(ExportJobDamaged, ADestinationThatCannotBeWrittenLeavesNoHash)
{
    // A destination that takes no file over 256 KiB (as a full disk would
    // stop it): the copy fails part-way and is removed.
    const testimg::ManifestRecording &rec = s_manifest.recordings.at(0);
    const fs::path out = s_dir / "full";
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = 256 * 1024;
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CExportJob job;
    job.setPaths({QString::fromStdString(recordPath(rec))});
    job.setDestination(QString::fromStdString(out.string()));
    job.run();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_DFL);

    ASSERT_EQ(job.failures().size(), 1);
    EXPECT_EQ(job.failures()[0].strReason, "The target file cannot be written");
    EXPECT_FALSE(fs::exists(out / recordPath(rec).substr(5)));
    const QJsonObject it = newestReport(out)["items"].toArray().at(0).toObject();
    EXPECT_EQ(it["outcome"].toString(), "failed");
    EXPECT_EQ(it["output_sha256"].toString(), "");
    EXPECT_EQ(it["source_sha256"].toString(), "");
    EXPECT_EQ(it["output"].toString(), "");
    const std::vector<std::string> listed = listedPaths(out);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), recordPath(rec).substr(5)), 0);
    EXPECT_EQ(sha256sumCheck(out), 0);
}

}  // namespace
