#include "app/records/RecordListManage.h"

#include "app/records/DirManagePage.h"
#include "app/records/DiskManagePage.h"
#include "wfs/file/path_name.h"

#include <QTabWidget>
#include <QVBoxLayout>

CRecordListManage::CRecordListManage(QWidget* parent)
    : QWidget(parent)
{
    m_pTabWidget = new QTabWidget(this);
    m_pDiskPage = new CDiskManagePage(m_pTabWidget);
    m_pLocalPage = new CDirManagePage(m_pTabWidget);
    m_pTabWidget->addTab(m_pDiskPage, tr("Disk"));
    m_pTabWidget->addTab(m_pLocalPage, tr("Local"));
    m_pTabWidget->setCurrentIndex(0);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pTabWidget);

    for (CRecordPage* pPage : {static_cast<CRecordPage*>(m_pDiskPage), static_cast<CRecordPage*>(m_pLocalPage)}) {
        connect(pPage, &CRecordPage::playRecord, this, &CRecordListManage::playRecord);
        connect(pPage, &CRecordPage::selectVideoWnd, this, &CRecordListManage::selectVideoWnd);
        connect(pPage, &CRecordPage::changeWndMode, this, &CRecordListManage::changeWndMode);
        connect(pPage, &CRecordPage::syncPlay, this, &CRecordListManage::syncPlay);
        connect(pPage, &CRecordPage::daySelected, this, [this, pPage](TimelineDay day) {
            // A page that drops its tree clears only a day of its own.
            if (day.rows.isEmpty() && !day.date.isValid() && pPage != m_pDayPage)
                return;
            m_pDayPage = pPage;
            emit daySelected(day);
        });
    }
    connect(m_pDiskPage, &CDiskManagePage::diskChanged, this, &CRecordListManage::diskChanged);
    connect(m_pTabWidget, &QTabWidget::currentChanged, this, &CRecordListManage::onTabCurrentIndexChanged);
}

void CRecordListManage::InitialLoad()
{
    m_pDiskPage->InitialLoad();
}

void CRecordListManage::StopLoad()
{
    m_pDiskPage->StopLoad();
}

void CRecordListManage::onPlayRecordResponse()
{
    if (m_pTabWidget->currentIndex() == 0)
        m_pDiskPage->onPlayRecordResponse();
    else
        m_pLocalPage->onPlayRecordResponse();
}

void CRecordListManage::onSelectRecord(QString strFileName)
{
    if (wfs_is_recorder_path(strFileName.toUtf8().constData())) {
        m_pTabWidget->setCurrentIndex(0);
        m_pDiskPage->onSelectRecord(strFileName);
    } else {
        m_pTabWidget->setCurrentIndex(1);
        m_pLocalPage->onSelectRecord(strFileName);
    }
}

void CRecordListManage::onTabCurrentIndexChanged(int nIndex)
{
    CRecordPage* pPage = nIndex == 0 ? static_cast<CRecordPage*>(m_pDiskPage) : m_pLocalPage;
    pPage->announceLastDay();
}

void CRecordListManage::onExportRange(TimelineDay day, QDateTime from, QDateTime to)
{
    CRecordPage* pPage = day.nOrigin == TimelineDay::FromLocalFolder ? static_cast<CRecordPage*>(m_pLocalPage)
                                                                      : m_pDiskPage;
    pPage->runRangeExport(day, from, to);
}
