#include "app/export/JobDialog.h"

#include "app/export/CaseDetailsBox.h"
#include "app/export/jobs/ConvertToMp4.h"
#include "app/play/MyThread.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/TitleWidget.h"

#include <QComboBox>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// How long a confirmed cancel waits for the worker before the dialog closes.
const unsigned long kCancelWaitMs = 2000;

}  // namespace

CJobDialog::CJobDialog(const Texts& texts, const QString& strObjectName, QWidget* parent)
    : QDialog(parent), m_texts(texts)
{
    setObjectName(strObjectName);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Dialog);
    setWindowTitle(m_texts.title);

    m_pOuter = new QVBoxLayout(this);
    m_pOuter->setContentsMargins(0, 0, 0, 0);
    m_pOuter->setSpacing(0);
    // At least 460 wide, and never narrower than its texts need.
    m_pOuter->addStrut(460);
    m_pTitle = new CTitleWidget(this, false, this);
    m_pTitle->setTitle(m_texts.title);
    m_pOuter->addWidget(m_pTitle);

    m_pBody = new QVBoxLayout;
    m_pBody->setContentsMargins(16, 12, 16, 12);
    m_pBody->setSpacing(10);

    auto* pathRow = new QHBoxLayout;
    m_pPathEdit = new QLineEdit(CGlobalAppData::instance()->recordPath, this);
    m_pPathEdit->setFixedHeight(25);
    m_pPathEdit->setCursorPosition(0);
    m_pBtnBrowse = makeButton(m_texts.browse, this);
    pathRow->addWidget(m_pPathEdit, 1);
    pathRow->addWidget(m_pBtnBrowse);
    m_pBody->addLayout(pathRow);

    m_pFormatBox = new QComboBox(this);
    m_pFormatBox->addItem("H264");
    m_pFormatBox->addItem("MP4");
    m_pFormatBox->setCurrentIndex(0);
    m_pFormatBox->setFixedHeight(25);

    m_pWorker = new CMyThread(this);
}

void CJobDialog::finishFrame(QLabel* pStatusLabel)
{
    m_pCaseBox = new CCaseDetailsBox(this);
    m_pCaseBox->setDetails(CGlobalAppData::instance()->caseDetails);
    m_pBody->addWidget(m_pCaseBox);
    connect(m_pCaseBox, &CCaseDetailsBox::expandedChanged, this, &CJobDialog::fitToContents);

    m_pStatusLabel = pStatusLabel;
    m_pBody->addWidget(m_pStatusLabel);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setFixedHeight(10);
    m_pProgress->setRange(0, 1000);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pBody->addWidget(m_pProgress);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    m_pBtnOK = makeButton(m_texts.start, this);
    m_pBtnCancel = makeButton(m_texts.cancel, this);
    buttonRow->addWidget(m_pBtnOK);
    buttonRow->addWidget(m_pBtnCancel);
    m_pBody->addLayout(buttonRow);
    m_pOuter->addLayout(m_pBody);

    connect(m_pTitle, &CTitleWidget::closeSignal, this, &CJobDialog::on_btnCancel_clicked);
    connect(m_pBtnOK, &QPushButton::clicked, this, &CJobDialog::on_btnOK_clicked);
    connect(m_pBtnCancel, &QPushButton::clicked, this, &CJobDialog::on_btnCancel_clicked);
    connect(m_pBtnBrowse, &QPushButton::clicked, this, &CJobDialog::on_btnBrowse_clicked);
}

QPushButton* CJobDialog::makeButton(const QString& strText, QWidget* parent)
{
    auto* button = new QPushButton(strText, parent);
    button->setObjectName("NormalToolButton");
    // 75 x 25, wider when the text needs it.
    button->setMinimumSize(75, 25);
    button->setFixedHeight(25);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    return button;
}

CaseDetails CJobDialog::takeCaseDetails()
{
    const CaseDetails details = m_pCaseBox->details();
    CGlobalAppData::instance()->caseDetails = details;
    return details;
}

void CJobDialog::fitToContents()
{
    // Opening the case details grows the dialog by itself (the layout's
    // minimum); folding them gives the room back. The width stays, so the
    // dialog does not jump sideways.
    m_pOuter->activate();
    const int w = qMax(width(), minimumSizeHint().width());
    const int h = hasHeightForWidth() ? heightForWidth(w) : sizeHint().height();
    resize(w, qMax(h, minimumSizeHint().height()));
}

void CJobDialog::startJob(std::function<void()> fn)
{
    m_pBtnOK->setEnabled(false);
    m_bStopped = false;
    m_bFinished = false;
    if (!m_pWorker->startJob(std::move(fn))) {
        m_bStopped = true;
        m_pBtnOK->setEnabled(true);
    }
}

void CJobDialog::stopAndWait()
{
    if (m_pWorker->isBusy()) {
        requestJobStop();
        CConvertToMp4::instance()->Cancel();
        m_pWorker->join();
    }
}

void CJobDialog::on_btnBrowse_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, m_texts.selectFolder,
                                                          CGlobalAppData::instance()->recordPath,
                                                          QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty()) {
        m_pPathEdit->setText(dir);
        m_pPathEdit->setCursorPosition(0);
    }
}

void CJobDialog::on_btnCancel_clicked()
{
    if (m_pCancelQuestion)
        return;  // already asked
    if (!m_bStopped) {
        int answer = -1;
        {
            CMessageBox question(this, CMessageBox::Information, m_texts.prompt, m_texts.cancelQuestion,
                                 QStringList{m_texts.ok, m_texts.no});
            m_pCancelQuestion = &question;
            answer = question.exec();
            m_pCancelQuestion = nullptr;
        }
        if (m_bFinished) {
            // The job ended while the question was open and closed it:
            // nothing is left to cancel, the outcome comes now.
            showOutcome(m_strOutcome);
            return;
        }
        if (answer != 0)
            return;  // "NO"
        CConvertToMp4::instance()->Cancel();
        requestJobStop();
        m_bStopped = true;
        if (!m_pWorker->join(kCancelWaitMs)) {
            qDebug("%s worker still busy after the cancel; the dialog waits for it when it goes", m_texts.jobName);
        } else {
            const QString note = jobStoppedNote();
            if (!note.isEmpty()) {
                showOutcome(note);
                return;
            }
        }
    }
    QDialog::reject();
}

void CJobDialog::reject()
{
    // Escape and the title bar's close act as Cancel.
    on_btnCancel_clicked();
}

void CJobDialog::onUpdateProcess(int nPos)
{
    m_pProgress->setValue(nPos);
}

void CJobDialog::onUpdateStatus(QString strText)
{
    m_pStatusLabel->setText(strText);
}

void CJobDialog::onShowMessage(QString strText)
{
    if (m_bFinished || isJobStopped())
        return;  // cancelled meanwhile
    m_bFinished = true;
    m_bStopped = true;
    m_pWorker->join();
    if (m_pCancelQuestion) {
        // Close the question first; the cancel handler, waiting in it,
        // shows the outcome once it has returned.
        m_strOutcome = strText;
        m_pCancelQuestion->reject();
        return;
    }
    showOutcome(strText);
}

void CJobDialog::onConvertFinish(bool bOk)
{
    if (m_bFinished || isJobStopped())
        return;
    m_pWorker->join();
    onShowMessage(finishJobConversion(bOk));
}

void CJobDialog::showOutcome(const QString& strText)
{
    const QString report = jobReportPath();
    const bool bReport = !report.isEmpty() && QFileInfo(report).isFile();
    QStringList buttons{m_texts.ok};
    if (bReport)
        buttons << tr("Open Report");
    CMessageBox box(this, CMessageBox::Information, m_texts.prompt, strText, buttons);
    if (bReport) {
        QPushButton* pOpen = box.buttons().at(1);
        pOpen->setObjectName("NormalToolButton");
        disconnect(pOpen, &QPushButton::clicked, &box, nullptr);
        connect(pOpen, &QPushButton::clicked, &box, [&box, pOpen, report, strText] {
            if (openReport(report)) {
                box.accept();
                return;
            }
            // Say where the report is rather than nothing at all.
            qWarning().noquote() << "no viewer could be started for the report" << report;
            pOpen->setEnabled(false);
            box.setText(strText + "\n\n"
                        + tr("No program could open the report. It is saved as:\n%1")
                              .arg(QDir::toNativeSeparators(report)));
        });
    }
    box.exec();
    accept();
}

bool CJobDialog::openReport(const QString& strPath)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(strPath));
}
