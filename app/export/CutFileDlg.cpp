#include "app/export/CutFileDlg.h"

#include "app/export/jobs/ConvertToMp4.h"
#include "app/play/MyThread.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/TitleWidget.h"

#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

const unsigned long kCancelWaitMs = 2000;

QPushButton* makeButton(const QString& strText, QWidget* parent)
{
    auto* button = new QPushButton(strText, parent);
    button->setObjectName("NormalToolButton");
    button->setFixedSize(75, 25);
    button->setAutoDefault(false);
    return button;
}

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
    : QDialog(parent), m_strFilePath(strFilePath)
{
    setObjectName("CCutFileDlg");
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Dialog);
    setWindowTitle(tr("Cut"));
    setMinimumWidth(460);

    CGlobalAppData* data = CGlobalAppData::instance();

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_pTitle = new CTitleWidget(this, false, this);
    m_pTitle->setTitle(tr("Cut"));
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

    auto* form = new QFormLayout;
    m_pFormatBox = new QComboBox(this);
    m_pFormatBox->addItem("H264");
    m_pFormatBox->addItem("MP4");
    m_pFormatBox->setCurrentIndex(0);
    m_pFormatBox->setFixedHeight(25);
    form->addRow(m_pFormatBox);
    m_pStartTime = makeTimeEdit(this);
    m_pEndTime = makeTimeEdit(this);
    form->addRow(tr("Start Time"), m_pStartTime);
    form->addRow(tr("End Time"), m_pEndTime);
    body->addLayout(form);

    m_pInfoLabel = new QLabel(this);
    body->addWidget(m_pInfoLabel);
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

    if (RecordSpanFromPath(m_strFilePath, &m_recordTimes)) {
        const int s = m_recordTimes.nStart, e = m_recordTimes.nEnd % 86400;
        m_pStartTime->setTime(QTime(s / 3600, s / 60 % 60, s % 60));
        m_pEndTime->setTime(QTime(e / 3600, e / 60 % 60, e % 60));
        m_pInfoLabel->setText(QStringLiteral("%1(%2_%3)")
                                  .arg(tr("Cut Range "), FormatTimeOfDay(m_recordTimes.nStart),
                                       FormatTimeOfDay(m_recordTimes.nEnd)));
    }

    connect(m_pTitle, &CTitleWidget::closeSignal, this, &CCutFileDlg::on_btnCancel_clicked);
    connect(m_pBtnOK, &QPushButton::clicked, this, &CCutFileDlg::on_btnOK_clicked);
    connect(m_pBtnCancel, &QPushButton::clicked, this, &CCutFileDlg::on_btnCancel_clicked);
    connect(m_pBtnBrowse, &QPushButton::clicked, this, &CCutFileDlg::on_btnBrowse_clicked);

    m_pJob = new CCutJob;
    m_pWorker = new CMyThread(this);
    connect(m_pJob, &CCutJob::updateProcess, this, &CCutFileDlg::onUpdateProcess, Qt::QueuedConnection);
    connect(m_pJob, &CCutJob::updateExportStatus, this, &CCutFileDlg::onUpdateStatus, Qt::QueuedConnection);
    connect(m_pJob, &CCutJob::showMessage, this, &CCutFileDlg::onShowMessage, Qt::QueuedConnection);
    connect(m_pJob, &CCutJob::convertFinishi, this, &CCutFileDlg::onConvertFinish, Qt::QueuedConnection);
}

CCutFileDlg::~CCutFileDlg()
{
    if (m_pWorker->isBusy()) {
        m_pJob->requestStop();
        CConvertToMp4::instance()->Cancel();
        m_pWorker->join();
    }
    delete m_pJob;
}

QString CCutFileDlg::outputPath() const
{
    // Only read once the worker is done with it.
    return m_pWorker->isBusy() ? QString() : m_pJob->outputPath();
}

void CCutFileDlg::on_btnBrowse_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select the path for record"),
                                                          CGlobalAppData::instance()->recordPath,
                                                          QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty()) {
        m_pPathEdit->setText(dir);
        m_pPathEdit->setCursorPosition(0);
    }
}

void CCutFileDlg::on_btnOK_clicked()
{
    if (!m_bStopped || m_pWorker->isBusy())
        return;
    m_pProgress->setRange(0, 1000);
    m_nFormat = m_pFormatBox->currentIndex();
    CCutJob::Params params;
    params.strSource = m_strFilePath;
    params.strDestFolder = m_pPathEdit->text().replace(QLatin1Char('\\'), QLatin1Char('/'));
    params.nFormat = m_nFormat;
    params.record = m_recordTimes;
    params.nCutStart = secondsOfDay(m_pStartTime->time());
    params.nCutEnd = secondsOfDay(m_pEndTime->time());
    CutRange range;
    if (!MakeCutRange(params.record, params.nCutStart, params.nCutEnd, &range)) {
        CMessageBox::information(this, tr("Prompt"), tr("Abnormal time"), tr("OK"));
        return;
    }
    m_pBtnOK->setEnabled(false);
    m_pJob->setParams(params);
    m_pJob->setDiskLock(&CGlobalAppData::instance()->diskLock);
    m_bStopped = false;
    m_bFinished = false;
    CCutJob* job = m_pJob;
    if (!m_pWorker->startJob([job] { job->run(); })) {
        m_bStopped = true;
        m_pBtnOK->setEnabled(true);
    }
}

void CCutFileDlg::on_btnCancel_clicked()
{
    if (!m_bStopped) {
        const int answer = CMessageBox::information(this, tr("Prompt"), tr("Whether to cancel cut recording"),
                                                    tr("OK"), tr("NO"));
        if (answer != 0 || m_bFinished)
            return;
        CConvertToMp4::instance()->Cancel();
        m_pJob->requestStop();
        m_bStopped = true;
        if (!m_pWorker->join(kCancelWaitMs))
            qDebug() << "Cut worker still busy after the cancel; the dialog waits for it when it goes";
    }
    QDialog::reject();
}

void CCutFileDlg::reject()
{
    on_btnCancel_clicked();
}

void CCutFileDlg::onUpdateProcess(int nPos)
{
    m_pProgress->setValue(nPos);
}

void CCutFileDlg::onUpdateStatus(QString strText)
{
    m_pInfoLabel->setText(strText);
}

void CCutFileDlg::onShowMessage(QString strText)
{
    if (m_bFinished || m_pJob->isStopped())
        return;  // cancelled meanwhile
    m_bFinished = true;
    m_bStopped = true;
    m_pWorker->join();
    CMessageBox::information(this, tr("Prompt"), strText, tr("OK"));
    accept();
}

void CCutFileDlg::onConvertFinish(bool bOk)
{
    if (m_bFinished || m_pJob->isStopped())
        return;
    m_pWorker->join();
    onShowMessage(m_pJob->finishConversion(bOk));
}
