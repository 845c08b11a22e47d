#ifndef ORVELLE_APP_EXPORT_JOBDIALOG_H
#define ORVELLE_APP_EXPORT_JOBDIALOG_H

// The frame shared by the export, cut and range export dialogs: a frameless
// dialog with a title bar, a destination folder row, the dialog's own
// controls, the case details, a status line, a progress bar and Start /
// Cancel. The job runs on a worker thread; this class owns the worker and
// handles progress, the outcome message (with "Open Report" when the job
// wrote its examination report), the cancel question and waiting for the
// worker.
//
// A cancel question still open when the job ends is closed, and the outcome
// follows it: the outcome never sits on top of a question that has nothing
// left to cancel.
//
// Texts are translated by the concrete dialog (its own tr() context) and
// handed over in Texts; the few the frame adds itself (the report button and
// what it says when no viewer opens the report) are in the frame's context.

#include "app/export/jobs/CaseDetails.h"

#include <QDialog>
#include <QString>

#include <functional>

class CCaseDetailsBox;
class CMessageBox;
class CMyThread;
class CTitleWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

class CJobDialog : public QDialog
{
    Q_OBJECT

public:
    QLineEdit* pathEdit() const { return m_pPathEdit; }
    QComboBox* formatBox() const { return m_pFormatBox; }
    QProgressBar* progressBar() const { return m_pProgress; }
    QPushButton* startButton() const { return m_pBtnOK; }
    QPushButton* cancelButton() const { return m_pBtnCancel; }
    CCaseDetailsBox* caseDetailsBox() const { return m_pCaseBox; }
    bool isRunning() const { return !m_bStopped; }
    // The cancel question while it is open, else null.
    CMessageBox* cancelQuestion() const { return m_pCancelQuestion; }

public slots:
    virtual void on_btnOK_clicked() = 0;
    void on_btnCancel_clicked();
    void on_btnBrowse_clicked();
    void onUpdateProcess(int nPos);
    void onUpdateStatus(QString strText);
    void onShowMessage(QString strText);
    void onConvertFinish(bool bOk);

protected:
    struct Texts {
        QString title;           // window and title bar
        QString browse;          // the folder button
        QString selectFolder;    // the folder chooser's caption
        QString start;           // Start
        QString cancel;          // Cancel
        QString prompt;          // caption of the message boxes
        QString ok;              // OK in the message boxes
        QString no;              // NO in the cancel question
        QString cancelQuestion;  // asked before a running job is cancelled
        const char* jobName;     // for the debug log
    };

    CJobDialog(const Texts& texts, const QString& strObjectName, QWidget* parent);

    // The dialog's own controls go between the folder row and the case
    // details: add them to body(), then call finishFrame() once.
    QVBoxLayout* body() const { return m_pBody; }
    void finishFrame(QLabel* pStatusLabel);

    // The case details as the fields hold them at Start; they are also kept
    // in the settings store, for the next dialog and the next run.
    CaseDetails takeCaseDetails();

    // Start / Cancel style buttons.
    static QPushButton* makeButton(const QString& strText, QWidget* parent);

    // Disables Start and runs fn on the worker; Start comes back if the
    // worker refuses it.
    void startJob(std::function<void()> fn);

    // For the concrete dialog's destructor: stops a job that still runs and
    // waits for the worker, so the job is never destroyed under it.
    void stopAndWait();

    // The job behind the dialog.
    virtual void requestJobStop() = 0;
    virtual bool isJobStopped() const = 0;
    virtual QString finishJobConversion(bool bOk) = 0;
    // The HTML report the job wrote, "" when it wrote none (read once the
    // worker has ended).
    virtual QString jobReportPath() const = 0;
    // What a cancelled job kept that the user should hear of (copies kept
    // as H.264 because the conversion was stopped), "" when nothing; read
    // once the worker has ended.
    virtual QString jobStoppedNote() const { return QString(); }

    void reject() override;

    QComboBox* m_pFormatBox = nullptr;  // H264 / MP4, made here, placed by the concrete dialog
    QLabel* m_pStatusLabel = nullptr;
    CMyThread* m_pWorker = nullptr;
    int m_nFormat = 0;  // 0 H264, 1 MP4

private:
    // The outcome box, with "Open Report" when the job wrote a report; then
    // the dialog closes with acceptance.
    void showOutcome(const QString& strText);
    // Opens the report with the desktop's viewer; false when none started.
    static bool openReport(const QString& strPath);
    void fitToContents();

    Texts m_texts;
    CTitleWidget* m_pTitle = nullptr;
    QVBoxLayout* m_pOuter = nullptr;
    QVBoxLayout* m_pBody = nullptr;
    QLineEdit* m_pPathEdit = nullptr;
    QPushButton* m_pBtnBrowse = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pBtnOK = nullptr;
    QPushButton* m_pBtnCancel = nullptr;
    CCaseDetailsBox* m_pCaseBox = nullptr;
    CMessageBox* m_pCancelQuestion = nullptr;  // while the cancel question is open
    QString m_strOutcome;                     // the outcome that waits for the question to close
    bool m_bStopped = true;    // no job runs (never started, finished or cancelled)
    bool m_bFinished = false;  // the outcome message was shown
};

#endif
