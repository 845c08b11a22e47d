#ifndef ORVELLE_APP_SHELL_CONFIGDLG_H
#define ORVELLE_APP_SHELL_CONFIGDLG_H

// CConfigDlg: the configuration dialog. The user changes the picture and
// record folders, the interface language and the record stream type, sees
// the version and the build date, and opens the licence folder and the
// service agreement. OK writes the choices into the settings store at once
// (they reach "Config.ini" when the program ends); a changed language or
// stream type offers to restart the program, which ends the event loop with
// RestartExitCode.

#include <QDateTime>
#include <QDialog>

class CTitleWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The event loop's exit code that makes the program start itself again.
const int RestartExitCode = 774;

class CConfigDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CConfigDlg(QWidget* parent = nullptr);

    QLineEdit* picPathEdit() const { return m_pPicPath; }
    QLineEdit* recordPathEdit() const { return m_pRecordPath; }
    QComboBox* languageBox() const { return m_pLanguage; }
    QComboBox* streamBox() const { return m_pStream; }
    QLineEdit* versionEdit() const { return m_pVersion; }
    QLineEdit* buildDateEdit() const { return m_pBuildDate; }
    QPushButton* okButton() const { return m_pOK; }
    QPushButton* cancelButton() const { return m_pCancel; }
    CTitleWidget* titleWidget() const { return m_pTitle; }
    // True once the user chose to restart the program.
    bool restartRequested() const { return m_bRestart; }

    // The program's build time, parsed from the compiler's date ("Mmm dd
    // yyyy", day padded with a blank) and time ("hh:mm:ss").
    static QDateTime buildDateTime(const char* szDate, const char* szTime);

public slots:
    void on_btnOK_clicked();
    void onBrowsePicPath();
    void onBrowseRecordPath();
    void onOpenLicenses();
    void onShowAgreement();

private:
    void fillFromSettings();

    CTitleWidget* m_pTitle = nullptr;
    QLineEdit* m_pPicPath = nullptr;
    QLineEdit* m_pRecordPath = nullptr;
    QComboBox* m_pLanguage = nullptr;
    QComboBox* m_pStream = nullptr;
    QLineEdit* m_pVersion = nullptr;
    QLineEdit* m_pBuildDate = nullptr;
    QPushButton* m_pOK = nullptr;
    QPushButton* m_pCancel = nullptr;
    bool m_bRestart = false;
};

#endif
