#ifndef ORVELLE_APP_EXPORT_RANGEEXPORTDLG_H
#define ORVELLE_APP_EXPORT_RANGEEXPORTDLG_H

// The range export dialog: one time window of several channels at once. It
// offers the day's channels (all checked), the window's start and end to the
// second (the end may lie on the next day), the destination folder and H.264
// or MP4; the range export job runs on a worker thread with the progress of
// the file being written, of the whole job, and cancel.

#include "app/display/TimelineDay.h"
#include "app/export/JobDialog.h"

#include <QDateTime>
#include <QList>

class CRangeExportJob;
class QCheckBox;
class QDateTimeEdit;

class CRangeExportDlg : public CJobDialog
{
    Q_OBJECT

public:
    CRangeExportDlg(const TimelineDay& day, const QDateTime& from, const QDateTime& to, QWidget* parent = nullptr);
    // Waits for a worker that still runs: it is never destroyed under it.
    ~CRangeExportDlg() override;

    // For the tests.
    QDateTimeEdit* fromEdit() const { return m_pFrom; }
    QDateTimeEdit* toEdit() const { return m_pTo; }
    const QList<QCheckBox*>& channelBoxes() const { return m_channelBoxes; }
    QProgressBar* overallBar() const { return m_pOverall; }
    CRangeExportJob* job() const { return m_pJob; }
    // The 0-based channels checked.
    QList<int> checkedChannels() const;

public slots:
    void on_btnOK_clicked() override;
    // Shows what the window and the checked channels would write.
    void onRangeChanged();

protected:
    void requestJobStop() override;
    bool isJobStopped() const override;
    QString finishJobConversion(bool bOk) override;
    QString jobReportPath() const override;

private:
    TimelineDay m_day;
    QDateTimeEdit* m_pFrom = nullptr;
    QDateTimeEdit* m_pTo = nullptr;
    QList<QCheckBox*> m_channelBoxes;
    QProgressBar* m_pOverall = nullptr;
    CRangeExportJob* m_pJob = nullptr;
};

#endif
