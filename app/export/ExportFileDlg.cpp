#include "app/export/ExportFileDlg.h"

#include "app/export/jobs/ConvertToMp4.h"
#include "app/export/jobs/ExportJob.h"
#include "app/play/MyThread.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/TitleWidget.h"

#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// How long a confirmed cancel waits for the worker before the dialog closes.
const unsigned long kCancelWaitMs = 2000;

QPushButton* makeButton(const QString& strText, QWidget* parent)
{
    auto* button = new QPushButton(strText, parent);
    button->setObjectName("NormalToolButton");
    button->setFixedSize(75, 25);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CExportFileDlg::CExportFileDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("CExportFileDlg");
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Dialog);
    setWindowTitle(tr("Export"));
    setMinimumWidth(460);

    CGlobalAppData* data = CGlobalAppData::instance();
    m_nTotal = data->exportQueue.size();

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_pTitle = new CTitleWidget(this, false, this);
    m_pTitle->setTitle(tr("Export"));
    outer->addWidget(m_pTitle);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(16, 12, 16, 12);
    body->setSpacing(10);

    auto* pathRow = new QHBoxLayout;
    m_pPathEdit = new QLineEdit(data->recordPath, this);
    m_pPathEdit->setFixedHeight(25);
    m_pPathEdit->setCursorPosition(0);
    m_pBtnBrowse = makeButton(tr("Browse"), this);
    pathRow->addWidget(m_pPathEdit, 1);
    pathRow->addWidget(m_pBtnBrowse);
    body->addLayout(pathRow);

    auto* formatRow = new QHBoxLayout;
    m_pFormatBox = new QComboBox(this);
    m_pFormatBox->addItem("H264");
    m_pFormatBox->addItem("MP4");
    m_pFormatBox->setCurrentIndex(0);
    m_pFormatBox->setFixedHeight(25);
    formatRow->addWidget(m_pFormatBox);
    formatRow->addStretch(1);
    body->addLayout(formatRow);

    m_pStatusLabel = new QLabel(QStringLiteral("0/%1").arg(m_nTotal), this);
    body->addWidget(m_pStatusLabel);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setFixedHeight(10);
    m_pProgress->setRange(0, 1000);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    body->addWidget(m_pProgress);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    m_pBtnOK = makeButton(tr("Start"), this);
    m_pBtnCancel = makeButton(tr("Cancel"), this);
    buttonRow->addWidget(m_pBtnOK);
    buttonRow->addWidget(m_pBtnCancel);
    body->addLayout(buttonRow);
    outer->addLayout(body);

    connect(m_pTitle, &CTitleWidget::closeSignal, this, &CExportFileDlg::on_btnCancel_clicked);
    connect(m_pBtnOK, &QPushButton::clicked, this, &CExportFileDlg::on_btnOK_clicked);
    connect(m_pBtnCancel, &QPushButton::clicked, this, &CExportFileDlg::on_btnCancel_clicked);
    connect(m_pBtnBrowse, &QPushButton::clicked, this, &CExportFileDlg::on_btnBrowse_clicked);

    m_pJob = new CExportJob;  // lives on the GUI thread, runs on the worker; deleted by us
    m_pWorker = new CMyThread(this);
    connect(m_pJob, &CExportJob::updateProcess, this, &CExportFileDlg::onUpdateProcess, Qt::QueuedConnection);
    connect(m_pJob, &CExportJob::updateExportStatus, this, &CExportFileDlg::onUpdateStatus,
            Qt::QueuedConnection);
    connect(m_pJob, &CExportJob::showMessage, this, &CExportFileDlg::onShowMessage, Qt::QueuedConnection);
    connect(m_pJob, &CExportJob::convertFinishi, this, &CExportFileDlg::onConvertFinish, Qt::QueuedConnection);
}

CExportFileDlg::~CExportFileDlg()
{
    if (m_pWorker->isBusy()) {
        m_pJob->requestStop();
        CConvertToMp4::instance()->Cancel();
        m_pWorker->join();
    }
    delete m_pJob;
}

void CExportFileDlg::on_btnBrowse_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select the path for record"),
                                                          CGlobalAppData::instance()->recordPath,
                                                          QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty()) {
        m_pPathEdit->setText(dir);
        m_pPathEdit->setCursorPosition(0);
    }
}

void CExportFileDlg::on_btnOK_clicked()
{
    if (!m_bStopped || m_pWorker->isBusy())
        return;
    m_pProgress->setRange(0, 1000);
    m_nFormat = m_pFormatBox->currentIndex();
    m_strDestination = m_pPathEdit->text();
    m_pBtnOK->setEnabled(false);
    m_pJob->setPaths(CGlobalAppData::instance()->exportQueue);
    m_pJob->setDestination(m_strDestination);
    m_pJob->setFormat(m_nFormat);
    m_pJob->setDiskLock(&CGlobalAppData::instance()->diskLock);
    m_bStopped = false;
    m_bFinished = false;
    CExportJob* job = m_pJob;
    if (!m_pWorker->startJob([job] { job->run(); })) {
        m_bStopped = true;
        m_pBtnOK->setEnabled(true);
    }
}

void CExportFileDlg::on_btnCancel_clicked()
{
    if (!m_bStopped) {
        const int answer = CMessageBox::information(this, tr("Prompt"), tr("Whether to cancel export recording"),
                                                    tr("OK"), tr("NO"));
        if (answer != 0 || m_bFinished)
            return;  // "NO", or the export ended while the question was open
        CConvertToMp4::instance()->Cancel();
        m_pJob->requestStop();
        m_bStopped = true;
        if (!m_pWorker->join(kCancelWaitMs))
            qDebug() << "Export worker still busy after the cancel; the dialog waits for it when it goes";
    }
    QDialog::reject();
}

void CExportFileDlg::reject()
{
    // Escape and the title bar's close act as Cancel.
    on_btnCancel_clicked();
}

void CExportFileDlg::onUpdateProcess(int nPos)
{
    m_pProgress->setValue(nPos);
}

void CExportFileDlg::onUpdateStatus(QString strText)
{
    m_pStatusLabel->setText(strText);
}

void CExportFileDlg::onShowMessage(QString strText)
{
    if (m_bFinished || m_pJob->isStopped())
        return;  // cancelled meanwhile
    m_bFinished = true;
    m_bStopped = true;
    m_pWorker->join();
    CMessageBox::information(this, tr("Prompt"), strText, tr("OK"));
    accept();
}

void CExportFileDlg::onConvertFinish(bool bOk)
{
    if (m_bFinished || m_pJob->isStopped())
        return;
    m_pWorker->join();
    onShowMessage(m_pJob->finishConversion(bOk));
}
