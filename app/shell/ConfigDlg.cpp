#include "app/shell/ConfigDlg.h"

#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/ServiceAgreementDlg.h"
#include "app/shell/TitleWidget.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const int kBoxHeight = 25;

QLabel* makeLink(const QString& strText, QWidget* parent)
{
    auto* pLabel = new QLabel(QString("<a href=\"#\" style=\"color:#3AA6FF;\">%1</a>").arg(strText.toHtmlEscaped()),
                              parent);
    pLabel->setTextFormat(Qt::RichText);
    pLabel->setCursor(Qt::PointingHandCursor);
    return pLabel;
}

QLineEdit* makeBox(QWidget* parent, bool bReadOnly)
{
    auto* pEdit = new QLineEdit(parent);
    pEdit->setFixedHeight(kBoxHeight);
    pEdit->setReadOnly(bReadOnly);
    return pEdit;
}

QPushButton* makeButton(const QString& strText, QWidget* parent)
{
    auto* pButton = new QPushButton(strText, parent);
    pButton->setObjectName("NormalToolButton");
    // 75 x 25, wider when the text needs it.
    pButton->setMinimumSize(75, 25);
    pButton->setFixedHeight(25);
    pButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return pButton;
}

}  // namespace

CConfigDlg::CConfigDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("CConfigDlg");
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Dialog);
    setModal(true);

    auto* pOuter = new QVBoxLayout(this);
    pOuter->setContentsMargins(0, 0, 0, 0);
    pOuter->setSpacing(0);
    // At least 480 wide, and never narrower than its texts need: a minimum
    // set on the dialog itself would stop the layout from widening it.
    pOuter->addStrut(480);
    m_pTitle = new CTitleWidget(this, false, this);
    m_pTitle->setTitle(tr("Config"));
    connect(m_pTitle, &CTitleWidget::closeSignal, this, &QDialog::reject);
    pOuter->addWidget(m_pTitle);

    auto* pGrid = new QGridLayout();
    pGrid->setContentsMargins(24, 18, 24, 8);
    pGrid->setHorizontalSpacing(10);
    pGrid->setVerticalSpacing(10);

    m_pPicPath = makeBox(this, false);
    m_pRecordPath = makeBox(this, false);
    QPushButton* pBrowsePic = makeButton(tr("Browse"), this);
    QPushButton* pBrowseRecord = makeButton(tr("Browse"), this);
    connect(pBrowsePic, &QPushButton::clicked, this, &CConfigDlg::onBrowsePicPath);
    connect(pBrowseRecord, &QPushButton::clicked, this, &CConfigDlg::onBrowseRecordPath);

    m_pLanguage = new QComboBox(this);
    m_pLanguage->setFixedHeight(kBoxHeight);
    m_pLanguage->addItem(tr("English"), QString("English"));
    m_pLanguage->addItem(tr("SimpChinese"), QString("SimpChinese"));
    m_pLanguage->addItem(tr("Russian"), QString("Russian"));

    m_pStream = new QComboBox(this);
    m_pStream->setFixedHeight(kBoxHeight);
    m_pStream->addItem(tr("Main Stream"), 0);
    m_pStream->addItem(tr("Sub Stream"), 1);
    m_pStream->addItem(tr("Timelapse Video"), 5);

    m_pVersion = makeBox(this, true);
    m_pBuildDate = makeBox(this, true);

    int nRow = 0;
    pGrid->addWidget(new QLabel(tr("Pic Path"), this), nRow, 0);
    pGrid->addWidget(m_pPicPath, nRow, 1);
    pGrid->addWidget(pBrowsePic, nRow++, 2);
    pGrid->addWidget(new QLabel(tr("Record Path"), this), nRow, 0);
    pGrid->addWidget(m_pRecordPath, nRow, 1);
    pGrid->addWidget(pBrowseRecord, nRow++, 2);
    pGrid->addWidget(new QLabel(tr("Language"), this), nRow, 0);
    pGrid->addWidget(m_pLanguage, nRow++, 1);
    pGrid->addWidget(new QLabel(tr("Record Stream"), this), nRow, 0);
    pGrid->addWidget(m_pStream, nRow++, 1);
    pGrid->addWidget(new QLabel(tr("Version"), this), nRow, 0);
    pGrid->addWidget(m_pVersion, nRow++, 1);
    pGrid->addWidget(new QLabel(tr("Build Date"), this), nRow, 0);
    pGrid->addWidget(m_pBuildDate, nRow++, 1);
    pGrid->setColumnStretch(1, 1);
    pOuter->addLayout(pGrid);

    auto* pLinks = new QHBoxLayout();
    pLinks->setContentsMargins(24, 4, 24, 4);
    QLabel* pLicenses = makeLink(tr("Open Source Licenses"), this);
    QLabel* pAgreement = makeLink(tr("Service Agreements"), this);
    connect(pLicenses, &QLabel::linkActivated, this, &CConfigDlg::onOpenLicenses);
    connect(pAgreement, &QLabel::linkActivated, this, &CConfigDlg::onShowAgreement);
    pLinks->addWidget(pLicenses);
    pLinks->addSpacing(20);
    pLinks->addWidget(pAgreement);
    pLinks->addStretch(1);
    pOuter->addLayout(pLinks);

    auto* pNotice = new QLabel(tr("Language and record stream changes take effect after a restart."), this);
    pNotice->setObjectName("ConfigNotice");
    pNotice->setContentsMargins(24, 4, 24, 4);
    pNotice->setStyleSheet("QLabel{color:rgb(150,156,164);}");
    pOuter->addWidget(pNotice);

    auto* pButtons = new QHBoxLayout();
    pButtons->setContentsMargins(24, 10, 24, 18);
    pButtons->setSpacing(12);
    pButtons->addStretch(1);
    m_pOK = makeButton(tr("OK"), this);
    m_pCancel = makeButton(tr("Cancel"), this);
    pButtons->addWidget(m_pOK);
    pButtons->addWidget(m_pCancel);
    pOuter->addLayout(pButtons);
    connect(m_pOK, &QPushButton::clicked, this, &CConfigDlg::on_btnOK_clicked);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);

    fillFromSettings();
}

QDateTime CConfigDlg::buildDateTime(const char* szDate, const char* szTime)
{
    QString strDate = QString::fromLatin1(szDate);
    // "Dec  8 2026": the day is padded with a blank.
    if (strDate.size() > 4 && strDate.at(4) == QLatin1Char(' '))
        strDate[4] = QLatin1Char('0');
    const QDate date = QLocale::c().toDate(strDate, "MMM dd yyyy");
    const QTime time = QTime::fromString(QString::fromLatin1(szTime), "hh:mm:ss");
    return QDateTime(date, time);
}

void CConfigDlg::fillFromSettings()
{
    CGlobalAppData* pData = CGlobalAppData::instance();
    m_pPicPath->setText(pData->capturePath);
    m_pPicPath->setCursorPosition(0);
    m_pRecordPath->setText(pData->recordPath);
    m_pRecordPath->setCursorPosition(0);

    const int nLanguage = m_pLanguage->findData(pData->language);
    m_pLanguage->setCurrentIndex(nLanguage >= 0 ? nLanguage : 0);
    const int nStream = m_pStream->findData(pData->recordFormat);
    m_pStream->setCurrentIndex(nStream >= 0 ? nStream : 0);

    // "Info/Version" is kept as the settings file has it; without one the
    // box shows the program's own version.
    m_pVersion->setText(pData->version.isEmpty() ? QStringLiteral(ORVELLE_VERSION) : pData->version);
    static const QDateTime built = buildDateTime(__DATE__, __TIME__);
    m_pBuildDate->setText(
        QString("%1 %2").arg(built.date().toString("yyyy.MM.dd"), built.time().toString("hh:mm:ss")));
}

void CConfigDlg::onBrowsePicPath()
{
    const QString strDir = QFileDialog::getExistingDirectory(
        this, tr("Select the path for capture"), CGlobalAppData::instance()->capturePath, QFileDialog::ShowDirsOnly);
    if (!strDir.isEmpty())
        m_pPicPath->setText(strDir);
}

void CConfigDlg::onBrowseRecordPath()
{
    const QString strDir = QFileDialog::getExistingDirectory(
        this, tr("Select the path for record"), CGlobalAppData::instance()->recordPath, QFileDialog::ShowDirsOnly);
    if (!strDir.isEmpty())
        m_pRecordPath->setText(strDir);
}

void CConfigDlg::onOpenLicenses()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(CGlobalAppData::appDir() + "/license"));
}

void CConfigDlg::onShowAgreement()
{
    CServiceAgreementDlg dlg(CGlobalAppData::appDir() + "/copyright/copyright_zh.txt");
    dlg.exec();
}

void CConfigDlg::on_btnOK_clicked()
{
    CGlobalAppData* pData = CGlobalAppData::instance();
    // An emptied box keeps the folder in use: captures and clips always need one.
    if (!m_pRecordPath->text().trimmed().isEmpty())
        pData->recordPath = m_pRecordPath->text().trimmed();
    if (!m_pPicPath->text().trimmed().isEmpty())
        pData->capturePath = m_pPicPath->text().trimmed();

    const int nFormat = m_pStream->currentData().toInt();
    const QString strLanguage = m_pLanguage->currentData().toString();
    if (strLanguage != pData->language || nFormat != pData->recordFormat) {
        pData->language = strLanguage;
        pData->recordFormat = nFormat;
        const int nChoice = CMessageBox::information(this, tr("Prompt"),
                                                     tr("The change will take effect after a restart of Orvelle."),
                                                     tr("Restart"), tr("Later"));
        if (nChoice == 0) {
            m_bRestart = true;
            QCoreApplication::exit(RestartExitCode);
        }
    }
    accept();
}
