#ifndef ORVELLE_APP_EXPORT_CUTFILEDLG_H
#define ORVELLE_APP_EXPORT_CUTFILEDLG_H

// The cut dialog: writes the frames of one recording (on a recorder disk or
// in a local export folder) whose time lies between a start and an end time
// of day to a new raw recording file, optionally converted to MP4. The work
// runs on a worker thread with progress, status text and cancel.

#include "app/export/JobDialog.h"
#include "app/export/jobs/CutJob.h"

class QTimeEdit;

class CCutFileDlg : public CJobDialog
{
    Q_OBJECT

public:
    explicit CCutFileDlg(const QString& strFilePath, QWidget* parent = nullptr);
    // Waits for a worker that still runs: it is never destroyed under it.
    ~CCutFileDlg() override;

    // For the tests and the record pages.
    QTimeEdit* startTimeEdit() const { return m_pStartTime; }
    QTimeEdit* endTimeEdit() const { return m_pEndTime; }
    QLabel* infoLabel() const { return m_pStatusLabel; }
    CCutJob* job() const { return m_pJob; }
    // The file the last start writes ("" before a start).
    QString outputPath() const;

public slots:
    void on_btnOK_clicked() override;

protected:
    void requestJobStop() override;
    bool isJobStopped() const override;
    QString finishJobConversion(bool bOk) override;
    QString jobReportPath() const override;

private:
    QTimeEdit* m_pStartTime = nullptr;
    QTimeEdit* m_pEndTime = nullptr;

    CCutJob* m_pJob = nullptr;
    QString m_strFilePath;
    RecordSpan m_recordTimes;
};

#endif
