// The examination report's files: reports of one second never replace one
// another ("-2", "-3"), each file is listed in SHA256SUMS as written, the
// JSON and the HTML page hold the same items, and the page escapes what the
// examiner typed.
#include "app/export/jobs/ExamReport.h"
#include "tests/app/export/ExportTestSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace exporttest;

namespace {

CExamReport sample()
{
    CExamReport r;
    r.begin("export");
    r.finished = QDateTime(QDate(2024, 5, 1), QTime(10, 20, 30), Qt::OffsetFromUTC, 7200);
    r.started = r.finished.addSecs(-5);
    r.caseDetails.caseNumber = "A&B <1>";
    r.caseDetails.notes = "<script>alert(1)</script>";
    r.caseDetails.clockOffsetS = 30;
    ExamItem it;
    it.strPath = "/mnt/idea0/2024-05-01/000/10.00.00-10.05.00[R][@40][0].h264";
    it.start = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0), Qt::UTC);
    it.end = it.start.addSecs(300);
    it.strOutcome = "short";
    it.strMessage = "Reading ended after 10 of 20 bytes";
    r.items << it;
    r.warnings << "one <warning>";
    return r;
}

TEST(ExamReport, ReportsOfOneSecondGetTheirOwnNamesAndHashLines)
{
    const fs::path dir = scratch("exam_report");
    const CExamReport r = sample();
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        QString json, html, error;
        ASSERT_TRUE(r.write(QString::fromStdString(dir.string()), &json, &html, &error)) << error.toStdString();
        names << QFileInfo(json).fileName() << QFileInfo(html).fileName();
    }
    EXPECT_EQ(names, (QStringList{"report-20240501-102030.json", "report-20240501-102030.html",
                                  "report-20240501-102030-2.json", "report-20240501-102030-2.html",
                                  "report-20240501-102030-3.json", "report-20240501-102030-3.html"}));
    std::vector<std::string> want;
    for (const QString &n : names)
        want.push_back(n.toStdString());
    EXPECT_EQ(listedPaths(dir), want);
    EXPECT_EQ(sha256sumCheck(dir), 0);

    // The JSON: times with their offset, the corrected times, the item as it was.
    const QJsonObject o = newestReport(dir);
    EXPECT_EQ(o["job"]["finished"].toString(), "2024-05-01T10:20:30+02:00");
    const QJsonObject it = o["items"].toArray().at(0).toObject();
    EXPECT_EQ(it["start"].toString(), "2024-05-01 10:00:00");
    EXPECT_EQ(it["start_corrected"].toString(), "2024-05-01 09:59:30");
    EXPECT_EQ(it["end_corrected"].toString(), "2024-05-01 10:04:30");
    EXPECT_EQ(it["outcome"].toString(), "short");
    EXPECT_EQ(it["output_sha256"].toString(), "");
    EXPECT_EQ(o["warnings"].toArray(), QJsonArray{"one <warning>"});

    // The page: what was typed is text, never markup.
    const std::vector<uint8_t> page = readFile(dir / names[1].toStdString());
    const std::string html(page.begin(), page.end());
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(html.find("A&amp;B &lt;1&gt;"), std::string::npos);
    EXPECT_NE(html.find("one &lt;warning&gt;"), std::string::npos);
    EXPECT_NE(html.find("Reading ended after 10 of 20 bytes"), std::string::npos);
    EXPECT_NE(html.find("2024-05-01 09:59:30"), std::string::npos);
    fs::remove_all(dir);
}

TEST(ExamReport, AFolderThatCannotTakeTheReportIsSaid)
{
    const fs::path dir = scratch("exam_report_ro");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    QString json, html, error;
    const bool written = sample().write(QString::fromStdString(dir.string()), &json, &html, &error);
    fs::permissions(dir, fs::perms::owner_all);
    const bool empty = fs::is_empty(dir);
    fs::remove_all(dir);
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(empty);
}

}  // namespace
