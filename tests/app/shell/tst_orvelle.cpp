// The main window: its parts and size, centring, and the close
// question - "No" keeps the window and its playback running, "Yes" closes.

#include "app/display/DisplayBox.h"
#include "app/play/PlayManage.h"
#include "app/records/RecordListManage.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/Orvelle.h"
#include "app/shell/TitleWidget.h"
#include "tests/app/play/PlayTestSupport.h"

#include <QApplication>
#include <QGridLayout>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Answers the next modal message box with the button of the given index
// and records its text.
void answerNextBox(int nButton, QString* pText)
{
    QTimer::singleShot(0, [nButton, pText]() {
        auto* pBox = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
        if (!pBox) {
            answerNextBox(nButton, pText);
            return;
        }
        *pText = pBox->text();
        pBox->buttons().at(nButton)->click();
    });
}

}  // namespace

class TestOrvelle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void windowHoldsTitleListAndGrid();
    void windowIsCentredOnItsScreen();
    void closeAsksAndNoKeepsPlaying();

private:
    QTemporaryDir m_dir;
};

void TestOrvelle::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance();
}

void TestOrvelle::cleanupTestCase()
{
    CPlayManage::release();
    CGlobalAppData::release();
}

void TestOrvelle::windowHoldsTitleListAndGrid()
{
    COrvelle w;
    QCOMPARE(w.objectName(), QString("COrvelle"));
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w.size(), QSize(1080, 720));
    auto* pGrid = qobject_cast<QGridLayout*>(w.layout());
    QVERIFY(pGrid);
    QCOMPARE(pGrid->contentsMargins(), QMargins(0, 0, 0, 0));
    int r, c, rs, cs;
    pGrid->getItemPosition(pGrid->indexOf(w.titleWidget()), &r, &c, &rs, &cs);
    QCOMPARE(QVector<int>({r, c, rs, cs}), QVector<int>({0, 0, 1, 4}));
    pGrid->getItemPosition(pGrid->indexOf(w.recordList()), &r, &c, &rs, &cs);
    QCOMPARE(QVector<int>({r, c, rs, cs}), QVector<int>({1, 0, 1, 1}));
    pGrid->getItemPosition(pGrid->indexOf(w.displayBox()), &r, &c, &rs, &cs);
    QCOMPARE(QVector<int>({r, c, rs, cs}), QVector<int>({1, 1, 1, 3}));

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.titleWidget()->height(), 36);
    QCOMPARE(w.recordList()->width(), 220);
    QCOMPARE(w.displayBox()->width(), 1080 - 220);
    QCOMPARE(w.titleWidget()->objectName(), QString("TitleWidget"));
}

void TestOrvelle::windowIsCentredOnItsScreen()
{
    QCOMPARE(COrvelle::centredPosition(QRect(0, 0, 1920, 1080), QSize(1080, 720)), QPoint(420, 180));
    QCOMPARE(COrvelle::centredPosition(QRect(1920, 0, 1280, 1024), QSize(1080, 720)), QPoint(2020, 152));
    COrvelle w;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(w.pos(), COrvelle::centredPosition(screen, QSize(1080, 720)));
}

void TestOrvelle::closeAsksAndNoKeepsPlaying()
{
    const QString strPath = playtest::writeRecording(m_dir.path() + "/rec", 0, 9, 0, 0, 20.0);
    QVERIFY(!strPath.isEmpty());
    COrvelle w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.displayBox()->onPlayRecord(strPath, false);
    QTRY_VERIFY(CPlayManage::instance()->IsPlaying(0));

    // The title bar's close asks; "No" keeps the window and the playback.
    QString strAsked;
    answerNextBox(1, &strAsked);
    w.titleWidget()->closeButton()->click();
    QCOMPARE(strAsked, QString("Do you want to close?"));
    QVERIFY(w.isVisible());
    QVERIFY(CPlayManage::instance()->IsPlaying(0));
    QCOMPARE(CPlayManage::instance()->GetPlayFile(0), strPath);

    // "Yes" lets the window close.
    answerNextBox(0, &strAsked);
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    CPlayManage::instance()->Stop(0);
}

QTEST_MAIN(TestOrvelle)
#include "tst_orvelle.moc"
