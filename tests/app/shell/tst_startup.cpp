// Start-up pieces and the crash handler: the skin's style sheet with every
// "@skinpath" replaced, the translation chosen by the language setting, the
// disk images named on the command line, and crashing children (a bad
// pointer on a worker thread, an abort, a second crash) that leave a
// readable "CrashDumpFile.dmp" next to the executable and exit with -1.

#include "app/shell/CrashHandler.h"
#include "app/shell/StartUp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Child modes: the test program runs itself with one of these.
const char* const kCrashOnThread = "--crash-on-thread";
const char* const kAbort = "--crash-abort";

__attribute__((noinline)) void touchBadPointer()
{
    volatile int* p = reinterpret_cast<volatile int*>(quintptr(0x1234));
    *p = 7;
}

int runChild(const char* szMode)
{
    installCrashHandler(nullptr);
    if (std::strcmp(szMode, kCrashOnThread) == 0) {
        std::thread worker(touchBadPointer);
        worker.join();
    } else if (std::strcmp(szMode, kAbort) == 0) {
        std::abort();
    }
    return 3;  // not reached when the handler works
}

QString dumpPath()
{
    return QCoreApplication::applicationDirPath() + "/CrashDumpFile.dmp";
}

struct ChildResult
{
    QProcess::ExitStatus status;
    int nCode;
    QString strDump;
};

ChildResult crashChild(const char* szMode)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(szMode)});
    child.waitForFinished(30000);
    ChildResult result{child.exitStatus(), child.exitCode(), QString()};
    QFile dump(dumpPath());
    if (dump.open(QIODevice::ReadOnly))
        result.strDump = QString::fromLatin1(dump.readAll());
    return result;
}

void writeFile(const QString& strPath, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(strPath).absolutePath());
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

}  // namespace

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void styleSheetReplacesEverySkinPath();
    void missingStyleSheetIsEmpty();
    void languageChoosesTheTranslation();
    void shippedTranslationsLoad();
    void diskImagesComeFromTheCommandLine();
    void crashOnAThreadLeavesADumpAndExitsMinusOne();
    void secondCrashReplacesTheDump();
    void cleanupTestCase();
};

void TestStartUp::styleSheetReplacesEverySkinPath()
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/skin/style.ss",
              "QWidget{image:url(@skinpath/a.png);}\n#X{border-image:url(@skinpath/b.png);}\n"
              "/* @SkinPath @skinPATH stay */ #Y{image:url(@skinpath@skinpath);}");
    const QString strStyle = startup::loadStyleSheet(dir.path());
    const QString skin = dir.path() + "/skin";
    QCOMPARE(strStyle, QString("QWidget{image:url(%1/a.png);}\n#X{border-image:url(%1/b.png);}\n"
                               "/* @SkinPath @skinPATH stay */ #Y{image:url(%1%1);}")
                           .arg(skin));
}

void TestStartUp::missingStyleSheetIsEmpty()
{
    QTemporaryDir dir;
    QVERIFY(startup::loadStyleSheet(dir.path()).isEmpty());
    // The skin built beside the programs loads, with no placeholder left.
    const QString strStyle = startup::loadStyleSheet(ORVELLE_BINARY_DIR);
    QVERIFY(!strStyle.isEmpty());
    QVERIFY(!strStyle.contains("@skinpath"));
    QVERIFY(strStyle.contains(QString(ORVELLE_BINARY_DIR) + "/skin/icons/"));
}

void TestStartUp::languageChoosesTheTranslation()
{
    QCOMPARE(startup::translationFile("/opt/o", "SimpChinese"), QString("/opt/o/language/orvelle_zh.qm"));
    QCOMPARE(startup::translationFile("/opt/o", "Russian"), QString("/opt/o/language/orvelle_ru.qm"));
    QVERIFY(startup::translationFile("/opt/o", "English").isEmpty());
    QVERIFY(startup::translationFile("/opt/o", "simpchinese").isEmpty());
    QVERIFY(startup::translationFile("/opt/o", "").isEmpty());
}

void TestStartUp::shippedTranslationsLoad()
{
    const struct
    {
        const char* language;
        const char* context;
        const char* source;
    } cases[] = {{"SimpChinese", "CDisplayBox", "Single I frame playback"},
                 {"Russian", "CDisplayBox", "Single I frame playback"},
                 {"SimpChinese", "COrvelle", "Do you want to close"},
                 {"Russian", "CConfigDlg", "The change will take effect after a restart of Orvelle."}};
    for (const auto& c : cases) {
        QTranslator translator;
        QVERIFY(translator.load(startup::translationFile(ORVELLE_BINARY_DIR, c.language)));
        const QString strText = translator.translate(c.context, c.source);
        QVERIFY2(!strText.isEmpty() && strText != QLatin1String(c.source), c.source);
    }
}

void TestStartUp::diskImagesComeFromTheCommandLine()
{
    QCOMPARE(startup::diskImageArguments({"orvelle", "--disk-image", "/a.img", "-style", "fusion",
                                          "--disk-image=/b c.img", "--disk-image"}),
             QStringList({"/a.img", "/b c.img"}));
    QVERIFY(startup::diskImageArguments({"orvelle"}).isEmpty());
}

void TestStartUp::crashOnAThreadLeavesADumpAndExitsMinusOne()
{
    QFile::remove(dumpPath());
    const ChildResult r = crashChild(kCrashOnThread);
    QCOMPARE(r.status, QProcess::NormalExit);
    QCOMPARE(r.nCode, 255);  // -1
    QVERIFY2(r.strDump.contains("Signal: 11 SIGSEGV"), qPrintable(r.strDump));
    QVERIFY(r.strDump.contains("Faulting address: 0x1234\n"));
    QVERIFY(r.strDump.contains("Backtrace of the crashing thread:\n"));
    QVERIFY(r.strDump.endsWith("End of report\n"));
    // The backtrace has frames, each naming the binary they are in.
    const int nFrames = r.strDump.count(QFileInfo(QCoreApplication::applicationFilePath()).fileName() + "(");
    QVERIFY2(nFrames >= 2, qPrintable(r.strDump));
}

void TestStartUp::secondCrashReplacesTheDump()
{
    writeFile(dumpPath(), QByteArray(64 * 1024, 'x'));
    const ChildResult r = crashChild(kAbort);
    QCOMPARE(r.status, QProcess::NormalExit);
    QCOMPARE(r.nCode, 255);
    QVERIFY(r.strDump.startsWith("Orvelle crash report\nSignal: 6 SIGABRT"));
    QVERIFY(!r.strDump.contains("xxxx"));
}

void TestStartUp::cleanupTestCase()
{
    QFile::remove(dumpPath());
}

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], kCrashOnThread) == 0 || std::strcmp(argv[1], kAbort) == 0))
        return runChild(argv[1]);
    QApplication app(argc, argv);
    TestStartUp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
