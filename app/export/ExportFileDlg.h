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

#include "app/export/JobDialog.h"

class CExportJob;

class CExportFileDlg : public CJobDialog
{
    Q_OBJECT

public:
    explicit CExportFileDlg(QWidget* parent = nullptr);
    // Waits for a worker that still runs: it is never destroyed under it.
    ~CExportFileDlg() override;

    // For the tests and the record page.
    QLabel* statusLabel() const { return m_pStatusLabel; }
    CExportJob* job() const { return m_pJob; }

public slots:
    void on_btnOK_clicked() override;

protected:
    void requestJobStop() override;
    bool isJobStopped() const override;
    QString finishJobConversion(bool bOk) override;
    QString jobReportPath() const override;
    QString jobStoppedNote() const override;

private:
    CExportJob* m_pJob = nullptr;
    int m_nTotal = 0;  // entries of exportQueue when the dialog was built
    QString m_strDestination;
};

#endif
