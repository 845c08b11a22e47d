// The day timeline, offscreen, over a recorder image with real H.264: the
// rows and bars of a day as the Disk page hands it over (with the recording
// of the day before that runs past midnight), the colours drawn, zoom around
// the pointer, ruler labels that never touch, a drag that selects seconds,
// a click that plays the clicked channel from the clicked second, a
// double-click that plays every channel in step from it, the cursor at the
// common time, and "Export range".
#include <QAction>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolButton>
#include <QtTest>

#include "app/display/DisplayBox.h"
#include "app/display/TimelineLegend.h"
#include "app/display/TimelinePanel.h"
#include "app/display/TimelineWidget.h"
#include "app/play/PlayManage.h"
#include "app/records/DiskManagePage.h"
#include "app/shell/GlobalAppData.h"
#include "tests/support/image/image_builder.h"
#include "tests/support/media/TestStream.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

#include <cmath>
#include <memory>

namespace {

int tod(int h, int m, int s)
{
    return h * 3600 + m * 60 + s;
}

void sendMouse(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(x, y), w->mapToGlobal(QPoint(x, y)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void sendWheel(QWidget* w, int x, int y, int nDelta)
{
    QWheelEvent event(QPointF(x, y), QPointF(w->mapToGlobal(QPoint(x, y))), QPoint(), QPoint(0, nDelta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

// Time of day of the picture a window shows, from its channel's clock.
int shownSecond(int nWnd)
{
    const qint64 t = CPlayManage::instance()->GetCurTime(nWnd);
    return t > 0 ? QDateTime::fromSecsSinceEpoch(t).time().msecsSinceStartOfDay() / 1000 : -1;
}

}  // namespace

class TestTimeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void rowsAndBarsOfADay();
    void zoomKeepsTheTimeUnderThePointer();
    void rulerLabelsNeverTouch();
    void manyChannelsScroll();
    void dragSelectsSecondsAndExportsThem();
    void clickPlaysTheChannelFromThatSecond();
    void doubleClickPlaysEveryChannelInStep();

private:
    QTemporaryDir m_dir;
    QString m_image;
    std::unique_ptr<CDiskManagePage> m_pPage;
    std::unique_ptr<CDisplayBox> m_pBox;
    std::unique_ptr<CTimelinePanel> m_pPanel;
    CTimelineWidget* m_pTimeline = nullptr;
};

void TestTimeline::initTestCase()
{
    QLoggingCategory::setFilterRules("orvelle.records.load.debug=false\ndefault.debug=false");
    wfs_log_set_route(WFS_LOG_SILENT);
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance()->recordFormat = 0;

    struct
    {
        uint8_t channel;
        uint32_t start;
        int seconds;
        uint8_t alarm;
    } plans[] = {
        {0, testimg::pack_time(2024, 5, 1, 10, 0, 0), 20, 0},     // 001 regular
        {0, testimg::pack_time(2024, 5, 1, 10, 0, 30), 20, 1},    // 001 alarm, after a gap
        {2, testimg::pack_time(2024, 5, 1, 10, 0, 5), 20, 2},     // 003 motion
        {1, testimg::pack_time(2024, 4, 30, 23, 59, 50), 20, 0},  // 002, the day before, into May 1
        {0, testimg::pack_time(2024, 5, 2, 9, 0, 0), 10, 0},      // 001, the day after
    };
    testimg::DiskPlan disk;
    disk.partitions[0].sec_per_clus = 64;
    testimg::ImageBuilder builder(disk);
    for (const auto& plan : plans) {
        testmedia::StreamParams p;
        p.width = 176;
        p.height = 144;
        p.fps = 5;
        p.seconds = plan.seconds;
        p.startTime = plan.start;
        const testmedia::Recording rec = testmedia::makeRecording(p);
        QVERIFY2(rec.error.empty(), rec.error.c_str());
        testimg::RecordingPlan r;
        r.channel = plan.channel;
        r.alarm = plan.alarm;
        r.start_time = plan.start;
        r.duration = uint32_t(plan.seconds);
        r.data = testimg::DataKind::Bytes;
        r.bytes = std::make_shared<const std::vector<uint8_t>>(rec.data);
        builder.add(r);
    }
    m_image = m_dir.path() + "/disk.img";
    std::string err;
    QVERIFY2(builder.build(m_image.toStdString(), nullptr, &err), err.c_str());
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    QVERIFY(CDiskManagePage::AddDiskImage(m_image));
}

void TestTimeline::cleanupTestCase()
{
    CPlayManage::release();
    close_recorder_disks();
    clear_registered_drives();
}

void TestTimeline::init()
{
    m_pBox = std::make_unique<CDisplayBox>();
    m_pBox->resize(900, 500);
    m_pBox->show();
    m_pPanel = std::make_unique<CTimelinePanel>();
    m_pPanel->resize(900, 200);
    m_pPanel->attachDisplayBox(m_pBox.get());
    m_pPanel->show();
    m_pTimeline = m_pPanel->timeline();
    m_pPage = std::make_unique<CDiskManagePage>();
    connect(m_pPage.get(), &CRecordPage::daySelected, m_pPanel.get(), &CTimelinePanel::setDay);
    m_pPage->InitialLoad();
    QVERIFY(QTest::qWaitForWindowExposed(m_pPanel.get()));
}

void TestTimeline::cleanup()
{
    CGlobalAppData::instance()->clearSyncQueue(-1);
    for (int i = 0; i < CPlayManage::MaxWindows; ++i)
        CPlayManage::instance()->Stop(i);
    m_pPage.reset();
    m_pPanel.reset();
    m_pBox.reset();
}

void TestTimeline::rowsAndBarsOfADay()
{
    // After the load the timeline shows the latest day; the calendar's pick
    // of May 1 shows that day.
    QCOMPARE(m_pPanel->day().date, QDate(2024, 5, 2));
    m_pPage->onDateChanged(QDate(2024, 5, 1));
    const TimelineDay& day = m_pPanel->day();
    QCOMPARE(day.date, QDate(2024, 5, 1));
    QCOMPARE(day.strSource, QString("idea0"));
    QCOMPARE(day.rows.size(), 3);
    QCOMPARE(day.rows[0].nChannel, 0);
    QCOMPARE(day.rows[1].nChannel, 1);
    QCOMPARE(day.rows[2].nChannel, 2);
    QCOMPARE(day.rows[0].recordings.size(), 2);
    QCOMPARE(day.rows[0].recordings[0].nStart, tod(10, 0, 0));
    QCOMPARE(day.rows[0].recordings[0].nEnd, tod(10, 0, 20));
    QCOMPARE(day.rows[0].recordings[1].cType, QChar('A'));
    QVERIFY(day.rows[0].recordings[1].strPath.startsWith("/mnt/idea0/2024-05-01/000/10.00.30-10.00.50[A]"));
    // The recording of April 30 runs 10 seconds into May 1.
    QCOMPARE(day.rows[1].recordings.size(), 1);
    QCOMPARE(day.rows[1].recordings[0].nStart, -10);
    QCOMPARE(day.rows[1].recordings[0].nEnd, 10);
    QCOMPARE(day.rows[2].recordings[0].cType, QChar('M'));
    // A range export may take all three days.
    QCOMPARE(day.candidates.size(), 5);
    QCOMPARE(m_pPanel->legend()->entries(), (QStringList{"R Regular", "A Alarm", "M Motion"}));
    QCOMPARE(m_pPanel->titleLabel()->text(), QString("2024-05-01  idea0"));

    // What is drawn: bars in the colour of their type, gaps empty.
    m_pTimeline->setView(tod(9, 59, 50), 600);
    const QImage image = m_pTimeline->grab().toImage();
    auto pixel = [&](int nRow, int nSecond) {
        return QColor(image.pixel(int(std::lround(m_pTimeline->xOf(nSecond + 0.5))), m_pTimeline->rowCentreY(nRow)));
    };
    QCOMPARE(pixel(0, tod(10, 0, 10)), m_pTimeline->regularColor());
    QCOMPARE(pixel(0, tod(10, 0, 25)), m_pTimeline->backgroundColor());  // the gap
    QCOMPARE(pixel(0, tod(10, 0, 40)), m_pTimeline->alarmColor());
    QCOMPARE(pixel(2, tod(10, 0, 15)), m_pTimeline->motionColor());
    QCOMPARE(pixel(1, tod(10, 0, 15)), m_pTimeline->rowColor());  // nothing at ten on 002
    m_pTimeline->setView(0, 600);
    const QImage early = m_pTimeline->grab().toImage();
    QCOMPARE(QColor(early.pixel(int(m_pTimeline->xOf(5)), m_pTimeline->rowCentreY(1))), m_pTimeline->regularColor());
    QCOMPARE(QColor(early.pixel(int(m_pTimeline->xOf(15)), m_pTimeline->rowCentreY(1))), m_pTimeline->rowColor());

    // Tooltips name the recording and its times, or the gap.
    m_pTimeline->setView(tod(9, 59, 50), 600);
    auto tipAt = [&](int nRow, int nSecond) {
        return m_pTimeline->toolTipAt(QPoint(int(m_pTimeline->xOf(nSecond + 0.5)), m_pTimeline->rowCentreY(nRow)));
    };
    QCOMPARE(tipAt(0, tod(10, 0, 10)), QString("Channel 001\n10.00.00-10.00.20[R][@%1][0].h264\n10:00:00 - 10:00:20")
                                           .arg(day.rows[0].recordings[0].strName.section('@', 1).section(']', 0, 0)));
    QCOMPARE(tipAt(0, tod(10, 0, 25)), QString("Channel 001\nNo recording: 10:00:20 - 10:00:30"));
    m_pTimeline->setView(0, 600);
    QVERIFY(tipAt(1, 5).endsWith("\n2024-04-30 23:59:50 - 00:00:10"));
}

void TestTimeline::zoomKeepsTheTimeUnderThePointer()
{
    m_pPage->onDateChanged(QDate(2024, 5, 1));
    const QRect bars = m_pTimeline->barsRect();
    QCOMPARE(m_pTimeline->viewSpan(), 86400.0);
    const int y = m_pTimeline->rowCentreY(0);
    for (int x : {bars.left() + 30, bars.center().x(), bars.right() - 40}) {
        m_pTimeline->setView(0, 86400);
        const double before = m_pTimeline->timeAt(x);
        sendWheel(m_pTimeline, x, y, 120);
        QCOMPARE(m_pTimeline->viewSpan(), 43200.0);
        QVERIFY2(std::abs(m_pTimeline->timeAt(x) - before) < 0.5, qPrintable(QString::number(x)));
        for (int i = 0; i < 8; ++i)
            sendWheel(m_pTimeline, x, y, 120);
        QCOMPARE(m_pTimeline->viewSpan(), double(CTimelineWidget::kMinSpan));  // never closer than 10 minutes
        QVERIFY(std::abs(m_pTimeline->timeAt(x) - before) < 0.5);
        sendWheel(m_pTimeline, x, y, -240);
        QCOMPARE(m_pTimeline->viewSpan(), 2400.0);
        QVERIFY(std::abs(m_pTimeline->timeAt(x) - before) < 0.5);
    }
    // Near the end of the day the view stops at 24:00 instead.
    m_pTimeline->setView(86400 - 600, 600);
    sendWheel(m_pTimeline, bars.left() + 10, y, -120);
    QCOMPARE(m_pTimeline->viewStart() + m_pTimeline->viewSpan(), 86400.0);

    // The buttons: 1 h around the play cursor, or the selection.
    m_pTimeline->setSelection(tod(10, 0, 0), tod(10, 10, 0));
    m_pPanel->zoomButton(2)->click();
    QCOMPARE(m_pTimeline->viewSpan(), 3600.0);
    QCOMPARE(m_pTimeline->viewStart(), double(tod(10, 5, 0) - 1800));
    QVERIFY(m_pPanel->zoomButton(2)->isChecked());
    m_pTimeline->setCursorSeconds(tod(20, 0, 0));
    m_pPanel->zoomButton(3)->click();
    QCOMPARE(m_pTimeline->viewStart(), double(tod(20, 0, 0) - 300));
    // A wheel zoom between the buttons' spans leaves none checked.
    sendWheel(m_pTimeline, bars.center().x(), y, -120);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!m_pPanel->zoomButton(i)->isChecked());
    QVERIFY(m_pPanel->viewScrollBar()->isEnabled());
    QCOMPARE(m_pPanel->viewScrollBar()->value(), int(std::lround(m_pTimeline->viewStart())));
}

void TestTimeline::rulerLabelsNeverTouch()
{
    m_pPage->onDateChanged(QDate(2024, 5, 1));
    for (int width : {260, 480, 733, 900, 1400}) {
        m_pPanel->resize(width, m_pPanel->height());
        QCoreApplication::processEvents();
        for (double span : {86400.0, 50000.0, 21600.0, 7000.0, 3600.0, 1500.0, 600.0}) {
            m_pTimeline->setView(12345, span);
            const QVector<TimelineTick> ticks = m_pTimeline->ticks();
            QRect last;
            int labels = 0;
            for (const TimelineTick& tick : ticks) {
                if (tick.strText.isEmpty())
                    continue;
                const QRect r = m_pTimeline->tickLabelRect(tick);
                const QString where = QString("width %1 span %2 at %3").arg(width).arg(span).arg(tick.strText);
                QVERIFY2(r.right() < m_pTimeline->width(), qPrintable(where));
                QVERIFY2(!last.isValid() || r.left() > last.right(), qPrintable(where));
                last = r;
                ++labels;
            }
            QVERIFY2(labels >= 1, qPrintable(QString("width %1 span %2").arg(width).arg(span)));
        }
    }
}

void TestTimeline::manyChannelsScroll()
{
    // 32 channels: eight rows show, the rest scroll, by bar or wheel.
    TimelineDay day;
    day.date = QDate(2024, 5, 1);
    for (int c = 0; c < 32; ++c) {
        TimelineRow row;
        row.nChannel = c;
        TimelineRecording r;
        r.nStart = c * 600;
        r.nEnd = c * 600 + 300;
        row.recordings.append(r);
        day.rows.append(row);
    }
    m_pPanel->setDay(day);
    QCOMPARE(m_pTimeline->visibleRows(), int(CTimelinePanel::kMaxVisibleRows));
    QVERIFY(m_pPanel->rowScrollBar()->isVisible());
    QCOMPARE(m_pPanel->rowScrollBar()->maximum(), 32 - CTimelinePanel::kMaxVisibleRows);
    m_pPanel->rowScrollBar()->setValue(10);
    QCOMPARE(m_pTimeline->firstRow(), 10);
    QCOMPARE(m_pTimeline->rowAt(m_pTimeline->rowCentreY(10)), 10);
    sendWheel(m_pTimeline, 5, m_pTimeline->rowCentreY(12), -240);  // over the channel numbers
    QCOMPARE(m_pTimeline->firstRow(), 12);
    QCOMPARE(m_pPanel->rowScrollBar()->value(), 12);
    QCOMPARE(m_pTimeline->viewSpan(), 86400.0);  // the wheel did not zoom there
    m_pTimeline->setFirstRow(100);
    QCOMPARE(m_pTimeline->firstRow(), 32 - CTimelinePanel::kMaxVisibleRows);
    // A new day starts at its first row.
    m_pPage->onDateChanged(QDate(2024, 5, 1));
    QCOMPARE(m_pTimeline->firstRow(), 0);
    QVERIFY(!m_pPanel->rowScrollBar()->isVisible());
}

void TestTimeline::dragSelectsSecondsAndExportsThem()
{
    m_pPage->onDateChanged(QDate(2024, 5, 1));
    m_pTimeline->setView(tod(9, 55, 0), 600);
    const int y = m_pTimeline->rowCentreY(1);
    const int x1 = int(m_pTimeline->xOf(tod(9, 59, 40))) + 1;
    const int x2 = int(m_pTimeline->xOf(tod(10, 0, 45))) + 1;
    QSignalSpy play(m_pPanel.get(), &CTimelinePanel::playRecordAt);
    sendMouse(m_pTimeline, QEvent::MouseButtonPress, x1, y, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseMove, (x1 + x2) / 2, y, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseMove, x2, y, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseButtonRelease, x2, y, Qt::NoButton);
    const int start = int(std::floor(m_pTimeline->timeAt(x1)));
    const int end = int(std::floor(m_pTimeline->timeAt(x2)));
    QVERIFY(m_pTimeline->hasSelection());
    QCOMPARE(m_pTimeline->selectionStart(), start);
    QCOMPARE(m_pTimeline->selectionEnd(), end);
    QVERIFY(std::abs(start - tod(9, 59, 40)) <= 1 && std::abs(end - tod(10, 0, 45)) <= 1);
    QCOMPARE(m_pPanel->rangeStartEdit()->time(), QTime(0, 0).addSecs(start));
    QCOMPARE(m_pPanel->rangeEndEdit()->time(), QTime(0, 0).addSecs(end));
    QVERIFY(m_pPanel->exportButton()->isEnabled());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QCOMPARE(play.count(), 0);  // a drag is no click

    // The boxes set the range to the second.
    m_pPanel->rangeStartEdit()->setTime(QTime(10, 0, 3));
    emit m_pPanel->rangeStartEdit()->editingFinished();
    QCOMPARE(m_pTimeline->selectionStart(), tod(10, 0, 3));
    QCOMPARE(m_pTimeline->selectionEnd(), end);

    // "Export range" hands the day and the window on.
    QSignalSpy exported(m_pPanel.get(), &CTimelinePanel::exportRange);
    std::unique_ptr<QMenu> menu(m_pTimeline->createContextMenu());
    QAction* pExport = menu->actions().value(0);
    QVERIFY(pExport && pExport->isEnabled());
    QCOMPARE(pExport->text(), QString("Export range"));
    pExport->trigger();
    QCOMPARE(exported.count(), 1);
    QCOMPARE(exported.at(0).at(0).value<TimelineDay>().candidates.size(), 5);
    QCOMPARE(exported.at(0).at(1).toDateTime(), QDateTime(QDate(2024, 5, 1), QTime(10, 0, 3)));
    QCOMPARE(exported.at(0).at(2).toDateTime(), QDateTime(QDate(2024, 5, 1), QTime(0, 0)).addSecs(end));

    // Escape drops the range; the menu then offers nothing to export.
    QTest::keyClick(m_pTimeline, Qt::Key_Escape);
    QVERIFY(!m_pTimeline->hasSelection());
    QVERIFY(!m_pPanel->exportButton()->isEnabled());
    menu.reset(m_pTimeline->createContextMenu());
    QVERIFY(!menu->actions().value(0)->isEnabled());
}

void TestTimeline::clickPlaysTheChannelFromThatSecond()
{
    m_pPage->onDateChanged(QDate(2024, 5, 1));
    CPlayManage* pManage = CPlayManage::instance();
    m_pTimeline->setView(tod(9, 59, 50), 600);
    m_pBox->onActive(1, false);

    // A gap plays nothing.
    QSignalSpy play(m_pPanel.get(), &CTimelinePanel::playRecordAt);
    const int yRow0 = m_pTimeline->rowCentreY(0);
    int x = int(m_pTimeline->xOf(tod(10, 0, 25) + 0.5));
    sendMouse(m_pTimeline, QEvent::MouseButtonPress, x, yRow0, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseButtonRelease, x, yRow0, Qt::NoButton);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QCOMPARE(play.count(), 0);
    QVERIFY(!pManage->IsPlaying(1));

    // A bar: its recording plays in the active window from that second.
    x = int(m_pTimeline->xOf(tod(10, 0, 12) + 0.5));
    sendMouse(m_pTimeline, QEvent::MouseButtonPress, x, yRow0, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseButtonRelease, x, yRow0, Qt::NoButton);
    QTRY_COMPARE(play.count(), 1);
    QCOMPARE(play.at(0).at(1).toInt(), tod(10, 0, 12));
    QTRY_VERIFY_WITH_TIMEOUT(pManage->IsPlaying(1) && shownSecond(1) > 0, 5000);
    QVERIFY(pManage->GetPlayFile(1).startsWith("/mnt/idea0/2024-05-01/000/10.00.00-10.00.20"));
    QVERIFY(!pManage->IsSync(1));
    QVERIFY(!pManage->IsPlaying(0));
    const int first = shownSecond(1);
    QVERIFY2(first >= tod(10, 0, 11) && first <= tod(10, 0, 14), qPrintable(QString::number(first)));
    // The cursor follows the active window.
    m_pPanel->updateCursor();
    QVERIFY(std::abs(m_pTimeline->cursorSeconds() - shownSecond(1)) <= 1);

    // The part of April 30's recording after midnight plays from there.
    m_pTimeline->setView(0, 600);
    x = int(m_pTimeline->xOf(5.5));
    const int yRow1 = m_pTimeline->rowCentreY(1);
    sendMouse(m_pTimeline, QEvent::MouseButtonPress, x, yRow1, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseButtonRelease, x, yRow1, Qt::NoButton);
    QTRY_COMPARE(play.count(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(pManage->GetPlayFile(1).contains("/2024-04-30/001/23.59.50") && shownSecond(1) >= 0 &&
                                 shownSecond(1) < 60,
                             5000);
    QVERIFY2(shownSecond(1) >= 4 && shownSecond(1) <= 7, qPrintable(QString::number(shownSecond(1))));
}

void TestTimeline::doubleClickPlaysEveryChannelInStep()
{
    m_pPage->onDateChanged(QDate(2024, 5, 1));
    CPlayManage* pManage = CPlayManage::instance();
    m_pTimeline->setView(tod(9, 59, 50), 600);
    QSignalSpy play(m_pPanel.get(), &CTimelinePanel::playRecordAt);
    QSignalSpy mode(m_pPanel.get(), &CTimelinePanel::changeWndMode);

    // What a double-click at 10:00:12 queues: the recordings running then,
    // then the later ones; channel 002's ended at 00:00:10.
    const QMap<int, QStringList> queues = m_pPanel->syncQueueAt(tod(10, 0, 12));
    QCOMPARE(queues.keys(), (QList<int>{0, 2}));
    QCOMPARE(queues.value(0).size(), 2);
    QVERIFY(queues.value(0).at(1).contains("/10.00.30-10.00.50"));

    const int x = int(m_pTimeline->xOf(tod(10, 0, 12) + 0.5));
    const int y = m_pTimeline->rowCentreY(1);  // a row with nothing then: anywhere will do
    sendMouse(m_pTimeline, QEvent::MouseButtonPress, x, y, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseButtonRelease, x, y, Qt::NoButton);
    sendMouse(m_pTimeline, QEvent::MouseButtonDblClick, x, y, Qt::LeftButton);
    sendMouse(m_pTimeline, QEvent::MouseButtonRelease, x, y, Qt::NoButton);
    QCOMPARE(mode.count(), 1);
    QCOMPARE(mode.at(0).at(0).toInt(), 3);  // window index = channel, up to 003
    QTRY_VERIFY_WITH_TIMEOUT(pManage->IsPlaying(0) && pManage->IsPlaying(2), 5000);
    QVERIFY(pManage->IsSync(0) && pManage->IsSync(2));
    QVERIFY(!pManage->IsPlaying(1));
    QVERIFY(pManage->GetPlayFile(2).contains("/002/10.00.05-10.00.25"));
    {
        CGlobalAppData* pData = CGlobalAppData::instance();
        std::lock_guard<std::mutex> lock(pData->syncQueueLock);
        QCOMPARE(pData->syncQueue.value(0).size(), 1);  // the alarm recording comes next
    }
    // Both windows start at the chosen second, the one whose recording
    // began at 10:00:05 too.
    QTRY_VERIFY_WITH_TIMEOUT(pManage->GetPlay(2)->GetCurSeconds() != 0, 5000);
    const int started = int(pManage->GetPlay(2)->GetCurSeconds());
    QVERIFY2(started >= tod(10, 0, 11) && started <= tod(10, 0, 14), qPrintable(QString::number(started)));

    // The cursor stands at the common time: the window furthest behind.
    QTRY_VERIFY(CGlobalAppData::instance()->earliestSyncWindow.load() >= 0);
    m_pPanel->updateCursor();
    const int earliest = CGlobalAppData::instance()->earliestSyncWindow.load();
    const int common = int(pManage->GetPlay(earliest)->GetCurSeconds());
    QVERIFY(std::abs(m_pTimeline->cursorSeconds() - common) <= 1);
    QVERIFY(m_pTimeline->cursorSeconds() >= tod(10, 0, 11));

    // No single play followed the double-click.
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QCOMPARE(play.count(), 0);
}

QTEST_MAIN(TestTimeline)
#include "tst_timeline.moc"
