// The export job on a recorder image: the folder tree and "index.data" it
// writes, byte-identical copies, replaced targets, failures named instead of
// "Export Success", cancel, MP4 mode read back by ffprobe, and
// `orvelle-cli export` on the same image.
#include "app/export/jobs/ExportJob.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/app/export/ExportTestSupport.h"
#include "tests/support/media/TestStream.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <gtest/gtest.h>

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
    std::vector<std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(out))
        if (e.is_regular_file())
            files.push_back(e.path().string());
    EXPECT_EQ(files, std::vector<std::string>{mp4.string()});
    EXPECT_EQ(probeVideo(mp4), "h264,75\n");
}

TEST_F(ExportJob, CommandLineExportsAndReportsFailuresInItsStatus)
{
    const std::string cli = std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli --image " +
                            quote((s_dir / "disk.img").string()) + " export " + quote(out.string());
    CmdResult ok = run(cli + " " + quote(recordPath(rec(0))) + " " + quote(recordPath(rec(1))));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, target(0).string() + "\n" + target(1).string() + "\n");
    EXPECT_EQ(readFile(target(0)), readable(rec(0)));
    EXPECT_EQ(readFile(target(1)), readable(rec(1)));

    CmdResult bad = run(cli + " /mnt/idea0/2024-05-01/000/10.00.00-10.05.00[R][@7fff0][0].h264 " +
                  quote(recordPath(rec(1))));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, target(1).string() + "\n");
    const std::vector<uint8_t> index = readFile(out / "index.data");
    const std::string l0 = recordPath(rec(0)).substr(5), l1 = recordPath(rec(1)).substr(5);
    EXPECT_EQ(std::string(index.begin(), index.end()), l0 + "\r\n" + l1 + "\r\n" + l1 + "\r\n");

    CmdResult mp4 = run(cli + " --mp4 " + quote(recordPath(rec(2))));
    EXPECT_EQ(mp4.status, 0);
    const fs::path converted = target(2).replace_extension(".mp4");
    EXPECT_EQ(mp4.out, converted.string() + "\n");
    EXPECT_EQ(probeVideo(converted), "h264,75\n");
    EXPECT_FALSE(fs::exists(target(2)));
}

}  // namespace
