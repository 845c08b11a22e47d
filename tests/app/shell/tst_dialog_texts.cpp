// Every dialog of the program, in English, Chinese and Russian, with the real
// skin and translations, at the size it opens with (the export dialogs also
// with their case details open): no button, label, title or choice shows
// less than its whole text, the Disk Info box keeps every
// "label:value" on one line, and the cut dialog's time boxes draw their
// up and down arrows.

#include "app/export/CaseDetailsBox.h"
#include "app/export/CutFileDlg.h"
#include "app/export/ExportFileDlg.h"
#include "app/export/RangeExportDlg.h"
#include "app/records/DiskManagePage.h"
#include "app/records/RecordTreeRoles.h"
#include "app/shell/ConfigDlg.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/ServiceAgreementDlg.h"
#include "app/shell/StartUp.h"
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTranslator>

#include <functional>
#include <memory>

namespace {

QString describe(QWidget* pWidget, const QString& strText)
{
    return QString("%1 \"%2\" (%3x%4)")
        .arg(pWidget->metaObject()->className(), strText)
        .arg(pWidget->width())
        .arg(pWidget->height());
}

// The texts of a shown window that do not fit the widget showing them.
QStringList clippedTexts(QWidget* pRoot)
{
    QStringList clipped;
    for (QWidget* pWidget : pRoot->findChildren<QWidget*>()) {
        if (!pWidget->isVisibleTo(pRoot))
            continue;
        if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
            if (!pButton->text().isEmpty() && pButton->width() < pButton->sizeHint().width())
                clipped << describe(pButton, pButton->text());
        } else if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
            if (pLabel->text().isEmpty())
                continue;
            const bool bFits = pLabel->wordWrap() ? pLabel->height() >= pLabel->heightForWidth(pLabel->width())
                                                  : pLabel->width() >= pLabel->sizeHint().width();
            if (!bFits)
                clipped << describe(pLabel, pLabel->text());
        } else if (auto* pCombo = qobject_cast<QComboBox*>(pWidget)) {
            QStyleOptionComboBox option;
            option.initFrom(pCombo);
            option.editable = pCombo->isEditable();
            const QRect field =
                pCombo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, pCombo);
            for (int i = 0; i < pCombo->count(); ++i) {
                if (pCombo->fontMetrics().horizontalAdvance(pCombo->itemText(i)) > field.width())
                    clipped << describe(pCombo, pCombo->itemText(i));
            }
        } else if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget)) {
            // What the program shows in a read-only box (version, build
            // date) must be readable whole; paths the user types may scroll.
            if (pEdit->isReadOnly()
                && pEdit->fontMetrics().horizontalAdvance(pEdit->text()) > pEdit->contentsRect().width() - 8)
                clipped << describe(pEdit, pEdit->text());
        }
    }
    return clipped;
}

// Shows a dialog modally, runs the check on it once it is up and closes it.
void whileShown(QDialog* pDialog, const std::function<void(QDialog*)>& check)
{
    QPointer<QDialog> guard(pDialog);
    QTimer::singleShot(0, pDialog, [guard, check] {
        if (!guard)
            return;
        QVERIFY(QTest::qWaitForWindowExposed(guard));
        QApplication::processEvents();
        check(guard);
        guard->reject();
    });
    pDialog->exec();
}

// Bright pixels (the arrow glyphs) in a rectangle of an image.
int brightPixels(const QImage& image, const QRect& rect)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) > 150)
                ++n;
        }
    }
    return n;
}

const char* const kCutPath = "/mnt/idea0/2024-05-01/000/08.00.25-08.00.36[R][@2000][0].h264";

// A day of sixteen channels, the most the range export dialog offers in one
// window.
TimelineDay sixteenChannels()
{
    TimelineDay day;
    day.date = QDate(2024, 5, 1);
    day.strSource = "idea0";
    for (int ch = 0; ch < 16; ++ch) {
        TimelineRow row;
        row.nChannel = ch;
        TimelineRecording r;
        r.nStart = 8 * 3600;
        r.nEnd = 9 * 3600;
        r.strPath = QString("/mnt/idea0/2024-05-01/%1/08.00.00-09.00.00[R][@%2][0].h264")
                        .arg(ch, 3, 10, QLatin1Char('0'))
                        .arg(0x2000 + ch, 0, 16);
        r.strName = "08.00.00-09.00.00";
        row.recordings << r;
        day.rows << row;
        day.candidates << r.strPath;
    }
    return day;
}

// Case details as long as an examiner might enter them.
CaseDetails someCase()
{
    CaseDetails details;
    details.caseNumber = "2026/0417-B";
    details.examiner = "J. Smith";
    details.evidenceNumber = "EV-12, bag 3";
    details.notes = "Seized at the kiosk.";
    details.clockOffsetS = -3725;
    return details;
}

testimg::RecordingPlan rec(uint8_t ch, uint32_t start, uint32_t dur)
{
    testimg::RecordingPlan r;
    r.channel = ch;
    r.start_time = start;
    r.duration = dur;
    r.synthetic.frame_rate = 1;
    r.synthetic.audio_per_second = 0;
    return r;
}

}  // namespace

class TestDialogTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void textsFitInEveryDialog_data();
    void textsFitInEveryDialog();
    void diskInfoKeepsEachLabelWithItsValue_data();
    void diskInfoKeepsEachLabelWithItsValue();
    void cutTimeBoxesDrawTheirArrows();

private:
    void useLanguage(const QString& strLanguage);

    QTemporaryDir m_dir;
    QString m_strImage;
    std::unique_ptr<QTranslator> m_pTranslator;
};

void TestDialogTexts::initTestCase()
{
    QLoggingCategory::setFilterRules("default.debug=false\norvelle.records.load.debug=false");
    wfs_log_set_route(WFS_LOG_SILENT);
    QVERIFY(m_dir.isValid());
    // The skin, translations and agreement built beside the programs.
    for (const char* name : {"skin", "language", "copyright"})
        QVERIFY(QFile::link(QString(ORVELLE_BINARY_DIR) + "/" + name, m_dir.path() + "/" + name));
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance()->recordFormat = 0;
    qApp->setStyleSheet(startup::loadStyleSheet(m_dir.path()));
    QVERIFY(!qApp->styleSheet().isEmpty());

    // A disk with a recording and a picture partition, so that every line
    // of the Disk Info box has a value.
    testimg::DiskPlan disk;
    disk.partitions.resize(2);
    for (auto& p : disk.partitions)
        p.sec_per_clus = 64;
    disk.partitions[1].driver_type = testimg::kDriverPicture;
    testimg::ImageBuilder builder(disk);
    builder.add(rec(0, testimg::pack_time(2024, 5, 1, 8, 0, 0), 60));
    m_strImage = m_dir.path() + "/disk.img";
    std::string err;
    QVERIFY2(builder.build(m_strImage.toStdString(), nullptr, &err), err.c_str());
}

void TestDialogTexts::cleanupTestCase()
{
    close_recorder_disks();
    clear_registered_drives();
    CGlobalAppData::release();
}

void TestDialogTexts::init()
{
    CGlobalAppData::instance()->exportQueue = QStringList{kCutPath};
}

void TestDialogTexts::cleanup()
{
    if (m_pTranslator)
        QCoreApplication::removeTranslator(m_pTranslator.get());
    m_pTranslator.reset();
}

void TestDialogTexts::useLanguage(const QString& strLanguage)
{
    const QString file = startup::translationFile(m_dir.path(), strLanguage);
    if (file.isEmpty())
        return;
    m_pTranslator = std::make_unique<QTranslator>();
    QVERIFY2(m_pTranslator->load(file), qPrintable(file));
    QCoreApplication::installTranslator(m_pTranslator.get());
}

void TestDialogTexts::textsFitInEveryDialog_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("dialog");
    for (const char* language : {"English", "SimpChinese", "Russian"}) {
        for (const char* dialog :
             {"config", "agreement", "export", "cut", "range export", "export with case", "cut with case",
              "range export with case", "restart question", "close question", "cancel question", "abnormal time",
              "outcome with report", "report not opened"})
            QTest::newRow(qPrintable(QString("%1 %2").arg(language, dialog))) << language << dialog;
    }
}

void TestDialogTexts::textsFitInEveryDialog()
{
    QFETCH(QString, language);
    QFETCH(QString, dialog);
    useLanguage(language);
    auto tr = [](const char* context, const char* text) { return QCoreApplication::translate(context, text); };

    std::unique_ptr<QDialog> pDialog;
    const bool bCase = dialog.endsWith(" with case");
    CGlobalAppData::instance()->caseDetails = bCase ? someCase() : CaseDetails();
    if (bCase)
        dialog.chop(int(strlen(" with case")));
    const QString report = "/home/examiner/Backup/Record/report-20260512-101500.html";
    if (dialog == "config")
        pDialog = std::make_unique<CConfigDlg>();
    else if (dialog == "agreement")
        pDialog = std::make_unique<CServiceAgreementDlg>(m_dir.path() + "/copyright/copyright_zh.txt");
    else if (dialog == "export")
        pDialog = std::make_unique<CExportFileDlg>();
    else if (dialog == "cut")
        pDialog = std::make_unique<CCutFileDlg>(kCutPath);
    else if (dialog == "range export")
        pDialog = std::make_unique<CRangeExportDlg>(sixteenChannels(), QDateTime(QDate(2024, 5, 1), QTime(8, 10, 0)),
                                                    QDateTime(QDate(2024, 5, 1), QTime(8, 20, 0)));
    else if (dialog == "outcome with report")
        pDialog = std::make_unique<CMessageBox>(
            nullptr, CMessageBox::Information, tr("CExportFileDlg", "Prompt"), tr("CExportJob", "Export Success"),
            QStringList{tr("CExportFileDlg", "OK"), tr("CJobDialog", "Open Report")});
    else if (dialog == "report not opened")
        pDialog = std::make_unique<CMessageBox>(
            nullptr, CMessageBox::Information, tr("CCutFileDlg", "Prompt"),
            tr("CCutJob", "Cut Success") + "\n\n"
                + tr("CJobDialog", "No program could open the report. It is saved as:\n%1").arg(report),
            QStringList{tr("CCutFileDlg", "OK"), tr("CJobDialog", "Open Report")});
    else if (dialog == "restart question")
        pDialog = std::make_unique<CMessageBox>(
            nullptr, CMessageBox::Information, tr("CConfigDlg", "Prompt"),
            tr("CConfigDlg", "The change will take effect after a restart of Orvelle."),
            QStringList{tr("CConfigDlg", "Restart"), tr("CConfigDlg", "Later")});
    else if (dialog == "close question")
        pDialog = std::make_unique<CMessageBox>(nullptr, CMessageBox::Question, tr("COrvelle", "Prompt"),
                                                tr("COrvelle", "Do you want to close") + "?",
                                                QStringList{tr("COrvelle", "Yes"), tr("COrvelle", "No")});
    else if (dialog == "cancel question")
        pDialog = std::make_unique<CMessageBox>(
            nullptr, CMessageBox::Information, tr("CExportFileDlg", "Prompt"),
            tr("CExportFileDlg", "Whether to cancel export recording"),
            QStringList{tr("CExportFileDlg", "OK"), tr("CExportFileDlg", "NO")});
    else if (dialog == "abnormal time")
        pDialog = std::make_unique<CMessageBox>(nullptr, CMessageBox::Information, tr("CCutFileDlg", "Prompt"),
                                                tr("CCutFileDlg", "Abnormal time"),
                                                QStringList{tr("CCutFileDlg", "OK")});
    QVERIFY(pDialog);
    QStringList clipped;
    whileShown(pDialog.get(), [&clipped, bCase](QDialog* pShown) {
        if (auto* pCase = pShown->findChild<CCaseDetailsBox*>())
            QCOMPARE(pCase->isExpanded(), bCase);
        clipped = clippedTexts(pShown);
    });
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
}

void TestDialogTexts::diskInfoKeepsEachLabelWithItsValue_data()
{
    QTest::addColumn<QString>("language");
    for (const char* language : {"English", "SimpChinese", "Russian"})
        QTest::newRow(language) << language;
}

void TestDialogTexts::diskInfoKeepsEachLabelWithItsValue()
{
    QFETCH(QString, language);
    useLanguage(language);
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    QVERIFY(CDiskManagePage::AddDiskImage(m_strImage));
    CDiskManagePage page;
    page.InitialLoad();
    QCOMPARE(page.model()->rowCount(), 1);

    QStringList clipped;
    QStringList cells;
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* pBox = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(pBox);
        QVERIFY(QTest::qWaitForWindowExposed(pBox));
        QApplication::processEvents();
        title = pBox->windowTitle();
        text = pBox->text();
        clipped = clippedTexts(pBox);
        QGridLayout* pTable = pBox->table();
        QVERIFY(pTable);
        QCOMPARE(pTable->rowCount(), 3);
        QCOMPARE(pTable->columnCount(), 4);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                auto* pCell = qobject_cast<QLabel*>(pTable->itemAtPosition(r, c)->widget());
                QVERIFY(pCell);
                QVERIFY(!pCell->wordWrap());
                cells << pCell->text();
            }
            // A row reads left to right on one line: every cell at the same height.
            const int y = pTable->itemAtPosition(r, 0)->geometry().center().y();
            for (int c = 1; c < 4; ++c)
                QCOMPARE(pTable->itemAtPosition(r, c)->geometry().center().y(), y);
        }
        pBox->buttons().first()->click();
    });
    page.setCurrentRecordIndex(page.model()->item(0)->index());
    QAction info("Disk Info");
    info.setData(int(CmdDiskInfo));
    page.onCommand(&info);

    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
    QCOMPARE(title, QCoreApplication::translate("CDiskManagePage", "Disk Info"));
    QCOMPARE(cells.size(), 12);
    // Labels end with ':'; values are a number and the language's unit.
    const QString unit = QCoreApplication::translate("CDiskManagePage", "MB");
    for (int i = 0; i < cells.size(); ++i) {
        if (i % 2 == 0) {
            QVERIFY2(cells.at(i).endsWith(':'), qPrintable(cells.at(i)));
        } else {
            QVERIFY2(QRegExp(QString("\\d+ %1").arg(QRegExp::escape(unit))).exactMatch(cells.at(i)),
                     qPrintable(cells.at(i)));
        }
    }
    // The box's text is the same table written out.
    QCOMPARE(text, QString("%1%2,%3%4\r\n%5%6,%7%8\r\n%9%10,%11%12")
                       .arg(cells.at(0), cells.at(1), cells.at(2), cells.at(3), cells.at(4), cells.at(5),
                            cells.at(6), cells.at(7), cells.at(8))
                       .arg(cells.at(9), cells.at(10), cells.at(11)));
    if (language == "Russian")
        QCOMPARE(unit, QString::fromUtf8("МБ"));
    else
        QCOMPARE(unit, QString("MB"));
}

void TestDialogTexts::cutTimeBoxesDrawTheirArrows()
{
    CCutFileDlg dlg(kCutPath);
    QList<QTimeEdit*> boxes;
    whileShown(&dlg, [&boxes](QDialog* pShown) {
        boxes = pShown->findChildren<QTimeEdit*>();
        QCOMPARE(boxes.size(), 2);
        for (QTimeEdit* pBox : boxes) {
            QCOMPARE(pBox->buttonSymbols(), QAbstractSpinBox::UpDownArrows);
            const QImage shot = pBox->grab().toImage();
            const int w = shot.width();
            const int h = shot.height();
            // The arrows sit in the right 16 pixels, one above the middle,
            // one below it; the text never reaches there.
            QVERIFY2(brightPixels(shot, QRect(w - 16, 1, 14, h / 2 - 1)) >= 4, "up arrow drawn");
            QVERIFY2(brightPixels(shot, QRect(w - 16, h / 2, 14, h / 2 - 1)) >= 4, "down arrow drawn");
            // The arrows change the time.
            const QTime before = pBox->time();
            pBox->setCurrentSection(QDateTimeEdit::SecondSection);
            QTest::mouseClick(pBox, Qt::LeftButton, Qt::NoModifier, QPoint(w - 8, h / 4));
            QCOMPARE(pBox->time(), before.addSecs(1));
            QTest::mouseClick(pBox, Qt::LeftButton, Qt::NoModifier, QPoint(w - 8, h * 3 / 4));
            QCOMPARE(pBox->time(), before);
        }
    });
}

QTEST_MAIN(TestDialogTexts)
#include "tst_dialog_texts.moc"
