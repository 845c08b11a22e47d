#include "app/export/RangeExportDlg.h"

#include "app/export/jobs/RangeExportJob.h"
#include "app/play/MyThread.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

const int kBoxesPerRow = 8;

QDateTimeEdit* makeDateTimeEdit(const QDateTime& value, QWidget* parent)
{
    auto* edit = new QDateTimeEdit(value, parent);
    edit->setDisplayFormat("yyyy-MM-dd hh:mm:ss");
    edit->setFixedHeight(25);
    return edit;
}

}  // namespace

CRangeExportDlg::CRangeExportDlg(const TimelineDay& day, const QDateTime& from, const QDateTime& to,
                                 QWidget* parent)
    : CJobDialog({tr("Export range"), tr("Browse"), tr("Select the path for record"), tr("Start"), tr("Cancel"),
                  tr("Prompt"), tr("OK"), tr("NO"), tr("Whether to cancel the range export"), "RangeExport"},
                 "CRangeExportDlg", parent),
      m_day(day)
{
    auto* form = new QFormLayout;
    form->addRow(tr("Format"), m_pFormatBox);
    m_pFrom = makeDateTimeEdit(from, this);
    m_pTo = makeDateTimeEdit(to, this);
    form->addRow(tr("From"), m_pFrom);
    form->addRow(tr("To"), m_pTo);
    body()->addLayout(form);

    auto* channelsLabel = new QLabel(tr("Channels"), this);
    body()->addWidget(channelsLabel);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    for (int i = 0; i < day.rows.size(); ++i) {
        auto* box = new QCheckBox(CRangeExportJob::ChannelText(day.rows[i].nChannel), this);
        box->setChecked(true);
        grid->addWidget(box, i / kBoxesPerRow, i % kBoxesPerRow);
        m_channelBoxes << box;
    }
    body()->addLayout(grid);

    finishFrame(new QLabel(this));
    m_pStatusLabel->setWordWrap(true);
    // The whole job's progress below the file's, before the buttons.
    auto* overallRow = new QHBoxLayout;
    overallRow->addWidget(new QLabel(tr("All files"), this));
    m_pOverall = new QProgressBar(this);
    m_pOverall->setObjectName("RangeOverallProgress");
    m_pOverall->setFixedHeight(10);
    m_pOverall->setRange(0, 1000);
    m_pOverall->setValue(0);
    m_pOverall->setTextVisible(false);
    overallRow->addWidget(m_pOverall, 1);
    body()->insertLayout(body()->count() - 1, overallRow);

    connect(m_pFrom, &QDateTimeEdit::dateTimeChanged, this, &CRangeExportDlg::onRangeChanged);
    connect(m_pTo, &QDateTimeEdit::dateTimeChanged, this, &CRangeExportDlg::onRangeChanged);
    for (QCheckBox* box : qAsConst(m_channelBoxes))
        connect(box, &QCheckBox::toggled, this, &CRangeExportDlg::onRangeChanged);
    onRangeChanged();

    m_pJob = new CRangeExportJob;  // lives on the GUI thread, runs on the worker; deleted by us
    connect(m_pJob, &CRangeExportJob::updateProcess, this, &CRangeExportDlg::onUpdateProcess,
            Qt::QueuedConnection);
    connect(m_pJob, &CRangeExportJob::updateOverall, m_pOverall, &QProgressBar::setValue, Qt::QueuedConnection);
    connect(m_pJob, &CRangeExportJob::updateExportStatus, this, &CRangeExportDlg::onUpdateStatus,
            Qt::QueuedConnection);
    connect(m_pJob, &CRangeExportJob::showMessage, this, &CRangeExportDlg::onShowMessage, Qt::QueuedConnection);
}

CRangeExportDlg::~CRangeExportDlg()
{
    stopAndWait();
    delete m_pJob;
}

QList<int> CRangeExportDlg::checkedChannels() const
{
    QList<int> channels;
    for (int i = 0; i < m_channelBoxes.size(); ++i) {
        if (m_channelBoxes[i]->isChecked())
            channels << m_day.rows.value(i).nChannel;
    }
    return channels;
}

void CRangeExportDlg::onRangeChanged()
{
    if (isRunning())
        return;
    CRangeExportJob::Params params;
    params.candidates = m_day.candidates;
    params.channels = checkedChannels();
    params.from = m_pFrom->dateTime();
    params.to = m_pTo->dateTime();
    QVector<CRangeExportJob::Piece> pieces;
    QList<int> empty;
    QString error;
    if (!CRangeExportJob::plan(params, &pieces, &empty, &error)) {
        m_pStatusLabel->setText(error);
        return;
    }
    QString text = tr("Files: %1, channels: %2").arg(pieces.size()).arg(params.channels.size() - empty.size());
    if (!empty.isEmpty())
        text += QLatin1Char('\n') + CRangeExportJob::NoRecordingText(empty);
    m_pStatusLabel->setText(text);
}

void CRangeExportDlg::requestJobStop()
{
    m_pJob->requestStop();
}

bool CRangeExportDlg::isJobStopped() const
{
    return m_pJob->isStopped();
}

QString CRangeExportDlg::finishJobConversion(bool)
{
    // The job converts each file itself and ends with one message.
    return QString();
}

QString CRangeExportDlg::jobReportPath() const
{
    // Only read once the worker is done with it.
    return m_pWorker->isBusy() ? QString() : m_pJob->reportPath();
}

void CRangeExportDlg::on_btnOK_clicked()
{
    if (isRunning() || m_pWorker->isBusy())
        return;
    CRangeExportJob::Params params;
    params.candidates = m_day.candidates;
    params.channels = checkedChannels();
    params.from = m_pFrom->dateTime();
    params.to = m_pTo->dateTime();
    params.strDestFolder = pathEdit()->text().replace(QLatin1Char('\\'), QLatin1Char('/'));
    m_nFormat = m_pFormatBox->currentIndex();
    params.nFormat = m_nFormat;
    // A window that cannot be exported is refused before anything starts.
    QVector<CRangeExportJob::Piece> pieces;
    QList<int> empty;
    QString error;
    if (!CRangeExportJob::plan(params, &pieces, &empty, &error)) {
        CMessageBox::information(this, tr("Prompt"), error, tr("OK"));
        return;
    }
    progressBar()->setRange(0, 1000);
    m_pOverall->setValue(0);
    m_pJob->setParams(params);
    m_pJob->setDiskLock(&CGlobalAppData::instance()->diskLock);
    m_pJob->setCaseDetails(takeCaseDetails());
    CRangeExportJob* job = m_pJob;
    startJob([job] { job->run(); });
}
