// Start-up pieces and the crash handler: the skin's style sheet with every
// "@skinpath" replaced, the translation chosen by the language setting, the
// disk images named on the command line, the window icon, --help and
// --version, stop signals that end the loop (also one that comes before the
// loop runs), and crashing children (a bad pointer on a worker thread, an
// abort, a second crash, a report moved to another folder) that leave a
// readable "CrashDumpFile.dmp" and exit with -1.

#include "app/shell/CrashHandler.h"
#include "app/shell/QuitOnSignals.h"
#include "app/shell/StartUp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QLibraryInfo>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <signal.h>
#include <unistd.h>

namespace {

// Child modes: the test program runs itself with one of these.
const char* const kCrashOnThread = "--crash-on-thread";
const char* const kAbort = "--crash-abort";
const char* const kCrashElsewhere = "--crash-elsewhere";  // then a folder
const char* const kStopInLoop = "--stop-in-loop";
const char* const kStopBeforeLoop = "--stop-before-loop";
const char* const kInfo = "--info";  // then the arguments for answerInfoOption

// Exit statuses of the stop-signal children.
const int kLeftTheLoop = 40;
const int kSkippedTheLoop = 41;
const int kLoopTimedOut = 42;

__attribute__((noinline)) void touchBadPointer()
{
    volatile int* p = reinterpret_cast<volatile int*>(quintptr(0x1234));
    *p = 7;
}

// A program's start-up and loop with a stop signal raised inside the loop or
// while the start-up still processes events before it.
int runStopChild(int argc, char** argv, bool bBeforeLoop)
{
    QApplication app(argc, argv);
    CQuitOnSignals quit;
    if (bBeforeLoop) {
        raise(SIGTERM);
        // A start-up step that processes events (the splash does).
        for (int i = 0; i < 20; ++i) {
            app.processEvents();
            QThread::msleep(5);
        }
        if (quit.receivedSignal() != SIGTERM)
            return 1;
    } else {
        QTimer::singleShot(50, [] { raise(SIGTERM); });
    }
    QTimer::singleShot(20000, [] { QCoreApplication::exit(kLoopTimedOut); });
    if (quit.receivedSignal())
        return kSkippedTheLoop;
    const int nCode = app.exec();
    if (nCode != 0)
        return nCode;
    return quit.receivedSignal() == SIGTERM ? kLeftTheLoop : 2;
}

int runChild(const char* szMode, const char* szArg)
{
    installCrashHandler(nullptr);
    if (std::strcmp(szMode, kCrashElsewhere) == 0) {
        if (!setCrashDumpFolder(szArg))
            return 4;
        std::abort();
    }
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

QProcess::ExitStatus runSelf(const QStringList& arguments, int* pCode, QByteArray* pOut = nullptr)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
    }
    *pCode = child.exitCode();
    if (pOut)
        *pOut = child.readAllStandardOutput();
    return child.exitStatus();
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
    void windowIconHasEveryRenderedSize();
    void helpAndVersionAnswerBeforeTheApplication();
    void stopSignalEndsTheLoop();
    void stopSignalBeforeTheLoopSkipsIt();
    void crashOnAThreadLeavesADumpAndExitsMinusOne();
    void secondCrashReplacesTheDump();
    void crashReportGoesToTheChosenFolder();
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
    // Qt's own dialogs follow the same setting, from Qt's translations.
    QVERIFY(startup::qtTranslationName("English").isEmpty());
    for (const char* language : {"SimpChinese", "Russian"}) {
        QTranslator qt;
        QVERIFY2(qt.load(startup::qtTranslationName(language), QLibraryInfo::location(QLibraryInfo::TranslationsPath)),
                 language);
        QVERIFY(!qt.isEmpty());
    }
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

void TestStartUp::windowIconHasEveryRenderedSize()
{
    const QIcon icon = startup::windowIcon(ORVELLE_BINARY_DIR);
    QList<QSize> expected;
    for (int n : startup::programIconSizes())
        expected << QSize(n, n);
    QCOMPARE(icon.availableSizes(), expected);
    for (const QSize& size : expected) {
        // Each size is a drawn picture: opaque in the middle, clear in the
        // corner outside the rounded square.
        const QImage picture = icon.pixmap(size).toImage();
        QCOMPARE(picture.size(), size);
        QCOMPARE(qAlpha(picture.pixel(size.width() / 2, size.height() / 2)), 255);
        QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);
    }

    // Without the rendered sizes the skin's logo serves.
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + "/skin/icons"));
    QVERIFY(QFile::copy(QString(ORVELLE_BINARY_DIR) + "/skin/icons/logo.png", dir.path() + "/skin/icons/logo.png"));
    QCOMPARE(startup::windowIcon(dir.path()).availableSizes(), QList<QSize>{QSize(64, 64)});
}

void TestStartUp::helpAndVersionAnswerBeforeTheApplication()
{
    int nCode = -1;
    QByteArray out;
    // The child has no display at all: only an answer before QApplication
    // exists can succeed.
    QCOMPARE(runSelf({kInfo, "--version"}, &nCode, &out), QProcess::NormalExit);
    QCOMPARE(nCode, 0);
    QCOMPARE(out, QByteArray("orvelle " ORVELLE_VERSION "\n"));
    QCOMPARE(runSelf({kInfo, "-platform", "offscreen", "--help"}, &nCode, &out), QProcess::NormalExit);
    QCOMPARE(nCode, 0);
    QVERIFY(out.startsWith("Usage: orvelle [--disk-image FILE]..."));
    QVERIFY(out.contains("  --version "));

    // The word after --disk-image is a file name; other arguments are not
    // answered here.
    QCOMPARE(runSelf({kInfo, "--disk-image", "--help"}, &nCode, &out), QProcess::NormalExit);
    QCOMPARE(nCode, 3);
    QVERIFY(out.isEmpty());
    QCOMPARE(runSelf({kInfo, "-style", "fusion"}, &nCode, &out), QProcess::NormalExit);
    QCOMPARE(nCode, 3);
}

void TestStartUp::stopSignalEndsTheLoop()
{
    int nCode = -1;
    QCOMPARE(runSelf({kStopInLoop, "-platform", "offscreen"}, &nCode), QProcess::NormalExit);
    QCOMPARE(nCode, kLeftTheLoop);
}

void TestStartUp::stopSignalBeforeTheLoopSkipsIt()
{
    // Qt forgets an exit() asked for before exec(); the program must not
    // run its loop on as if nothing had been asked.
    int nCode = -1;
    QCOMPARE(runSelf({kStopBeforeLoop, "-platform", "offscreen"}, &nCode), QProcess::NormalExit);
    QCOMPARE(nCode, kSkippedTheLoop);
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

void TestStartUp::crashReportGoesToTheChosenFolder()
{
    QFile::remove(dumpPath());
    QTemporaryDir dir;
    const QString folder = dir.path() + "/state/Orvelle";
    int nCode = -1;
    QCOMPARE(runSelf({kCrashElsewhere, folder}, &nCode), QProcess::NormalExit);
    QCOMPARE(nCode, 255);
    QFile dump(folder + "/CrashDumpFile.dmp");
    QVERIFY2(dump.open(QIODevice::ReadOnly), "the folder is made and the report written there");
    QVERIFY(dump.readAll().startsWith("Orvelle crash report\nSignal: 6 SIGABRT"));
    QVERIFY(!QFile::exists(dumpPath()));

    // A folder that cannot be made leaves the report where it was.
    QFile blocker(dir.path() + "/file");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QCOMPARE(runSelf({kCrashElsewhere, blocker.fileName() + "/sub"}, &nCode), QProcess::NormalExit);
    QCOMPARE(nCode, 4);
}

void TestStartUp::cleanupTestCase()
{
    QFile::remove(dumpPath());
}

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], kCrashOnThread) == 0 || std::strcmp(argv[1], kAbort) == 0))
        return runChild(argv[1], nullptr);
    if (argc == 3 && std::strcmp(argv[1], kCrashElsewhere) == 0)
        return runChild(argv[1], argv[2]);
    if (argc >= 2 && (std::strcmp(argv[1], kStopInLoop) == 0 || std::strcmp(argv[1], kStopBeforeLoop) == 0))
        return runStopChild(argc, argv, std::strcmp(argv[1], kStopBeforeLoop) == 0);
    if (argc >= 2 && std::strcmp(argv[1], kInfo) == 0) {
        // As the program's main() does, before any application object; no
        // display is reachable from here.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
        const int nAnswer = startup::answerInfoOption(argc - 1, argv + 1);
        return nAnswer >= 0 ? nAnswer : 3;
    }
    QApplication app(argc, argv);
    TestStartUp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
