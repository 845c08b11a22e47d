// The skin built beside the programs: every image the program names exists,
// has the size its widget expects and shows its states differently; every
// picture the style sheet names exists; the licence texts are there.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <QTextStream>

namespace {

QString skinDir()
{
    return QString(ORVELLE_BINARY_DIR) + "/skin";
}

// Share of pixels whose colour differs noticeably between two images.
double differingShare(const QImage& a, const QImage& b)
{
    int differ = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            if (qAbs(p.red() - q.red()) + qAbs(p.green() - q.green()) + qAbs(p.blue() - q.blue())
                    + qAbs(p.alpha() - q.alpha()) > 40)
                ++differ;
        }
    }
    return double(differ) / (a.width() * a.height());
}

// Mean brightness of the visible pixels.
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

}  // namespace

class TestSkin : public QObject
{
    Q_OBJECT

private slots:
    void playButtonsHaveThreeDistinctStates_data();
    void playButtonsHaveThreeDistinctStates();
    void namedIconsExist_data();
    void namedIconsExist();
    void styleSheetPicturesExist();
    void licenceTextsAndAgreementAreBesideThePrograms();
};

void TestSkin::playButtonsHaveThreeDistinctStates_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"Stop", "Play", "Pause", "Slow", "Fast", "NextFrame", "AudioOff",
                             "AudioOn", "Fast_2X_", "Fast_4X_", "Fast_8X_", "Fast_16X_",
                             "Slow_1_2X_", "Slow_1_4X_", "Slow_1_8X_", "Slow_1_16X_"})
        QTest::newRow(name) << QString(name);
}

void TestSkin::playButtonsHaveThreeDistinctStates()
{
    QFETCH(QString, name);
    QImage states[3];
    const char* suffix[] = {"Normal", "Hover", "Dis"};
    for (int i = 0; i < 3; ++i) {
        const QString path = QString("%1/buttons/%2%3.png").arg(skinDir(), name, suffix[i]);
        QVERIFY2(states[i].load(path), qPrintable(path));
        QCOMPARE(states[i].size(), QSize(40, 40));
    }
    QVERIFY2(differingShare(states[0], states[1]) > 0.2, "hover differs visibly from normal");
    QVERIFY2(differingShare(states[0], states[2]) > 0.05, "disabled differs visibly from normal");
    QVERIFY2(brightness(states[2]) < brightness(states[0]), "disabled is greyed down");
}

void TestSkin::namedIconsExist_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("hasHover");
    const QSize any(0, 0);
    QTest::newRow("logo") << "logo" << any << false;
    QTest::newRow("StartLogo") << "StartLogo" << any << false;
    QTest::newRow("mainLogo") << "mainLogo" << any << false;
    for (const char* name : {"sys_cfg", "sys_min", "sys_max", "sys_normal", "sys_cls"})
        QTest::newRow(name) << name << QSize(20, 20) << true;
    for (const char* name : {"ArrowUp", "ArrowDown", "ArrowRight", "ArrowLeft"})
        QTest::newRow(name) << name << QSize(18, 18) << true;
    for (const char* name : {"Disk", "Dir", "File"})
        QTest::newRow(name) << name << QSize(16, 16) << false;
    for (const char* name : {"msg_info", "msg_warn", "msg_question"})
        QTest::newRow(name) << name << QSize(32, 32) << false;
}

void TestSkin::namedIconsExist()
{
    QFETCH(QString, file);
    QFETCH(QSize, size);
    QFETCH(bool, hasHover);
    QImage normal;
    QVERIFY2(normal.load(skinDir() + "/icons/" + file + ".png"), qPrintable(file));
    if (size.isValid() && !size.isEmpty())
        QCOMPARE(normal.size(), size);
    if (hasHover) {
        QImage hover;
        QVERIFY(hover.load(skinDir() + "/icons/" + file + "_hover.png"));
        QVERIFY(differingShare(normal, hover) > 0.1);
    }
}

void TestSkin::styleSheetPicturesExist()
{
    QFile file(skinDir() + "/style.ss");
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString sheet = QTextStream(&file).readAll();
    QVERIFY(sheet.contains("@skinpath"));
    QRegularExpressionMatchIterator it =
        QRegularExpression("url\\(([^)]*)\\)").globalMatch(sheet);
    int urls = 0;
    while (it.hasNext()) {
        QString url = it.next().captured(1);
        QVERIFY2(url.startsWith("@skinpath/"), qPrintable(url + " is not inside the skin"));
        url.replace("@skinpath", skinDir());
        QVERIFY2(QFile::exists(url), qPrintable(url));
        ++urls;
    }
    QVERIFY(urls > 0);
    // Balanced braces: a broken sheet is dropped by Qt as a whole.
    QCOMPARE(sheet.count('{'), sheet.count('}'));
}

void TestSkin::licenceTextsAndAgreementAreBesideThePrograms()
{
    const QString root = QString(ORVELLE_BINARY_DIR);
    for (const char* name : {"LGPL-3.0.txt", "LGPL-2.1.txt", "GPL-2.0.txt", "JsonCpp-MIT.txt",
                             "README.txt"})
        QVERIFY2(QFileInfo(root + "/license/" + name).size() > 500, name);
    QFile agreement(root + "/copyright/copyright_zh.txt");
    QVERIFY(agreement.open(QIODevice::ReadOnly));
    const QByteArray bytes = agreement.readAll();
    const QString text = QString::fromUtf8(bytes);
    QCOMPARE(text.toUtf8(), bytes);   // valid UTF-8
    QVERIFY(text.contains(QString::fromUtf8("服务协议")));
}

QTEST_GUILESS_MAIN(TestSkin)
#include "tst_skin.moc"
