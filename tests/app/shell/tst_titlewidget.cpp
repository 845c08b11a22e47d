// The frameless windows' title bar: its buttons and their looks, the close
// and configuration signals, maximise and restore, dragging.

#include "app/shell/GlobalAppData.h"
#include "app/shell/TitleWidget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

struct Window
{
    QWidget widget;
    CTitleWidget* title;

    explicit Window(bool bMain)
    {
        widget.setWindowFlags(Qt::FramelessWindowHint);
        auto* layout = new QVBoxLayout(&widget);
        layout->setContentsMargins(0, 0, 0, 0);
        title = new CTitleWidget(&widget, bMain, &widget);
        layout->addWidget(title);
        layout->addStretch(1);
        widget.setGeometry(100, 80, 400, 300);
        widget.show();
    }
};

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& local, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

class TestTitleWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void mainWindowBarHasFourSkinnedButtons();
    void dialogBarHasOnlyClose();
    void buttonsEmitTheirSignals();
    void maximiseFillsTheScreenAndRestores();
    void doubleClickTogglesOnlyInTheMainWindow();
    void draggingMovesTheWindowButNotWhenMaximised();

private:
    QTemporaryDir m_dir;
};

void TestTitleWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
}

void TestTitleWidget::cleanupTestCase()
{
    CGlobalAppData::release();
}

void TestTitleWidget::mainWindowBarHasFourSkinnedButtons()
{
    Window w(true);
    QCOMPARE(w.title->objectName(), QString("TitleWidget"));
    QCOMPARE(w.title->height(), 36);
    const QList<QPair<QPushButton*, QString>> expected = {
        {w.title->configButton(), "SysCfg"}, {w.title->minButton(), "SysMin"},
        {w.title->maxButton(), "SysMax"}, {w.title->closeButton(), "SysCls"}};
    const QStringList tips = {"Config", "Min", "Max", "Close"};
    const QStringList icons = {"sys_cfg", "sys_min", "sys_max", "sys_cls"};
    for (int i = 0; i < expected.size(); ++i) {
        QPushButton* button = expected[i].first;
        QVERIFY(button);
        QVERIFY(button->isVisible());
        QCOMPARE(button->objectName(), expected[i].second);
        QCOMPARE(button->size(), QSize(20, 20));
        QCOMPARE(button->toolTip(), tips[i]);
        // Looks come from the skin beside the executable, not the working folder.
        QVERIFY(button->styleSheet().contains(
            QString("url(%1/skin/icons/%2_hover.png)").arg(m_dir.path(), icons[i])));
    }
    // Buttons sit in the order configuration, minimise, maximise, close.
    QVERIFY(w.title->configButton()->x() < w.title->minButton()->x());
    QVERIFY(w.title->minButton()->x() < w.title->maxButton()->x());
    QVERIFY(w.title->maxButton()->x() < w.title->closeButton()->x());
}

void TestTitleWidget::dialogBarHasOnlyClose()
{
    Window w(false);
    QCOMPARE(w.title->objectName(), QString("SubTitleWidget"));
    QVERIFY(!w.title->configButton());
    QVERIFY(!w.title->minButton());
    QVERIFY(!w.title->maxButton());
    QVERIFY(w.title->closeButton()->isVisible());
    QCOMPARE(w.title->findChildren<QPushButton*>().size(), 1);
    w.title->setTitle("Service Agreements");
    QCOMPARE(w.title->title(), QString("Service Agreements"));
}

void TestTitleWidget::buttonsEmitTheirSignals()
{
    Window w(true);
    QSignalSpy closed(w.title, &CTitleWidget::closeSignal);
    QSignalSpy config(w.title, &CTitleWidget::configSignal);
    QTest::mouseClick(w.title->closeButton(), Qt::LeftButton);
    QTest::mouseClick(w.title->configButton(), Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(config.count(), 1);
    QVERIFY2(w.widget.isVisible(), "the bar only reports; the window decides");
}

void TestTitleWidget::maximiseFillsTheScreenAndRestores()
{
    Window w(true);
    const QRect normal = w.widget.geometry();
    const QRect available = w.widget.screen()->availableGeometry();
    QVERIFY(normal != available);

    QTest::mouseClick(w.title->maxButton(), Qt::LeftButton);
    QVERIFY(w.title->isMaximized());
    QCOMPARE(w.widget.geometry(), available);
    QCOMPARE(w.title->maxButton()->objectName(), QString("SysNormal"));
    QCOMPARE(w.title->maxButton()->toolTip(), QString("Normal"));
    QVERIFY(w.title->maxButton()->styleSheet().contains("/skin/icons/sys_normal.png"));

    QTest::mouseClick(w.title->maxButton(), Qt::LeftButton);
    QVERIFY(!w.title->isMaximized());
    QCOMPARE(w.widget.geometry(), normal);
    QCOMPARE(w.title->maxButton()->objectName(), QString("SysMax"));
    QCOMPARE(w.title->maxButton()->toolTip(), QString("Max"));
}

void TestTitleWidget::doubleClickTogglesOnlyInTheMainWindow()
{
    Window mainWindow(true);
    QTest::mouseDClick(mainWindow.title, Qt::LeftButton, Qt::NoModifier, QPoint(150, 18));
    QVERIFY(mainWindow.title->isMaximized());
    QTest::mouseDClick(mainWindow.title, Qt::LeftButton, Qt::NoModifier, QPoint(150, 18));
    QVERIFY(!mainWindow.title->isMaximized());

    Window dialog(false);
    const QRect before = dialog.widget.geometry();
    QTest::mouseDClick(dialog.title, Qt::LeftButton, Qt::NoModifier, QPoint(150, 18));
    QVERIFY(!dialog.title->isMaximized());
    QCOMPARE(dialog.widget.geometry(), before);
}

void TestTitleWidget::draggingMovesTheWindowButNotWhenMaximised()
{
    Window w(true);
    const QPoint start = w.widget.pos();
    sendMouse(w.title, QEvent::MouseButtonPress, QPoint(50, 10), Qt::LeftButton, Qt::LeftButton);
    sendMouse(w.title, QEvent::MouseMove, QPoint(80, 30), Qt::NoButton, Qt::LeftButton);
    sendMouse(w.title, QEvent::MouseButtonRelease, QPoint(80, 30), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(w.widget.pos(), start + QPoint(30, 20));

    // Moving without a pressed button does nothing.
    const QPoint after = w.widget.pos();
    sendMouse(w.title, QEvent::MouseMove, QPoint(10, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w.widget.pos(), after);

    w.title->onToggleMaximize();
    const QRect maximised = w.widget.geometry();
    sendMouse(w.title, QEvent::MouseButtonPress, QPoint(50, 10), Qt::LeftButton, Qt::LeftButton);
    sendMouse(w.title, QEvent::MouseMove, QPoint(90, 40), Qt::NoButton, Qt::LeftButton);
    sendMouse(w.title, QEvent::MouseButtonRelease, QPoint(90, 40), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(w.widget.geometry(), maximised);
}

QTEST_MAIN(TestTitleWidget)
#include "tst_titlewidget.moc"
