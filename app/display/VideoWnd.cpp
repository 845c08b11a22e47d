#include "app/display/VideoWnd.h"

#include "app/display/VideoFrame.h"

#include <QHBoxLayout>

CVideoWnd::CVideoWnd(int nIndex, QWidget* parent) : QWidget(parent), m_nIndex(nIndex)
{
    auto* pOuter = new QHBoxLayout(this);
    pOuter->setContentsMargins(0, 0, 0, 0);
    pOuter->setSpacing(0);
    auto* pPanel = new QWidget(this);
    pPanel->setObjectName("VideoWnd");
    pPanel->setAttribute(Qt::WA_StyledBackground);
    pOuter->addWidget(pPanel);

    auto* pInner = new QHBoxLayout(pPanel);
    pInner->setContentsMargins(1, 1, 1, 1);
    pInner->setSpacing(0);
    m_pFrame = new CVideoFrame(pPanel);
    m_pFrame->setWndIndex(nIndex);
    pInner->addWidget(m_pFrame);
    m_hWnd = m_pFrame->videoHandle();

    setStyleSheet("#VideoWnd{background-color:rgb(0,0,0);border:1px solid #828282;}");

    connect(m_pFrame, &CVideoFrame::doubleClicked, this, &CVideoWnd::doubleClicked);
    connect(m_pFrame, &CVideoFrame::activeWnd, this, &CVideoWnd::activeWnd);
    connect(m_pFrame, &CVideoFrame::sig_RectanglePoint, this, &CVideoWnd::sig_RectanglePoint);
    connect(m_pFrame, &CVideoFrame::sig_selectRegion, this, &CVideoWnd::sig_selectRegion);
}

QRect CVideoWnd::zoomRegion() const
{
    return m_pFrame->zoomRegion();
}

void CVideoWnd::setZoomRegion(const QRect& rect)
{
    m_pFrame->setZoomRegion(rect);
}

bool CVideoWnd::regionMode() const
{
    return m_pFrame->regionMode();
}

void CVideoWnd::setRegionMode(bool bOn)
{
    m_pFrame->setRegionMode(bOn);
}
