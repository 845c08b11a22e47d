// The configuration dialog: it shows the settings, OK writes them into the
// settings store, a language or stream change (and only that) asks for a
// restart, "Restart" ends the event loop with 774 and "Later" keeps the new
// choice; the build date; the service agreement.

#include "app/shell/ConfigDlg.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/ServiceAgreementDlg.h"
#include "app/shell/TitleWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Answers every modal message box that comes up with the given button and
// counts them, until disarmed.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(int nButton) : m_nButton(nButton) { m_nTimer = startTimer(5); }
    int count() const { return m_nCount; }
    QString lastText() const { return m_strText; }

protected:
    void timerEvent(QTimerEvent*) override
    {
        auto* pBox = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
        if (!pBox || pBox->isHidden())
            return;
        ++m_nCount;
        m_strText = pBox->text();
        pBox->buttons().at(m_nButton)->click();
    }

private:
    int m_nButton;
    int m_nTimer = 0;
    int m_nCount = 0;
    QString m_strText;
};

}  // namespace

class TestConfigDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void showsTheSettings();
    void folderChangesNeedNoRestart();
    void cancelAndCloseChangeNothing();
    void languageChangeAsksAndLaterKeepsIt();
    void streamChangeAsksToo();
    void restartEndsTheEventLoopWith774();
    void unknownSettingsSelectTheFirstItems();
    void buildDateIsParsedFromTheCompilerText();
    void serviceAgreementShowsTheText();
    void settingsReachConfigIniAtRelease();

private:
    QTemporaryDir m_dir;
};

void TestConfigDlg::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
    QSettings ini(m_dir.path() + "/Config.ini", QSettings::IniFormat);
    ini.setValue("Info/Version", "V2.1.0");
    ini.sync();
    CGlobalAppData::instance();
}

void TestConfigDlg::init()
{
    CGlobalAppData* pData = CGlobalAppData::instance();
    pData->language = "English";
    pData->recordFormat = 0;
    pData->capturePath = m_dir.path() + "/Backup/Picture";
    pData->recordPath = m_dir.path() + "/Backup/Record";
}

void TestConfigDlg::cleanupTestCase()
{
    CGlobalAppData::release();
}

void TestConfigDlg::showsTheSettings()
{
    CGlobalAppData* pData = CGlobalAppData::instance();
    pData->language = "Russian";
    pData->recordFormat = 5;
    CConfigDlg dlg;
    QCOMPARE(dlg.picPathEdit()->text(), pData->capturePath);
    QCOMPARE(dlg.picPathEdit()->cursorPosition(), 0);
    QCOMPARE(dlg.recordPathEdit()->text(), pData->recordPath);
    QCOMPARE(dlg.languageBox()->currentData().toString(), QString("Russian"));
    QCOMPARE(dlg.languageBox()->currentText(), QString("Russian"));
    QCOMPARE(dlg.streamBox()->currentData().toInt(), 5);
    QCOMPARE(dlg.streamBox()->currentText(), QString("Timelapse Video"));
    QCOMPARE(dlg.versionEdit()->text(), QString("V2.1.0"));
    // Without a version in the settings file the program's own is shown.
    const QString strStored = pData->version;
    pData->version.clear();
    CConfigDlg plain;
    QCOMPARE(plain.versionEdit()->text(), QString(ORVELLE_VERSION));
    pData->version = strStored;
    QVERIFY(QRegExp("\\d{4}\\.\\d{2}\\.\\d{2} \\d{2}:\\d{2}:\\d{2}").exactMatch(dlg.buildDateEdit()->text()));
}

void TestConfigDlg::folderChangesNeedNoRestart()
{
    BoxAnswerer answerer(0);
    CConfigDlg dlg;
    dlg.picPathEdit()->setText(m_dir.path() + "/pics");
    dlg.recordPathEdit()->setText(m_dir.path() + "/clips");
    dlg.okButton()->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(answerer.count(), 0);
    QVERIFY(!dlg.restartRequested());
    QCOMPARE(CGlobalAppData::instance()->capturePath, m_dir.path() + "/pics");
    QCOMPARE(CGlobalAppData::instance()->recordPath, m_dir.path() + "/clips");

    // An emptied box keeps the folder in use.
    CConfigDlg again;
    again.picPathEdit()->clear();
    again.okButton()->click();
    QCOMPARE(CGlobalAppData::instance()->capturePath, m_dir.path() + "/pics");
}

void TestConfigDlg::cancelAndCloseChangeNothing()
{
    for (int nWay = 0; nWay < 2; ++nWay) {
        CConfigDlg dlg;
        dlg.picPathEdit()->setText("/elsewhere");
        dlg.languageBox()->setCurrentIndex(1);
        if (nWay == 0)
            dlg.cancelButton()->click();
        else
            dlg.titleWidget()->closeButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(CGlobalAppData::instance()->capturePath, m_dir.path() + "/Backup/Picture");
        QCOMPARE(CGlobalAppData::instance()->language, QString("English"));
    }
}

void TestConfigDlg::languageChangeAsksAndLaterKeepsIt()
{
    BoxAnswerer answerer(1);  // "Later"
    CConfigDlg dlg;
    dlg.languageBox()->setCurrentIndex(dlg.languageBox()->findData("SimpChinese"));
    dlg.okButton()->click();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.lastText(), QString("The change will take effect after a restart of Orvelle."));
    QVERIFY(!dlg.restartRequested());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(CGlobalAppData::instance()->language, QString("SimpChinese"));
}

void TestConfigDlg::streamChangeAsksToo()
{
    BoxAnswerer answerer(1);
    CConfigDlg dlg;
    dlg.streamBox()->setCurrentIndex(dlg.streamBox()->findData(1));
    dlg.okButton()->click();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(CGlobalAppData::instance()->recordFormat, 1);
    QCOMPARE(CGlobalAppData::instance()->language, QString("English"));

    // The same choice again asks nothing.
    CConfigDlg same;
    same.okButton()->click();
    QCOMPARE(answerer.count(), 1);
}

void TestConfigDlg::restartEndsTheEventLoopWith774()
{
    BoxAnswerer answerer(0);  // "Restart"
    CConfigDlg* pDlg = new CConfigDlg;
    QTimer::singleShot(0, [pDlg]() {
        pDlg->languageBox()->setCurrentIndex(pDlg->languageBox()->findData("Russian"));
        pDlg->okButton()->click();
    });
    QTimer::singleShot(5000, []() { QCoreApplication::exit(-2); });  // a safety net only
    const int nCode = QApplication::exec();
    QCOMPARE(nCode, RestartExitCode);
    QCOMPARE(nCode, 774);
    QVERIFY(pDlg->restartRequested());
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(CGlobalAppData::instance()->language, QString("Russian"));
    delete pDlg;
}

void TestConfigDlg::unknownSettingsSelectTheFirstItems()
{
    CGlobalAppData::instance()->language = "simpchinese";
    CGlobalAppData::instance()->recordFormat = 3;
    CConfigDlg dlg;
    QCOMPARE(dlg.languageBox()->currentData().toString(), QString("English"));
    QCOMPARE(dlg.streamBox()->currentData().toInt(), 0);
}

void TestConfigDlg::buildDateIsParsedFromTheCompilerText()
{
    QCOMPARE(CConfigDlg::buildDateTime("Dec  8 2026", "06:05:09"), QDateTime(QDate(2026, 12, 8), QTime(6, 5, 9)));
    QCOMPARE(CConfigDlg::buildDateTime("Mar 21 2024", "23:59:00"), QDateTime(QDate(2024, 3, 21), QTime(23, 59)));
    QVERIFY(CConfigDlg::buildDateTime(__DATE__, __TIME__).isValid());
}

void TestConfigDlg::serviceAgreementShowsTheText()
{
    const QString strFile = m_dir.path() + "/agreement.txt";
    QFile file(strFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QString::fromUtf8("服务协议\nLine two\n").toUtf8());
    file.close();
    CServiceAgreementDlg dlg(strFile);
    QCOMPARE(dlg.text(), QString::fromUtf8("服务协议\nLine two\n"));
    QCOMPARE(dlg.closeButton()->text(), QString("I already know"));
    dlg.closeButton()->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));

    CServiceAgreementDlg missing(m_dir.path() + "/none.txt");
    QVERIFY(missing.text().isEmpty());

    // The agreement that ships beside the program is readable.
    CServiceAgreementDlg shipped(QString(ORVELLE_BINARY_DIR) + "/copyright/copyright_zh.txt");
    QVERIFY(shipped.text().size() > 100);
}

void TestConfigDlg::settingsReachConfigIniAtRelease()
{
    BoxAnswerer answerer(1);
    CConfigDlg dlg;
    dlg.picPathEdit()->setText(m_dir.path() + "/shots");
    dlg.languageBox()->setCurrentIndex(dlg.languageBox()->findData("Russian"));
    dlg.okButton()->click();
    CGlobalAppData::release();
    QSettings ini(m_dir.path() + "/Config.ini", QSettings::IniFormat);
    QCOMPARE(ini.value("Paths/capture").toString(), m_dir.path() + "/shots");
    QCOMPARE(ini.value("themes/Solution").toString(), QString("Russian"));
    QCOMPARE(ini.value("Info/Version").toString(), QString("V2.1.0"));
}

QTEST_MAIN(TestConfigDlg)
#include "tst_configdlg.moc"
