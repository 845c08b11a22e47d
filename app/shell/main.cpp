// Orvelle: the desktop player for the hard disks of digital video recorders.
//
// Start-up order: application object, crash handler, skin (style sheet,
// icon), translation, font, splash, main window, disk load, event loop.
// After the loop: the disk page's loader stops, the play channels go, the
// settings are written; exit code 774 starts the program again.
//
// Options: --disk-image FILE (repeatable) reads a recorder disk image file
// instead of the machine's drives; --help and --version answer without a
// display. Resources come from the executable's folder or, installed, from
// ../share/orvelle; the files the program writes go beside it or, installed,
// to the user's folders (app/shell/AppLocations.h).

#include "app/play/PlayManage.h"
#include "app/records/DiskManagePage.h"
#include "app/shell/AppLocations.h"
#include "app/shell/ConfigDlg.h"
#include "app/shell/CrashHandler.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/Orvelle.h"
#include "app/shell/QuitOnSignals.h"
#include "app/shell/StartUp.h"
#include "media/common/AllocatorTuning.h"
#include "wfs/device/drives.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QFont>
#include <QLibraryInfo>
#include <QPixmap>
#include <QProcess>
#include <QSplashScreen>
#include <QTranslator>

#include <cstdio>

int main(int argc, char* argv[])
{
    const int nInfo = startup::answerInfoOption(argc, argv);
    if (nInfo >= 0)
        return nInfo;

    // Every window is painted by Qt's raster engine and nothing uses OpenGL,
    // yet on X11 Qt loads the GL driver at start to choose visuals: about
    // 50 MB resident (a software renderer's compiler with it) for nothing.
    // Whoever sets the variable keeps their choice.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    media::tune_allocator();

    QApplication app(argc, argv);
    installCrashHandler(nullptr);
    // The name window lists, task bars and screenshots show; the desktop
    // entry's name lets a task bar find the entry's icon.
    QApplication::setApplicationDisplayName(QStringLiteral("Orvelle"));
    QApplication::setApplicationVersion(QStringLiteral(ORVELLE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("orvelle"));

    const applocations::Folders folders = applocations::locate();
    if (folders.bUserFolders && !setCrashDumpFolder(QFile::encodeName(folders.strCrashDir).constData()))
        qWarning().noquote() << "Crash report: cannot create" << folders.strCrashDir << "- it goes to" << crashDumpPath();
    CQuitOnSignals quitOnSignals;

    const QString strAppDir = CGlobalAppData::appDir();
    const QString strStyle = startup::loadStyleSheet(strAppDir);
    app.setWindowIcon(startup::windowIcon(strAppDir));
    app.setStyleSheet(strStyle);

    QTranslator translator;
    CGlobalAppData* pData = CGlobalAppData::instance();
    const QString strQm = startup::translationFile(strAppDir, pData->language);
    if (!strQm.isEmpty() && !translator.load(strQm))
        qDebug() << "Translation not loaded:" << strQm;
    app.installTranslator(&translator);
    // Qt's own dialogs (folder and file choosers) in the same language, when
    // the system has Qt's translations (package qttranslations5-l10n).
    QTranslator qtTranslator;
    const QString strQtName = startup::qtTranslationName(pData->language);
    if (!strQtName.isEmpty() && qtTranslator.load(strQtName, QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);

    QFont font = QApplication::font();
    font.setPointSize(9);
    font.setFamily("Microsoft YaHei");
    QApplication::setFont(font);

    const QStringList images = startup::diskImageArguments(app.arguments());
    if (!images.isEmpty()) {
        // Disk images stand in for the machine's drives.
        set_images_only(true);
        for (const QString& strImage : images) {
            QString strError;
            if (!CDiskManagePage::AddDiskImage(strImage, &strError))
                std::fprintf(stderr, "orvelle: %s\n", qPrintable(strError));
        }
    }

    QPixmap splashPicture(strAppDir + "/skin/icons/StartLogo.png");
    QSplashScreen splash(splashPicture);
    const bool bSplash = !splashPicture.isNull();
    if (bSplash) {
        splash.show();
        splash.showMessage(QCoreApplication::translate("main", "Loading"), Qt::AlignLeft | Qt::AlignBottom, Qt::white);
        app.processEvents();
    }

    auto* pMain = new COrvelle();
    pMain->loadDisks();
    if (bSplash)
        splash.finish(pMain);
    pMain->show();

    const int nExitCode = quitOnSignals.receivedSignal() ? 0 : app.exec();

    pMain->stopLoading();
    CPlayManage::release();
    CGlobalAppData::release();

    if (nExitCode == RestartExitCode) {
        QStringList arguments = app.arguments();
        arguments.removeFirst();
        QProcess::startDetached(QApplication::applicationFilePath(), arguments);
    }
    delete pMain;
    return 0;
}
