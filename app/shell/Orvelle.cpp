#include "app/shell/Orvelle.h"

#include "app/display/DisplayBox.h"
#include "app/display/TimelinePanel.h"
#include "app/shell/ConfigDlg.h"
#include "app/shell/MessageBox.h"
#include "app/shell/TitleWidget.h"

#include "app/records/RecordListManage.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>

COrvelle::COrvelle(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setObjectName("COrvelle");
    setAttribute(Qt::WA_StyledBackground);

    m_pTitle = new CTitleWidget(this, true, this);
    m_pTitle->setFixedHeight(CTitleWidget::kHeight);
    auto* pRecordList = new CRecordListManage(this);
    m_pRecordList = pRecordList;
    m_pRecordList->setFixedWidth(220);
    m_pRecordList->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_pDisplayBox = new CDisplayBox(this);
    m_pDisplayBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto* pLayout = new QGridLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pTitle, 0, 0, 1, 4);
    pLayout->addWidget(m_pRecordList, 1, 0, 1, 1);
    pLayout->addWidget(m_pDisplayBox, 1, 1, 1, 3);

    connect(m_pTitle, &CTitleWidget::closeSignal, this, &COrvelle::close);
    connect(m_pTitle, &CTitleWidget::configSignal, this, &COrvelle::onBaseConfig);
    connect(pRecordList, &CRecordListManage::playRecord, m_pDisplayBox, &CDisplayBox::onPlayRecord);
    connect(pRecordList, &CRecordListManage::selectVideoWnd, m_pDisplayBox, &CDisplayBox::onSelectVideoWnd);
    connect(pRecordList, &CRecordListManage::changeWndMode, m_pDisplayBox, &CDisplayBox::onChangeWndMode);
    connect(pRecordList, &CRecordListManage::syncPlay, m_pDisplayBox, &CDisplayBox::onSyncPlay);
    connect(pRecordList, &CRecordListManage::diskChanged, m_pDisplayBox, &CDisplayBox::onDiskChanged);
    connect(m_pDisplayBox, &CDisplayBox::playRecordRequest, pRecordList, &CRecordListManage::onPlayRecordResponse);
    connect(m_pDisplayBox, &CDisplayBox::selectRecord, pRecordList, &CRecordListManage::onSelectRecord);

    // The day timeline under the video grid.
    m_pTimeline = new CTimelinePanel(m_pDisplayBox);
    m_pDisplayBox->setTimeline(m_pTimeline);
    m_pTimeline->attachDisplayBox(m_pDisplayBox);
    connect(pRecordList, &CRecordListManage::daySelected, m_pTimeline, &CTimelinePanel::setDay);
    connect(m_pTimeline, &CTimelinePanel::exportRange, pRecordList, &CRecordListManage::onExportRange);

    resize(DefaultWidth, DefaultHeight);
    QScreen* pScreen = screen() ? screen() : QGuiApplication::primaryScreen();
    if (pScreen)
        move(centredPosition(pScreen->geometry(), size()));

    m_pFade = new QPropertyAnimation(this, "windowOpacity", this);
    m_pFade->setDuration(FadeInMs);
    m_pFade->setStartValue(0.0);
    m_pFade->setEndValue(1.0);
    m_pFade->start();
    activateWindow();
}

COrvelle::~COrvelle() = default;

QPoint COrvelle::centredPosition(const QRect& screen, const QSize& window)
{
    return QPoint(screen.x() + (screen.width() - window.width()) / 2,
                  screen.y() + (screen.height() - window.height()) / 2);
}

void COrvelle::loadDisks()
{
    m_pRecordList->InitialLoad();
}

void COrvelle::stopLoading()
{
    m_pRecordList->StopLoad();
}

void COrvelle::onBaseConfig()
{
    CConfigDlg dlg(nullptr);
    dlg.exec();
}

void COrvelle::closeEvent(QCloseEvent* event)
{
    const int nChoice = CMessageBox::question(this, tr("Prompt"), QString("%1?").arg(tr("Do you want to close")),
                                              tr("Yes"), tr("No"));
    if (nChoice == 0)
        event->accept();
    else
        event->ignore();
}
