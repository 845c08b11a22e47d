#ifndef ORVELLE_APP_EXPORT_CUTFILEDLG_H
#define ORVELLE_APP_EXPORT_CUTFILEDLG_H

// The cut dialog: writes the frames of one recording (on a recorder disk or
// in a local export folder) whose time lies between a start and an end time
// of day to a new raw recording file, optionally converted to MP4. The work
// runs on a worker thread with progress, status text and cancel.

#include <QDialog>
#include <QString>

#include "app/export/jobs/CutJob.h"

class CMyThread;
class CTitleWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;

class CCutFileDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CCutFileDlg(const QString& strFilePath, QWidget* parent = nullptr);
    // Waits for a worker that still runs: it is never destroyed under it.
    ~CCutFileDlg() override;

    // For the tests and the record pages.
    QLineEdit* pathEdit() const { return m_pPathEdit; }
    QComboBox* formatBox() const { return m_pFormatBox; }
    QTimeEdit* startTimeEdit() const { return m_pStartTime; }
    QTimeEdit* endTimeEdit() const { return m_pEndTime; }
    QLabel* infoLabel() const { return m_pInfoLabel; }
    QProgressBar* progressBar() const { return m_pProgress; }
    QPushButton* startButton() const { return m_pBtnOK; }
    QPushButton* cancelButton() const { return m_pBtnCancel; }
    bool isRunning() const { return !m_bStopped; }
    // The file the last start writes ("" before a start).
    QString outputPath() const;

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
    QTimeEdit* m_pStartTime = nullptr;
    QTimeEdit* m_pEndTime = nullptr;
    QLabel* m_pInfoLabel = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pBtnOK = nullptr;
    QPushButton* m_pBtnCancel = nullptr;

    CCutJob* m_pJob = nullptr;
    CMyThread* m_pWorker = nullptr;
    bool m_bStopped = true;
    bool m_bFinished = false;
    int m_nFormat = 0;
    QString m_strFilePath;
    RecordSpan m_recordTimes;
};

#endif
