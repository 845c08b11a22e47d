// The modal message box (buttons, answers, frameless look) and the shared
// notice box (size, fade, hiding, texts from other threads, painting).

#include "app/shell/FancyMessageBox.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/TitleWidget.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>

namespace {

// Runs an action on the box once it is shown modally.
void whenShown(std::function<void(CMessageBox*)> action)
{
    QTimer::singleShot(0, [action]() {
        auto* box = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            // Not up yet: try again on the next turn of the event loop.
            whenShown(action);
            return;
        }
        action(box);
    });
}

}  // namespace

class TestMessageBoxes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void buttonsComeInOrderAndAnswerTheirIndex_data();
    void buttonsComeInOrderAndAnswerTheirIndex();
    void emptyFirstButtonIsOkAndExtraButtonsAreDropped();
    void closingWithoutAButtonAnswersMinusOne();

    void noticeSizesToTextAndFadesOut();
    void newTextRestartsTheFade();
    void textsFromOtherThreadsArriveOnTheGuiThread();
    void noticePaintsGreyGradientWithBorder();

private:
    QTemporaryDir m_dir;
};

void TestMessageBoxes::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
}

void TestMessageBoxes::cleanupTestCase()
{
    CGlobalAppData::release();
}

void TestMessageBoxes::buttonsComeInOrderAndAnswerTheirIndex_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("click");
    QTest::newRow("one") << QStringList{"OK"} << 0;
    QTest::newRow("first of two") << QStringList{"Yes", "No"} << 0;
    QTest::newRow("second of two") << QStringList{"Yes", "No"} << 1;
    QTest::newRow("third of three") << QStringList{"Restart", "Later", "Never"} << 2;
}

void TestMessageBoxes::buttonsComeInOrderAndAnswerTheirIndex()
{
    QFETCH(QStringList, texts);
    QFETCH(int, click);
    QStringList seen;
    QStringList names;
    whenShown([&](CMessageBox* box) {
        for (QPushButton* b : box->buttons()) {
            seen << b->text();
            names << b->objectName();
        }
        QTest::mouseClick(box->buttons().at(click), Qt::LeftButton);
    });
    CMessageBox box(nullptr, CMessageBox::Question, "Prompt", "Do you want to close?", texts);
    QCOMPARE(box.exec(), click);
    QCOMPARE(seen, texts);
    QCOMPARE(names, QStringList(QVector<QString>(texts.size(), "NormalToolButton").toList()));
}

void TestMessageBoxes::emptyFirstButtonIsOkAndExtraButtonsAreDropped()
{
    CMessageBox plain(nullptr, CMessageBox::Information, "Prompt", "Done");
    QCOMPARE(plain.buttons().size(), 1);
    QCOMPARE(plain.buttons().first()->text(), QString("OK"));

    CMessageBox many(nullptr, CMessageBox::Warning, "Prompt", "x", {"", "B", "C", "D"});
    QCOMPARE(many.buttons().size(), CMessageBox::kMaxButtons);
    QCOMPARE(many.buttons().first()->text(), QString("OK"));

    // A blank middle button keeps the third button's index.
    int answer = -2;
    whenShown([](CMessageBox* box) { QTest::mouseClick(box->buttons().at(2), Qt::LeftButton); });
    answer = CMessageBox::information(nullptr, "Prompt", "x", "A", QString(), "C");
    QCOMPARE(answer, 2);

    whenShown([](CMessageBox* box) { QTest::mouseClick(box->buttons().at(0), Qt::LeftButton); });
    QCOMPARE(CMessageBox::warning(nullptr, "Disk Info", "x"), 0);
}

void TestMessageBoxes::closingWithoutAButtonAnswersMinusOne()
{
    QString title;
    whenShown([&title](CMessageBox* box) {
        auto* bar = box->findChild<CTitleWidget*>();
        QVERIFY(bar);
        QVERIFY(box->windowFlags() & Qt::FramelessWindowHint);
        title = bar->title();
        QTest::mouseClick(bar->closeButton(), Qt::LeftButton);
    });
    QCOMPARE(CMessageBox::question(nullptr, "Prompt", "Close?", "Yes", "No"), -1);
    QCOMPARE(title, QString("Prompt"));

    whenShown([](CMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(CMessageBox::question(nullptr, "Prompt", "Close?", "Yes", "No"), -1);
}

void TestMessageBoxes::noticeSizesToTextAndFadesOut()
{
    FancyMessageBox box;
    QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(box.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(box.testAttribute(Qt::WA_TranslucentBackground));

    const QString text = "Please stop sync playback first";
    box.showText(text);
    QVERIFY(box.isVisible());
    QCOMPARE(box.text(), text);
    QCOMPARE(box.height(), 50);
    QVERIFY(box.font().bold());
    QCOMPARE(box.font().pointSize(), 10);
    QCOMPARE(box.width(), QFontMetrics(box.font()).horizontalAdvance(text) + 20);

    QPropertyAnimation* animation = box.animation();
    QCOMPARE(animation->duration(), 3000);
    QCOMPARE(animation->state(), QAbstractAnimation::Running);
    animation->setCurrentTime(0);
    QCOMPARE(box.opacity(), 0.0);
    animation->setCurrentTime(1200);
    QCOMPARE(box.opacity(), 1.0);
    animation->setCurrentTime(2000);
    QCOMPARE(box.opacity(), 1.0);
    animation->setCurrentTime(2850);
    QVERIFY(box.opacity() > 0.0 && box.opacity() < 1.0);
    animation->setCurrentTime(3000);
    QVERIFY2(!box.isVisible(), "the box hides when the fade has ended");
}

void TestMessageBoxes::newTextRestartsTheFade()
{
    FancyMessageBox box;
    box.showText("first");
    box.animation()->setCurrentTime(2500);
    box.showText("a second, much longer notice");
    QCOMPARE(box.text(), QString("a second, much longer notice"));
    QVERIFY(box.animation()->currentTime() < 500);
    QCOMPARE(box.animation()->state(), QAbstractAnimation::Running);
    QVERIFY(box.isVisible());
}

void TestMessageBoxes::textsFromOtherThreadsArriveOnTheGuiThread()
{
    FancyMessageBox box;
    QThread* worker = QThread::create([&box]() { box.showText("from a worker"); });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QVERIFY2(box.text().isEmpty(), "nothing is touched on the worker thread");
    QTRY_COMPARE(box.text(), QString("from a worker"));
    QVERIFY(box.isVisible());

    // The shared box, reached from a worker without blocking it.
    FancyMessageBox* shared = FancyMessageBox::instance();
    QCOMPARE(FancyMessageBox::instance(), shared);
    worker = QThread::create([]() { FancyMessageBox::message("shared notice"); });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QTRY_COMPARE(shared->text(), QString("shared notice"));
    QCOMPARE(shared->thread(), QApplication::instance()->thread());
    delete shared;
}

void TestMessageBoxes::noticePaintsGreyGradientWithBorder()
{
    FancyMessageBox box;
    box.showText("W");
    box.animation()->setCurrentTime(1500);   // fully opaque
    box.animation()->pause();
    const QImage image = box.grab().toImage();
    QCOMPARE(image.height(), 50);
    const QColor border = image.pixelColor(0, 25);
    QCOMPARE(border.red(), 127);
    const QColor top = image.pixelColor(2, 2);
    const QColor bottom = image.pixelColor(2, 47);
    QVERIFY2(qAbs(top.red() - 86) <= 4, qPrintable(QString::number(top.red())));
    QVERIFY2(qAbs(bottom.red() - 48) <= 4, qPrintable(QString::number(bottom.red())));
    QCOMPARE(top.red(), top.blue());
    // The text is drawn in light grey somewhere in the middle.
    int lightest = 0;
    for (int x = 0; x < image.width(); ++x)
        lightest = qMax(lightest, image.pixelColor(x, 25).red());
    QVERIFY(lightest > 180);
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_messagebox.moc"
