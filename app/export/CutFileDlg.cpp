#include "app/export/CutFileDlg.h"

#include "app/play/MyThread.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

QTimeEdit* makeTimeEdit(QWidget* parent)
{
    auto* edit = new QTimeEdit(parent);
    edit->setDisplayFormat("hh:mm:ss");
    edit->setFixedHeight(25);
    return edit;
}

int secondsOfDay(const QTime& time)
{
    return time.hour() * 3600 + time.minute() * 60 + time.second();
}

}  // namespace

CCutFileDlg::CCutFileDlg(const QString& strFilePath, QWidget* parent)
    : CJobDialog({tr("Cut"), tr("Browse"), tr("Select the path for record"), tr("Start"), tr("Cancel"),
                  tr("Prompt"), tr("OK"), tr("NO"), tr("Whether to cancel cut recording"), "Cut"},
                 "CCutFileDlg", parent),
      m_strFilePath(strFilePath)
{
    auto* form = new QFormLayout;
    form->addRow(m_pFormatBox);
    m_pStartTime = makeTimeEdit(this);
    m_pEndTime = makeTimeEdit(this);
    form->addRow(tr("Start Time"), m_pStartTime);
    form->addRow(tr("End Time"), m_pEndTime);
    body()->addLayout(form);

    finishFrame(new QLabel(this));

    if (RecordSpanFromPath(m_strFilePath, &m_recordTimes)) {
        const int s = m_recordTimes.nStart, e = m_recordTimes.nEnd % 86400;
        m_pStartTime->setTime(QTime(s / 3600, s / 60 % 60, s % 60));
        m_pEndTime->setTime(QTime(e / 3600, e / 60 % 60, e % 60));
        m_pStatusLabel->setText(QStringLiteral("%1(%2_%3)")
                                    .arg(tr("Cut Range "), FormatTimeOfDay(m_recordTimes.nStart),
                                         FormatTimeOfDay(m_recordTimes.nEnd)));
    }

    m_pJob = new CCutJob;
    connect(m_pJob, &CCutJob::updateProcess, this, &CCutFileDlg::onUpdateProcess, Qt::QueuedConnection);
    connect(m_pJob, &CCutJob::updateExportStatus, this, &CCutFileDlg::onUpdateStatus, Qt::QueuedConnection);
    connect(m_pJob, &CCutJob::showMessage, this, &CCutFileDlg::onShowMessage, Qt::QueuedConnection);
    connect(m_pJob, &CCutJob::convertFinishi, this, &CCutFileDlg::onConvertFinish, Qt::QueuedConnection);
}

CCutFileDlg::~CCutFileDlg()
{
    stopAndWait();
    delete m_pJob;
}

void CCutFileDlg::requestJobStop()
{
    m_pJob->requestStop();
}

bool CCutFileDlg::isJobStopped() const
{
    return m_pJob->isStopped();
}

QString CCutFileDlg::finishJobConversion(bool bOk)
{
    return m_pJob->finishConversion(bOk);
}

QString CCutFileDlg::outputPath() const
{
    // Only read once the worker is done with it.
    return m_pWorker->isBusy() ? QString() : m_pJob->outputPath();
}

QString CCutFileDlg::jobReportPath() const
{
    // Only read once the worker is done with it.
    return m_pWorker->isBusy() ? QString() : m_pJob->reportPath();
}

void CCutFileDlg::on_btnOK_clicked()
{
    if (isRunning() || m_pWorker->isBusy())
        return;
    progressBar()->setRange(0, 1000);
    m_nFormat = m_pFormatBox->currentIndex();
    CCutJob::Params params;
    params.strSource = m_strFilePath;
    params.strDestFolder = pathEdit()->text().replace(QLatin1Char('\\'), QLatin1Char('/'));
    params.nFormat = m_nFormat;
    params.record = m_recordTimes;
    params.nCutStart = secondsOfDay(m_pStartTime->time());
    params.nCutEnd = secondsOfDay(m_pEndTime->time());
    CutRange range;
    if (!MakeCutRange(params.record, params.nCutStart, params.nCutEnd, &range)) {
        CMessageBox::information(this, tr("Prompt"), tr("Abnormal time"), tr("OK"));
        return;
    }
    m_pJob->setParams(params);
    m_pJob->setDiskLock(&CGlobalAppData::instance()->diskLock);
    m_pJob->setCaseDetails(takeCaseDetails());
    CCutJob* job = m_pJob;
    startJob([job] { job->run(); });
}
