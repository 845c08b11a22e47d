#ifndef ORVELLE_APP_EXPORT_EXPORTFILEDLG_H
#define ORVELLE_APP_EXPORT_EXPORTFILEDLG_H

// The export dialog: copies the recordings queued in the settings store's
// exportQueue to a local folder, as raw recordings listed in the folder's
// "index.data" or converted to MP4. The copy runs on a worker thread and
// reports through queued signals; the dialog shows a per-file progress bar and
// a status line and can be cancelled.
//
// The record page fills exportQueue, runs the dialog modally and clears the
// queue afterwards. The queue is taken as it is when Start is clicked.

#include <QDialog>
#include <QString>

class CExportJob;
class CMyThread;
class CTitleWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CExportFileDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CExportFileDlg(QWidget* parent = nullptr);
    // Waits for a worker that still runs: it is never destroyed under it.
    ~CExportFileDlg() override;

    // For the tests and the record page.
    QLineEdit* pathEdit() const { return m_pPathEdit; }
    QComboBox* formatBox() const { return m_pFormatBox; }
    QLabel* statusLabel() const { return m_pStatusLabel; }
    QProgressBar* progressBar() const { return m_pProgress; }
    QPushButton* startButton() const { return m_pBtnOK; }
    QPushButton* cancelButton() const { return m_pBtnCancel; }
    bool isRunning() const { return !m_bStopped; }

public slots:
    void on_btnOK_clicked();
    void on_btnCancel_clicked();
    void on_btnBrowse_clicked();
    void onUpdateProcess(int nPos);
    void onUpdateStatus(QString strText);
    void onShowMessage(QString strText);
    void onConvertFinish(bool bOk);

protected:
    void reject() override;

private:
    CTitleWidget* m_pTitle = nullptr;
    QLineEdit* m_pPathEdit = nullptr;
    QPushButton* m_pBtnBrowse = nullptr;
    QComboBox* m_pFormatBox = nullptr;
    QLabel* m_pStatusLabel = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pBtnOK = nullptr;
    QPushButton* m_pBtnCancel = nullptr;

    CExportJob* m_pJob = nullptr;
    CMyThread* m_pWorker = nullptr;
    bool m_bStopped = true;    // no job runs (never started, finished or cancelled)
    bool m_bFinished = false;  // the outcome message was shown
    int m_nFormat = 0;         // 0 H264, 1 MP4
    int m_nTotal = 0;          // entries of exportQueue when the dialog was built
    QString m_strDestination;
};

#endif
