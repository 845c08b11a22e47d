#include "app/export/ExportFileDlg.h"

#include "app/export/jobs/ExportJob.h"
#include "app/play/MyThread.h"
#include "app/shell/GlobalAppData.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QVBoxLayout>

CExportFileDlg::CExportFileDlg(QWidget* parent)
    : CJobDialog({tr("Export"), tr("Browse"), tr("Select the path for record"), tr("Start"), tr("Cancel"),
                  tr("Prompt"), tr("OK"), tr("NO"), tr("Whether to cancel export recording"), "Export"},
                 "CExportFileDlg", parent)
{
    m_nTotal = CGlobalAppData::instance()->exportQueue.size();

    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(m_pFormatBox);
    formatRow->addStretch(1);
    body()->addLayout(formatRow);

    finishFrame(new QLabel(QStringLiteral("0/%1").arg(m_nTotal), this));

    m_pJob = new CExportJob;  // lives on the GUI thread, runs on the worker; deleted by us
    connect(m_pJob, &CExportJob::updateProcess, this, &CExportFileDlg::onUpdateProcess, Qt::QueuedConnection);
    connect(m_pJob, &CExportJob::updateExportStatus, this, &CExportFileDlg::onUpdateStatus,
            Qt::QueuedConnection);
    connect(m_pJob, &CExportJob::showMessage, this, &CExportFileDlg::onShowMessage, Qt::QueuedConnection);
    connect(m_pJob, &CExportJob::convertFinishi, this, &CExportFileDlg::onConvertFinish, Qt::QueuedConnection);
}

CExportFileDlg::~CExportFileDlg()
{
    stopAndWait();
    delete m_pJob;
}

void CExportFileDlg::requestJobStop()
{
    m_pJob->requestStop();
}

bool CExportFileDlg::isJobStopped() const
{
    return m_pJob->isStopped();
}

QString CExportFileDlg::finishJobConversion(bool bOk)
{
    return m_pJob->finishConversion(bOk);
}

QString CExportFileDlg::jobReportPath() const
{
    // Only read once the worker is done with it.
    return m_pWorker->isBusy() ? QString() : m_pJob->reportPath();
}

QString CExportFileDlg::jobStoppedNote() const
{
    return m_pWorker->isBusy() ? QString() : m_pJob->stoppedMessage();
}

void CExportFileDlg::on_btnOK_clicked()
{
    if (isRunning() || m_pWorker->isBusy())
        return;
    progressBar()->setRange(0, 1000);
    m_nFormat = m_pFormatBox->currentIndex();
    m_strDestination = pathEdit()->text();
    m_pJob->setPaths(CGlobalAppData::instance()->exportQueue);
    m_pJob->setDestination(m_strDestination);
    m_pJob->setFormat(m_nFormat);
    m_pJob->setDiskLock(&CGlobalAppData::instance()->diskLock);
    m_pJob->setCaseDetails(takeCaseDetails());
    CExportJob* job = m_pJob;
    startJob([job] { job->run(); });
}
