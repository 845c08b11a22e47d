// The video grid: split layouts, the active window and single view (the
// window shown alone fills the frame, also in synchronous play), the play
// buttons' looks for every speed and sound state and their disabled look on
// an idle window, the context menu, a real H.264 recording playing into a
// window (slider, buttons, the selection outline painted over the picture),
// and the region zoom arithmetic.

#include "app/display/DisplayBox.h"
#include "app/display/VideoFrame.h"
#include "app/display/VideoWnd.h"
#include "app/display/ZoomRegion.h"
#include "app/play/PlayManage.h"
#include "app/shell/FancyMessageBox.h"
#include "app/shell/GlobalAppData.h"
#include "tests/app/play/PlayTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

struct Cell
{
    int row, column, rowSpan, columnSpan;
};

Cell cellOf(QGridLayout* pGrid, QWidget* pWidget)
{
    Cell c{-1, -1, 0, 0};
    const int nIndex = pGrid->indexOf(pWidget);
    if (nIndex >= 0)
        pGrid->getItemPosition(nIndex, &c.row, &c.column, &c.rowSpan, &c.columnSpan);
    return c;
}

void sendMouse(QWidget* pWidget, QEvent::Type type, const QPoint& pos, Qt::MouseButton button)
{
    const Qt::MouseButtons buttons = (type == QEvent::MouseButtonRelease) ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, pos, pWidget->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

QStringList actionTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (QAction* pAction : actions) {
        if (!pAction->isSeparator())
            texts << pAction->text();
    }
    return texts;
}

// Share of pixels whose colour differs noticeably between two images.
double differingShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    int differ = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            if (qAbs(p.red() - q.red()) + qAbs(p.green() - q.green()) + qAbs(p.blue() - q.blue()) > 40)
                ++differ;
        }
    }
    return double(differ) / (a.width() * a.height());
}

// Mean brightness of the opaque pixels.
double brightness(const QImage& image)
{
    double sum = 0;
    double weight = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            sum += c.alphaF() * (c.red() + c.green() + c.blue()) / 3.0;
            weight += c.alphaF();
        }
    }
    return weight > 0 ? sum / weight : 0;
}

// Where each window sits: its geometry, or an empty rectangle when hidden.
QVector<QRect> windowPlaces(CDisplayBox* pBox)
{
    QVector<QRect> places;
    for (int i = 0; i < CDisplayBox::MaxWindows; ++i) {
        CVideoWnd* pWnd = pBox->videoWnd(i);
        places.append(pWnd->isVisible() ? pWnd->geometry() : QRect());
    }
    return places;
}

// The area of the video frame the grid lays its windows out in.
QRect gridArea(CDisplayBox* pBox)
{
    QWidget* pFrame = pBox->videoWnd(0)->parentWidget();
    return pFrame->contentsRect().adjusted(1, 1, -1, -1);
}

int redPixels(const QImage& image, int y, int x0, int x1)
{
    int n = 0;
    for (int x = x0; x <= x1; ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
            ++n;
    }
    return n;
}

}  // namespace

class TestDisplayBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void splitsPlaceWindowsInTheirCells_data();
    void splitsPlaceWindowsInTheirCells();
    void changeWndModeChoosesSplitAndResetsSyncWindows();
    void activeWindowGetsTheActiveFrame();
    void doubleClickTogglesSingleView();
    void singleViewFillsTheFrameAndRestoresTheSplit_data();
    void singleViewFillsTheFrameAndRestoresTheSplit();

    void buttonsStartWithTheirIconsAndTooltips();
    void speedButtonsFollowTheSpeed_data();
    void speedButtonsFollowTheSpeed();
    void playAndSoundButtonsFollowTheStatus();
    void buttonsWithNothingToActOnAreDisabled();

    void contextMenuOfAnIdleGrid();

    void frameReportsClicksAndDrags();
    void frameIgnoresDragsBelowFivePixels();
    void frameClampsDragsToItsEdges();

    void regionOfMirroredDragsIsTheSame();
    void regionInsideAZoomNarrowsIt();
    void degenerateRegionsGiveTheWholePicture();

    void playingWindowDrivesButtonsSliderAndMenu();
    void syncPlayStartsQueuedWindowsAndStopEndsThemAll();
    void syncWindowShownAloneFillsTheFrameAndKeepsPlaying();
    void noticesTellWhatSoundAndCaptureCouldNotDo();

private:
    QTemporaryDir m_dir;
    CDisplayBox* m_pBox = nullptr;
};

void TestDisplayBox::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The buttons draw the skin built beside the programs.
    QVERIFY(QFile::link(QString(ORVELLE_BINARY_DIR) + "/skin", m_dir.path() + "/skin"));
    // As on a machine without a sound server, whatever this one has.
    qputenv("ORVELLE_NO_SOUND", "1");
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance();
}

void TestDisplayBox::init()
{
    m_pBox = new CDisplayBox();
    m_pBox->resize(800, 600);
    m_pBox->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pBox));
}

void TestDisplayBox::cleanup()
{
    for (int i = 0; i < CDisplayBox::MaxWindows; ++i)
        CPlayManage::instance()->Stop(i);
    delete m_pBox;
    m_pBox = nullptr;
}

void TestDisplayBox::cleanupTestCase()
{
    CPlayManage::release();
    CGlobalAppData::release();
}

void TestDisplayBox::splitsPlaceWindowsInTheirCells_data()
{
    QTest::addColumn<int>("split");
    QTest::addColumn<QVector<QVector<int>>>("cells");  // per window: row, column, row span, column span
    QTest::newRow("1") << 1 << QVector<QVector<int>>{{0, 0, 1, 1}};
    QTest::newRow("4") << 4 << QVector<QVector<int>>{{0, 0, 1, 1}, {0, 1, 1, 1}, {1, 0, 1, 1}, {1, 1, 1, 1}};
    QTest::newRow("6") << 6
                       << QVector<QVector<int>>{{0, 0, 2, 2}, {0, 2, 1, 1}, {1, 2, 1, 1},
                                                {2, 0, 1, 1}, {2, 1, 1, 1}, {2, 2, 1, 1}};
    QTest::newRow("8") << 8
                       << QVector<QVector<int>>{{0, 0, 3, 3}, {0, 3, 1, 1}, {1, 3, 1, 1}, {2, 3, 1, 1},
                                                {3, 0, 1, 1}, {3, 1, 1, 1}, {3, 2, 1, 1}, {3, 3, 1, 1}};
    QVector<QVector<int>> nine, sixteen;
    for (int i = 0; i < 9; ++i)
        nine.append({i / 3, i % 3, 1, 1});
    for (int i = 0; i < 16; ++i)
        sixteen.append({i / 4, i % 4, 1, 1});
    QTest::newRow("9") << 9 << nine;
    QTest::newRow("16") << 16 << sixteen;
}

void TestDisplayBox::splitsPlaceWindowsInTheirCells()
{
    QFETCH(int, split);
    QFETCH(QVector<QVector<int>>, cells);
    m_pBox->onWndNoChanged(16);  // from another split, so the grid is rebuilt
    m_pBox->onActive(5, false);
    m_pBox->onWndNoChanged(split);
    QCOMPARE(m_pBox->windowCount(), split);
    QCOMPARE(m_pBox->activeWindow(), 0);
    for (int i = 0; i < CDisplayBox::MaxWindows; ++i) {
        CVideoWnd* pWnd = m_pBox->videoWnd(i);
        QCOMPARE(pWnd->isVisible(), i < split);
        if (i >= split)
            continue;
        const Cell c = cellOf(m_pBox->videoGrid(), pWnd);
        QCOMPARE(QVector<int>({c.row, c.column, c.rowSpan, c.columnSpan}), cells.at(i));
    }
    // Windows of one size in even splits; the big one of 6 and 8 is larger.
    QApplication::processEvents();
    const QSize first = m_pBox->videoWnd(0)->size();
    const QSize last = m_pBox->videoWnd(split - 1)->size();
    if (split == 6 || split == 8)
        QVERIFY(first.width() > last.width() * 3 / 2);
    else
        QVERIFY(qAbs(first.width() - last.width()) <= 2);
}

void TestDisplayBox::changeWndModeChoosesSplitAndResetsSyncWindows()
{
    const QList<QPair<int, int>> cases = {{1, 1}, {2, 4}, {4, 4}, {0, 4}, {5, 9}, {9, 9}, {10, 16}, {16, 16}};
    for (const auto& c : cases) {
        CGlobalAppData::instance()->earliestSyncWindow = 3;
        CGlobalAppData::instance()->latestSyncWindow = 7;
        m_pBox->onChangeWndMode(c.first);
        QVERIFY2(m_pBox->windowCount() == c.second, qPrintable(QString::number(c.first)));
        QCOMPARE(CGlobalAppData::instance()->earliestSyncWindow.load(), -1);
        QCOMPARE(CGlobalAppData::instance()->latestSyncWindow.load(), -1);
    }
    m_pBox->onWndNoChanged(-1);  // ignored
    QCOMPARE(m_pBox->windowCount(), 16);
}

void TestDisplayBox::activeWindowGetsTheActiveFrame()
{
    // Any button, also the right one, makes a window active.
    sendMouse(m_pBox->videoWnd(3)->frame(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::RightButton);
    QCOMPARE(m_pBox->activeWindow(), 3);
    for (int i = 0; i < 4; ++i) {
        const QString style = m_pBox->videoWnd(i)->styleSheet();
        QCOMPARE(style.contains("#0489F5"), i == 3);
    }
    // An idle window announces nothing.
    QSignalSpy select(m_pBox, &CDisplayBox::selectRecord);
    m_pBox->onActive(1, true);
    QCOMPARE(select.count(), 0);
}

void TestDisplayBox::doubleClickTogglesSingleView()
{
    QCOMPARE(m_pBox->windowCount(), 4);
    QTest::mouseDClick(m_pBox->videoWnd(2)->frame(), Qt::LeftButton);
    QVERIFY(m_pBox->singleView());
    QCOMPARE(m_pBox->activeWindow(), 2);
    for (int i = 0; i < CDisplayBox::MaxWindows; ++i)
        QCOMPARE(m_pBox->videoWnd(i)->isVisible(), i == 2);
    QTest::mouseDClick(m_pBox->videoWnd(2)->frame(), Qt::LeftButton);
    QVERIFY(!m_pBox->singleView());
    for (int i = 0; i < CDisplayBox::MaxWindows; ++i)
        QCOMPARE(m_pBox->videoWnd(i)->isVisible(), i < 4);

    // A split change leaves single view.
    QTest::mouseDClick(m_pBox->videoWnd(1)->frame(), Qt::LeftButton);
    m_pBox->onWndNoChanged(9);
    QVERIFY(!m_pBox->singleView());
    for (int i = 0; i < CDisplayBox::MaxWindows; ++i)
        QCOMPARE(m_pBox->videoWnd(i)->isVisible(), i < 9);
}

void TestDisplayBox::singleViewFillsTheFrameAndRestoresTheSplit_data()
{
    QTest::addColumn<int>("split");
    QTest::addColumn<int>("window");
    QTest::newRow("4, the last") << 4 << 3;
    QTest::newRow("9, the middle") << 9 << 4;
    QTest::newRow("16, the last") << 16 << 15;
    QTest::newRow("16, the first") << 16 << 0;
    QTest::newRow("6, a small one") << 6 << 4;
    QTest::newRow("8, the large one") << 8 << 0;
}

void TestDisplayBox::singleViewFillsTheFrameAndRestoresTheSplit()
{
    QFETCH(int, split);
    QFETCH(int, window);
    m_pBox->onWndNoChanged(split);
    QApplication::processEvents();
    const QVector<QRect> before = windowPlaces(m_pBox);
    QVector<Cell> cells;
    for (int i = 0; i < split; ++i)
        cells.append(cellOf(m_pBox->videoGrid(), m_pBox->videoWnd(i)));

    CVideoWnd* pShown = m_pBox->videoWnd(window);
    QTest::mouseDClick(pShown->frame(), Qt::LeftButton);
    QVERIFY(m_pBox->singleView());
    QCOMPARE(m_pBox->activeWindow(), window);
    QTRY_COMPARE(pShown->geometry(), gridArea(m_pBox));
    for (int i = 0; i < CDisplayBox::MaxWindows; ++i)
        QCOMPARE(m_pBox->videoWnd(i)->isVisible(), i == window);
    // The picture is drawn over the whole window, not its old cell.
    QVERIFY(pShown->frame()->width() > before.at(window).width());
    QVERIFY(pShown->frame()->height() > before.at(window).height());

    // The second double-click puts every window back where it was.
    QTest::mouseDClick(pShown->frame(), Qt::LeftButton);
    QVERIFY(!m_pBox->singleView());
    QCOMPARE(m_pBox->activeWindow(), window);
    QCOMPARE(m_pBox->windowCount(), split);
    QTRY_COMPARE(windowPlaces(m_pBox), before);
    for (int i = 0; i < split; ++i) {
        const Cell c = cellOf(m_pBox->videoGrid(), m_pBox->videoWnd(i));
        const Cell& was = cells.at(i);
        QCOMPARE(QVector<int>({c.row, c.column, c.rowSpan, c.columnSpan}),
                 QVector<int>({was.row, was.column, was.rowSpan, was.columnSpan}));
    }
}

void TestDisplayBox::buttonsStartWithTheirIconsAndTooltips()
{
    const QStringList icons = {"Stop", "Play", "Slow", "Fast", "NextFrame", "AudioOff"};
    const QStringList tips = {"Stop", "Play", "Slow", "Fast", "NextFrame", "Audio"};
    for (int i = 0; i < 6; ++i) {
        QToolButton* pButton = m_pBox->controlButton(i);
        QVERIFY(pButton);
        QCOMPARE(m_pBox->buttonIcon(i), icons.at(i));
        QCOMPARE(pButton->toolTip(), tips.at(i));
        const QString dir = CGlobalAppData::appDir();
        for (const char* state : {"Normal", "Hover", "Dis"})
            QVERIFY(pButton->styleSheet().contains(QString("%1/skin/buttons/%2%3.png").arg(dir, icons.at(i), state)));
    }
    QVERIFY(!m_pBox->slider()->isEnabled());
    QCOMPARE(m_pBox->slider()->maximum(), 1000);
}

void TestDisplayBox::speedButtonsFollowTheSpeed_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<QString>("slowIcon");
    QTest::addColumn<QString>("slowTip");
    QTest::addColumn<QString>("fastIcon");
    QTest::addColumn<QString>("fastTip");
    QTest::newRow("1") << 1 << "Slow_1_16X_" << "Slow_X1/16" << "Fast" << "Fast";
    QTest::newRow("2") << 2 << "Slow_1_8X_" << "Slow_X1/8" << "Fast" << "Fast";
    QTest::newRow("3") << 3 << "Slow_1_4X_" << "Slow_X1/4" << "Fast" << "Fast";
    QTest::newRow("4") << 4 << "Slow_1_2X_" << "Slow_X1/2" << "Fast" << "Fast";
    QTest::newRow("5") << 5 << "Slow" << "Slow" << "Fast" << "Fast";
    QTest::newRow("6") << 6 << "Slow" << "Slow" << "Fast_2X_" << "Fast_X2";
    QTest::newRow("7") << 7 << "Slow" << "Slow" << "Fast_4X_" << "Fast_X4";
    QTest::newRow("8") << 8 << "Slow" << "Slow" << "Fast_8X_" << "Fast_X8";
    QTest::newRow("9") << 9 << "Slow" << "Slow" << "Fast_16X_" << "Single I frame playback";
}

void TestDisplayBox::speedButtonsFollowTheSpeed()
{
    QFETCH(int, speed);
    QFETCH(QString, slowIcon);
    QFETCH(QString, slowTip);
    QFETCH(QString, fastIcon);
    QFETCH(QString, fastTip);
    // Reach the speed from the far end, so both buttons change.
    m_pBox->onUpdateBtnStatus(0, speed > 5 ? 1 : 9, 0);
    m_pBox->onUpdateBtnStatus(0, speed, 0);
    QCOMPARE(m_pBox->buttonIcon(2), slowIcon);
    QCOMPARE(m_pBox->controlButton(2)->toolTip(), slowTip);
    QCOMPARE(m_pBox->buttonIcon(3), fastIcon);
    QCOMPARE(m_pBox->controlButton(3)->toolTip(), fastTip);
    QVERIFY(m_pBox->controlButton(3)->styleSheet().contains("/skin/buttons/" + fastIcon + "Hover.png"));
    // Back to normal speed restores both.
    m_pBox->onUpdateBtnStatus(0, 5, 0);
    QCOMPARE(m_pBox->buttonIcon(2), QString("Slow"));
    QCOMPARE(m_pBox->buttonIcon(3), QString("Fast"));
}

void TestDisplayBox::playAndSoundButtonsFollowTheStatus()
{
    m_pBox->onUpdateBtnStatus(1, 5, 1);
    QCOMPARE(m_pBox->buttonIcon(1), QString("Pause"));
    QCOMPARE(m_pBox->controlButton(1)->toolTip(), QString("Pause"));
    QCOMPARE(m_pBox->buttonIcon(5), QString("AudioOn"));
    QCOMPARE(m_pBox->controlButton(5)->toolTip(), QString("AudioOn"));
    for (int nStatus : {2, 4, 0}) {
        m_pBox->onUpdateBtnStatus(nStatus, 5, 0);
        QCOMPARE(m_pBox->buttonIcon(1), QString("Play"));
        QCOMPARE(m_pBox->controlButton(1)->toolTip(), QString("Play"));
    }
    QCOMPARE(m_pBox->buttonIcon(5), QString("AudioOff"));
    QCOMPARE(m_pBox->controlButton(5)->toolTip(), QString("AudioOff"));
}

void TestDisplayBox::buttonsWithNothingToActOnAreDisabled()
{
    CPlayManage* pManage = CPlayManage::instance();
    auto enabledButtons = [this] {
        QVector<bool> on;
        for (int i = 0; i < 6; ++i)
            on.append(m_pBox->controlButton(i)->isEnabled());
        return on;
    };
    const QVector<bool> idle = {false, true, false, false, false, false};
    const QVector<bool> open(6, true);
    // Only Play acts on an idle window: it plays the record list's selection.
    QCOMPARE(enabledButtons(), idle);
    QVERIFY(!m_pBox->slider()->isEnabled());
    QApplication::processEvents();
    const QImage idleStop = m_pBox->controlButton(0)->grab().toImage();

    const QString strPath = playtest::writeRecording(m_dir.path() + "/enabled", 1, 10, 0, 0, 20.0);
    QVERIFY(!strPath.isEmpty());
    m_pBox->onPlayRecord(strPath, false);
    QTRY_VERIFY(pManage->IsPlaying(0));
    m_pBox->pollStatus();
    QCOMPARE(enabledButtons(), open);
    QVERIFY(m_pBox->slider()->isEnabled());
    QApplication::processEvents();
    const QImage liveStop = m_pBox->controlButton(0)->grab().toImage();
    // The idle button shows the skin's dimmer disabled picture.
    QVERIFY(differingShare(idleStop, liveStop) > 0.05);
    QVERIFY(brightness(idleStop) < brightness(liveStop));

    // Another, idle window made active: at once, without waiting for the poll.
    m_pBox->onActive(2, false);
    QCOMPARE(enabledButtons(), idle);
    m_pBox->pollStatus();
    QCOMPARE(enabledButtons(), idle);
    QVERIFY(!m_pBox->slider()->isEnabled());
    // A disabled button does nothing when clicked.
    m_pBox->controlButton(3)->click();
    QCOMPARE(pManage->GetSpeed(0), 5);
    m_pBox->onActive(0, false);
    QCOMPARE(enabledButtons(), open);

    // Paused is still open; closed is idle again.
    m_pBox->controlButton(1)->click();
    QCOMPARE(pManage->GetPlayStatus(0), 2);
    m_pBox->pollStatus();
    QCOMPARE(enabledButtons(), open);
    m_pBox->controlButton(0)->click();
    QTRY_VERIFY(!pManage->IsPlaying(0));
    m_pBox->pollStatus();
    QCOMPARE(enabledButtons(), idle);
    QVERIFY(!m_pBox->slider()->isEnabled());
}

void TestDisplayBox::contextMenuOfAnIdleGrid()
{
    m_pBox->onActive(2, false);
    QScopedPointer<QMenu> pMenu(m_pBox->createContextMenu());
    const QList<QAction*> actions = pMenu->actions();
    QCOMPARE(actions.first()->text(), QString("Window 3"));
    QVERIFY(!actions.first()->isEnabled());
    // Nothing plays: only the split submenu.
    QCOMPARE(actionTexts(actions), QStringList({"Window 3", "Video Split"}));
    QMenu* pSplit = actions.last()->menu();
    QVERIFY(pSplit);
    QCOMPARE(actionTexts(pSplit->actions()), QStringList({"Split1", "Split4", "Split8", "Split9", "Split16"}));
    for (QAction* pAction : pSplit->actions())
        QCOMPARE(pAction->isChecked(), pAction->text() == "Split4");

    // Choosing a split applies it.
    pSplit->actions().at(3)->trigger();
    QCOMPARE(m_pBox->windowCount(), 9);
    QScopedPointer<QMenu> pAgain(m_pBox->createContextMenu());
    for (QAction* pAction : pAgain->actions().last()->menu()->actions())
        QCOMPARE(pAction->isChecked(), pAction->text() == "Split9");
}

void TestDisplayBox::frameReportsClicksAndDrags()
{
    CVideoWnd* pWnd = m_pBox->videoWnd(0);
    CVideoFrame* pFrame = pWnd->frame();
    QSignalSpy active(pWnd, &CVideoWnd::activeWnd);
    QSignalSpy doubled(pWnd, &CVideoWnd::doubleClicked);
    QSignalSpy rect(pWnd, &CVideoWnd::sig_RectanglePoint);
    QSignalSpy select(pWnd, &CVideoWnd::sig_selectRegion);

    // Without region mode a drag reports nothing but the click.
    sendMouse(pFrame, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseMove, QPoint(60, 50), Qt::LeftButton);
    QTest::qWait(40);
    sendMouse(pFrame, QEvent::MouseButtonRelease, QPoint(60, 50), Qt::LeftButton);
    QCOMPARE(active.count(), 1);
    QCOMPARE(rect.count(), 0);
    QCOMPARE(select.count(), 0);

    // Region mode: a press and release without movement selects nothing.
    pWnd->setRegionMode(true);
    sendMouse(pFrame, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton);
    QCOMPARE(select.count(), 0);

    // A real drag: the outline while dragging, the region on release, then
    // the outline cleared.
    sendMouse(pFrame, QEvent::MouseButtonPress, QPoint(10, 12), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseMove, QPoint(80, 60), Qt::LeftButton);
    QTRY_VERIFY(rect.count() > 0);
    QCOMPARE(rect.last().at(1).toPoint(), QPoint(10, 12));
    QCOMPARE(rect.last().at(2).toPoint(), QPoint(80, 60));
    QCOMPARE(rect.last().at(0).value<void*>(), reinterpret_cast<void*>(quintptr(pWnd->videoHandle())));
    sendMouse(pFrame, QEvent::MouseButtonRelease, QPoint(80, 60), Qt::LeftButton);
    QCOMPARE(select.count(), 1);
    QCOMPARE(select.last().at(1).toPoint(), QPoint(10, 12));
    QCOMPARE(select.last().at(2).toPoint(), QPoint(80, 60));
    QCOMPARE(select.last().at(3).toInt(), pFrame->width());
    QCOMPARE(select.last().at(4).toInt(), pFrame->height());
    QCOMPARE(rect.last().at(1).toPoint(), QPoint(0, 0));
    QCOMPARE(rect.last().at(2).toPoint(), QPoint(0, 0));
    // No more outlines after the release.
    const int nRects = rect.count();
    QTest::qWait(40);
    QCOMPARE(rect.count(), nRects);

    QTest::mouseDClick(pFrame, Qt::LeftButton);
    QCOMPARE(doubled.count(), 1);
    QCOMPARE(doubled.last().at(0).toInt(), 0);
}

void TestDisplayBox::frameIgnoresDragsBelowFivePixels()
{
    CVideoWnd* pWnd = m_pBox->videoWnd(1);
    CVideoFrame* pFrame = pWnd->frame();
    QSignalSpy select(pWnd, &CVideoWnd::sig_selectRegion);
    pWnd->setRegionMode(true);

    sendMouse(pFrame, QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseMove, QPoint(24, 24), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseButtonRelease, QPoint(24, 24), Qt::LeftButton);
    QCOMPARE(select.count(), 0);
    QVERIFY(pFrame->selectionOutline().isNull());

    sendMouse(pFrame, QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseMove, QPoint(25, 20), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseButtonRelease, QPoint(25, 20), Qt::LeftButton);
    QCOMPARE(select.count(), 1);
}

void TestDisplayBox::frameClampsDragsToItsEdges()
{
    CVideoWnd* pWnd = m_pBox->videoWnd(0);
    CVideoFrame* pFrame = pWnd->frame();
    QSignalSpy select(pWnd, &CVideoWnd::sig_selectRegion);
    pWnd->setRegionMode(true);
    const int w = 2 * (pFrame->width() / 2);
    const int h = 2 * (pFrame->height() / 2);

    sendMouse(pFrame, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseMove, QPoint(pFrame->width() + 200, pFrame->height() + 90), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseButtonRelease, QPoint(0, 0), Qt::LeftButton);
    QCOMPARE(select.count(), 1);
    QCOMPARE(select.last().at(2).toPoint(), QPoint(w, h));

    sendMouse(pFrame, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseMove, QPoint(-40, 100), Qt::LeftButton);
    sendMouse(pFrame, QEvent::MouseButtonRelease, QPoint(0, 0), Qt::LeftButton);
    QCOMPARE(select.count(), 2);
    QCOMPARE(select.last().at(2).toPoint(), QPoint(0, 100));
}

void TestDisplayBox::regionOfMirroredDragsIsTheSame()
{
    const QSize widget(400, 300);
    const QRect forward = zoomregion::selectRegion(QRect(), QPoint(100, 75), QPoint(300, 225), widget);
    QCOMPARE(forward, QRect(QPoint(2048, 2048), QPoint(6144, 6144)));
    QCOMPARE(zoomregion::selectRegion(QRect(), QPoint(300, 225), QPoint(100, 75), widget), forward);
    QCOMPARE(zoomregion::selectRegion(QRect(), QPoint(300, 75), QPoint(100, 225), widget), forward);
    QCOMPARE(zoomregion::selectRegion(QRect(), QPoint(100, 225), QPoint(300, 75), widget), forward);
    // The far edges map to the edge of the space.
    QCOMPARE(zoomregion::selectRegion(QRect(), QPoint(0, 0), QPoint(400, 300), widget), zoomregion::fullRegion());
}

void TestDisplayBox::regionInsideAZoomNarrowsIt()
{
    const QSize widget(400, 300);
    // The right half of the picture is shown; the left half of it is chosen.
    const QRect current(QPoint(4096, 0), QPoint(8191, 8191));
    const QRect inner = zoomregion::selectRegion(current, QPoint(0, 0), QPoint(199, 299), widget);
    QCOMPARE(inner.left(), 4096);
    QCOMPARE(inner.top(), 0);
    QCOMPARE(inner.right(), 4096 + 4096 * 200 / 400);
    QCOMPARE(inner.bottom(), 8192 * 300 / 300);
    QVERIFY(inner.width() < current.width());

    // Through the box: two selections on window 0, the second inside the first.
    CVideoWnd* pWnd = m_pBox->videoWnd(0);
    const QSize frame = pWnd->frame()->size();
    void* hwnd = reinterpret_cast<void*>(quintptr(pWnd->videoHandle()));
    pWnd->setZoomRegion(QRect(QPoint(2048, 2048), QPoint(6144, 6144)));
    // No channel plays: the manager refuses and the stored region stays.
    m_pBox->slot_SelectRegion(hwnd, QPoint(0, 0), QPoint(frame.width() / 2, frame.height() / 2), 176, 144);
    QCOMPARE(pWnd->zoomRegion(), QRect(QPoint(2048, 2048), QPoint(6144, 6144)));
}

void TestDisplayBox::degenerateRegionsGiveTheWholePicture()
{
    const QRect full = zoomregion::fullRegion();
    QCOMPARE(full, QRect(QPoint(0, 0), QPoint(8192, 8192)));
    // A line has no area.
    QCOMPARE(zoomregion::selectRegion(QRect(), QPoint(10, 50), QPoint(200, 50), QSize(400, 300)), full);
    // A widget without size.
    QCOMPARE(zoomregion::selectRegion(QRect(), QPoint(10, 10), QPoint(200, 50), QSize(0, 300)), full);
    // Deep inside a tiny zoom the result collapses: the whole picture again.
    const QRect tiny(QPoint(100, 100), QPoint(101, 101));
    QCOMPARE(zoomregion::selectRegion(tiny, QPoint(1, 1), QPoint(3, 3), QSize(4000, 3000)), full);
    // Out-of-range points never leave the space.
    const QRect wild = zoomregion::selectRegion(QRect(), QPoint(-50, -50), QPoint(900, 700), QSize(400, 300));
    QVERIFY(full.contains(wild));
}

void TestDisplayBox::playingWindowDrivesButtonsSliderAndMenu()
{
    const QString strPath = playtest::writeRecording(m_dir.path() + "/rec", 1, 10, 0, 0, 20.0);
    QVERIFY(!strPath.isEmpty());
    CPlayManage* pManage = CPlayManage::instance();
    m_pBox->onActive(1, false);
    m_pBox->onPlayRecord(strPath, false);
    QTRY_VERIFY(pManage->IsPlaying(1));
    CVideoFrame* pFrame = m_pBox->videoWnd(1)->frame();
    QTRY_VERIFY_WITH_TIMEOUT(!pFrame->currentImage().isNull(), 10000);

    // The poll brings the buttons and the slider up to date.
    QSignalSpy select(m_pBox, &CDisplayBox::selectRecord);
    m_pBox->pollStatus();
    QCOMPARE(m_pBox->buttonIcon(1), QString("Pause"));
    QVERIFY(m_pBox->slider()->isEnabled());
    QVERIFY(!m_pBox->indexNotice()->isVisible());
    m_pBox->onActive(1, true);
    QCOMPARE(select.count(), 1);
    QCOMPARE(select.last().at(0).toString(), strPath);

    // Fast goes through the button group to the active window's channel.
    m_pBox->controlButton(3)->click();
    QCOMPARE(pManage->GetSpeed(1), 6);
    m_pBox->pollStatus();
    QCOMPARE(m_pBox->buttonIcon(3), QString("Fast_2X_"));
    m_pBox->controlButton(2)->click();
    QCOMPARE(pManage->GetSpeed(1), 5);

    // The menu of a playing window.
    QScopedPointer<QMenu> pMenu(m_pBox->createContextMenu());
    QCOMPARE(actionTexts(pMenu->actions()), QStringList({"Window 2", "Close", "Close All", "Catch Picture", "Audio",
                                                         "Record", "Range", "Video Split"}));

    // Range: the window takes drags; the outline is painted over the video.
    m_pBox->LocalRange();
    QVERIFY(m_pBox->videoWnd(1)->regionMode());
    void* hwnd = reinterpret_cast<void*>(quintptr(m_pBox->videoWnd(1)->videoHandle()));
    // Paused, the picture stands still: the outline is drawn over it and
    // leaves the inside as it was.
    m_pBox->controlButton(1)->click();
    QCOMPARE(pManage->GetPlayStatus(1), 2);
    QTest::qWait(300);
    const QImage before = pFrame->grab().toImage();
    m_pBox->slot_RectanglePoint(hwnd, QPoint(20, 20), QPoint(120, 80));
    const QImage shot = pFrame->grab().toImage();
    QVERIFY(redPixels(shot, 20, 20, 120) > 90);
    QVERIFY(redPixels(shot, 80, 20, 120) > 90);
    QVERIFY(redPixels(before, 20, 20, 120) < 90);
    for (int x = 40; x < 100; ++x)
        QCOMPARE(shot.pixel(x, 50), before.pixel(x, 50));
    m_pBox->slot_RectanglePoint(hwnd, QPoint(0, 0), QPoint(0, 0));
    QVERIFY(redPixels(pFrame->grab().toImage(), 20, 20, 120) < 90);
    m_pBox->controlButton(1)->click();
    QCOMPARE(pManage->GetPlayStatus(1), 1);
    // A selection zooms the playing window and is stored.
    m_pBox->slot_SelectRegion(hwnd, QPoint(0, 0), QPoint(pFrame->width() / 2, pFrame->height() / 2), 176, 144);
    QVERIFY(pManage->IsRegionOn(1));
    QVERIFY(!m_pBox->videoWnd(1)->zoomRegion().isEmpty());
    // Range again: back to the whole picture.
    m_pBox->LocalRange();
    QVERIFY(!m_pBox->videoWnd(1)->regionMode());
    QVERIFY(m_pBox->videoWnd(1)->zoomRegion().isNull());

    // A release past the slider's end seeks to its end, and the slider
    // holds that place instead of following playback.
    QSlider* pSlider = m_pBox->slider();
    sendMouse(pSlider, QEvent::MouseButtonPress, QPoint(pSlider->width() / 2, 5), Qt::LeftButton);
    QVERIFY(!m_pBox->sliderFollowsPlayback());
    sendMouse(pSlider, QEvent::MouseButtonRelease, QPoint(-300, 5), Qt::LeftButton);
    QCOMPARE(pSlider->value(), 0);
    sendMouse(pSlider, QEvent::MouseButtonPress, QPoint(pSlider->width() / 2, 5), Qt::LeftButton);
    sendMouse(pSlider, QEvent::MouseButtonRelease, QPoint(pSlider->width() * 3, 5), Qt::LeftButton);
    QCOMPARE(pSlider->value(), 1000);
    QVERIFY(!m_pBox->sliderFollowsPlayback());
    m_pBox->pollStatus();
    QCOMPARE(pSlider->value(), 1000);
    // After the hold the slider follows playback again.
    QTRY_VERIFY_WITH_TIMEOUT(m_pBox->sliderFollowsPlayback(), CDisplayBox::SeekHoldMs + 2000);

    // Stop: the window closes and the buttons follow at the next poll.
    m_pBox->controlButton(0)->click();
    QTRY_VERIFY(!pManage->IsPlaying(1));
    m_pBox->pollStatus();
    QCOMPARE(m_pBox->buttonIcon(1), QString("Play"));
    QVERIFY(!m_pBox->slider()->isEnabled());

    // Play on an idle window asks the record list for its selection.
    QSignalSpy request(m_pBox, &CDisplayBox::playRecordRequest);
    m_pBox->controlButton(1)->click();
    QCOMPARE(request.count(), 1);
}

void TestDisplayBox::syncPlayStartsQueuedWindowsAndStopEndsThemAll()
{
    CPlayManage* pManage = CPlayManage::instance();
    CGlobalAppData* pData = CGlobalAppData::instance();
    const QString strCh0 = playtest::writeRecording(m_dir.path() + "/sync", 0, 11, 0, 0, 20.0);
    const QString strCh1 = playtest::writeRecording(m_dir.path() + "/sync", 1, 11, 0, 0, 20.0);
    const QString strNext = playtest::writeRecording(m_dir.path() + "/sync", 1, 11, 30, 0, 5.0);
    QVERIFY(!strCh0.isEmpty() && !strCh1.isEmpty() && !strNext.isEmpty());
    {
        std::lock_guard<std::mutex> lock(pData->syncQueueLock);
        pData->syncQueue.clear();
        pData->syncQueue[0] = QStringList{strCh0};
        pData->syncQueue[1] = QStringList{strCh1, strNext};
        pData->syncQueue[3] = QStringList();
    }
    pData->earliestSyncWindow = 5;
    m_pBox->onSyncPlay(11 * 3600 + 2);
    QVERIFY(pData->earliestSyncWindow.load() != 5);  // reset when the sync play started
    QTRY_VERIFY(pManage->IsPlaying(0) && pManage->IsPlaying(1));
    QVERIFY(pManage->IsSync(0));
    QVERIFY(pManage->IsSync(1));
    QVERIFY(!pManage->IsPlaying(3));
    QCOMPARE(pManage->GetPlayFile(1), strCh1);
    {
        std::lock_guard<std::mutex> lock(pData->syncQueueLock);
        QCOMPARE(pData->syncQueue.value(1), QStringList{strNext});
    }

    // The record list points at a playing recording: its window becomes
    // active without announcing it back.
    QSignalSpy select(m_pBox, &CDisplayBox::selectRecord);
    m_pBox->onSelectVideoWnd(strCh1);
    QCOMPARE(m_pBox->activeWindow(), 1);
    QCOMPARE(select.count(), 0);

    // Nothing else plays while windows are in sync play.
    m_pBox->onActive(2, false);
    m_pBox->onPlayRecord(strCh0, false);
    QVERIFY(!pManage->IsPlaying(2));

    // Stop on a sync window clears the queue and closes every window.
    m_pBox->onActive(1, false);
    m_pBox->controlButton(0)->click();
    QTRY_VERIFY(!pManage->IsPlaying(0) && !pManage->IsPlaying(1));
    std::lock_guard<std::mutex> lock(pData->syncQueueLock);
    QVERIFY(pData->syncQueue.isEmpty());
}

void TestDisplayBox::syncWindowShownAloneFillsTheFrameAndKeepsPlaying()
{
    CPlayManage* pManage = CPlayManage::instance();
    CGlobalAppData* pData = CGlobalAppData::instance();
    const QString strCh0 = playtest::writeRecording(m_dir.path() + "/single", 0, 12, 0, 0, 30.0);
    const QString strCh1 = playtest::writeRecording(m_dir.path() + "/single", 1, 12, 0, 0, 30.0);
    QVERIFY(!strCh0.isEmpty() && !strCh1.isEmpty());
    {
        std::lock_guard<std::mutex> lock(pData->syncQueueLock);
        pData->syncQueue.clear();
        pData->syncQueue[0] = QStringList{strCh0};
        pData->syncQueue[1] = QStringList{strCh1};
    }
    m_pBox->onChangeWndMode(2);
    m_pBox->onSyncPlay(12 * 3600);
    QTRY_VERIFY(pManage->IsPlaying(0) && pManage->IsPlaying(1));
    CVideoFrame* pFrame = m_pBox->videoWnd(1)->frame();
    QTRY_VERIFY_WITH_TIMEOUT(!pFrame->currentImage().isNull(), 10000);
    QApplication::processEvents();
    const QVector<QRect> before = windowPlaces(m_pBox);

    QTest::mouseDClick(pFrame, Qt::LeftButton);
    QVERIFY(m_pBox->singleView());
    QTRY_COMPARE(m_pBox->videoWnd(1)->geometry(), gridArea(m_pBox));
    // Both channels go on in step; the shown one paints its picture over the
    // whole enlarged frame.
    QVERIFY(pManage->IsSync(0) && pManage->IsSync(1));
    QVERIFY(pManage->IsPlaying(0));
    const quint64 nPictures = pFrame->pictureCount();
    QTRY_VERIFY(pFrame->pictureCount() > nPictures + 3);
    const QImage shot = pFrame->grab().toImage();
    QCOMPARE(shot.size(), pFrame->size());
    QVERIFY(shot.width() > before.at(1).width() * 3 / 2);
    // Picture, not black border, along all four edges.
    auto brightOnLine = [&shot](QPoint from, QPoint step, int n) {
        int bright = 0;
        for (int i = 0; i < n; ++i, from += step)
            bright += qGray(shot.pixel(from)) > 80 ? 1 : 0;
        return bright;
    };
    const int w = shot.width();
    const int h = shot.height();
    QVERIFY(brightOnLine(QPoint(0, 2), QPoint(1, 0), w) > w / 4);
    QVERIFY(brightOnLine(QPoint(0, h - 3), QPoint(1, 0), w) > w / 4);
    QVERIFY(brightOnLine(QPoint(2, 0), QPoint(0, 1), h) > h / 4);
    QVERIFY(brightOnLine(QPoint(w - 3, 0), QPoint(0, 1), h) > h / 4);

    QTest::mouseDClick(pFrame, Qt::LeftButton);
    QVERIFY(!m_pBox->singleView());
    QTRY_COMPARE(windowPlaces(m_pBox), before);
    QVERIFY(pManage->IsSync(0) && pManage->IsSync(1));
    QVERIFY(pManage->IsPlaying(0) && pManage->IsPlaying(1));
}

void TestDisplayBox::noticesTellWhatSoundAndCaptureCouldNotDo()
{
    const QString strPath = playtest::writeRecording(m_dir.path() + "/notice", 2, 9, 0, 0, 20.0);
    QVERIFY(!strPath.isEmpty());
    CPlayManage* pManage = CPlayManage::instance();
    m_pBox->onActive(2, false);
    m_pBox->onPlayRecord(strPath, false);
    QTRY_VERIFY(pManage->IsPlaying(2));
    QTRY_VERIFY_WITH_TIMEOUT(!m_pBox->videoWnd(2)->frame()->currentImage().isNull(), 10000);

    // Every text shown starts the notice's fade.
    FancyMessageBox* pNotice = FancyMessageBox::instance();
    qRegisterMetaType<QAbstractAnimation::State>();
    QSignalSpy fades(pNotice->animation(), &QAbstractAnimation::stateChanged);
    auto noticesShown = [&fades] {
        int n = 0;
        for (const QList<QVariant>& args : fades)
            n += args.at(0).value<QAbstractAnimation::State>() == QAbstractAnimation::Running ? 1 : 0;
        return n;
    };

    // Audio without a sound device: the button shows AudioOn as the channel's
    // flag says, and the user is told once.
    m_pBox->pollStatus();
    QVERIFY(m_pBox->controlButton(5)->isEnabled());
    m_pBox->controlButton(5)->click();
    QVERIFY(pManage->IsSoundOn(2));
    QCOMPARE(m_pBox->buttonIcon(5), QString("AudioOn"));
    QCOMPARE(noticesShown(), 1);
    QCOMPARE(pNotice->text(), QString("Sound output is not available"));
    // Neither the poll nor a seek (a new port, which tries the sound again)
    // repeats the notice.
    m_pBox->pollStatus();
    QVERIFY(pManage->SetPlayPos(2, 0.5f));
    QTest::qWait(300);
    m_pBox->pollStatus();
    QCOMPARE(m_pBox->buttonIcon(5), QString("AudioOn"));
    QCOMPARE(noticesShown(), 1);
    // Audio again switches it off, silently.
    m_pBox->controlButton(5)->click();
    QVERIFY(!pManage->IsSoundOn(2));
    QCOMPARE(m_pBox->buttonIcon(5), QString("AudioOff"));
    QCOMPARE(noticesShown(), 1);

    // A picture taken where no viewer can be started (offscreen): the notice
    // names the file written.
    const QString strFolder = m_dir.path() + "/captures";
    QVERIFY(QDir().mkpath(strFolder));
    CGlobalAppData::instance()->capturePath = strFolder;
    QScopedPointer<QMenu> pMenu(m_pBox->createContextMenu());
    QAction* pCatch = nullptr;
    for (QAction* pAction : pMenu->actions())
        if (pAction->data().toInt() == CDisplayBox::MenuCatchPicture && !pAction->isSeparator())
            pCatch = pAction;
    QVERIFY(pCatch);
    m_pBox->onMenuTriggered(pCatch);
    const QStringList files = QDir(strFolder).entryList({"*.jpg"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QCOMPARE(noticesShown(), 2);
    QCOMPARE(pNotice->text(), QString("Picture saved as %1").arg(QDir::toNativeSeparators(strFolder + "/" + files[0])));
    QVERIFY(!QImage(strFolder + "/" + files[0]).isNull());
}

QTEST_MAIN(TestDisplayBox)
#include "tst_displaybox.moc"
