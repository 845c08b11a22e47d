#include "app/shell/ServiceAgreementDlg.h"

#include "app/shell/TitleWidget.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CServiceAgreementDlg::CServiceAgreementDlg(const QString& strFile, QWidget* parent) : QDialog(parent)
{
    setObjectName("CServiceAgreementDlg");
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog);
    setModal(true);
    setFixedSize(Width, Height);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    auto* pTitle = new CTitleWidget(this, false, this);
    pTitle->setTitle(tr("Service Agreements"));
    connect(pTitle, &CTitleWidget::closeSignal, this, &QDialog::reject);
    pLayout->addWidget(pTitle);

    m_pText = new QPlainTextEdit(this);
    m_pText->setReadOnly(true);
    QFile file(strFile);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        m_pText->setPlainText(QString::fromUtf8(file.readAll()));
    auto* pBody = new QVBoxLayout();
    pBody->setContentsMargins(12, 12, 12, 12);
    pBody->addWidget(m_pText);
    pLayout->addLayout(pBody, 1);

    m_pButton = new QPushButton(tr("I already know"), this);
    m_pButton->setObjectName("NormalToolButton");
    // At least 100 x 30, wider when the text needs it.
    m_pButton->setMinimumSize(100, 30);
    m_pButton->setFixedHeight(30);
    m_pButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_pButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* pRow = new QHBoxLayout();
    pRow->setContentsMargins(0, 0, 0, 14);
    pRow->addStretch(1);
    pRow->addWidget(m_pButton);
    pRow->addStretch(1);
    pLayout->addLayout(pRow);
}

QString CServiceAgreementDlg::text() const
{
    return m_pText->toPlainText();
}
