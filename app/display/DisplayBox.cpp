#include "app/display/DisplayBox.h"

#include "app/display/PlayButtons.h"
#include "app/display/VideoFrame.h"
#include "app/display/VideoWnd.h"
#include "app/display/ZoomRegion.h"
#include "app/play/PlayManage.h"
#include "app/shell/FancyMessageBox.h"
#include "app/shell/GlobalAppData.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDir>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QSet>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

const char* const kActiveStyle = "#VideoWnd{background-color:rgb(0,0,0);border:1px solid #0489F5;}";
const char* const kInactiveStyle = "#VideoWnd{background-color:rgb(0,0,0);border:0px solid #828282;}";

// Display boxes alive: the play manager's stop notifications name their box
// by pointer and may outlive it.
QSet<CDisplayBox*>& liveBoxes()
{
    static QSet<CDisplayBox*> boxes;
    return boxes;
}

CPlayManage* manager()
{
    return CPlayManage::instance();
}

}  // namespace

CDisplayBox::CDisplayBox(QWidget* parent) : QWidget(parent)
{
    setObjectName("CDisplayBox");
    setAttribute(Qt::WA_StyledBackground);
    liveBoxes().insert(this);
    m_strAppDir = CGlobalAppData::appDir();

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    m_pVideoFrame = new QFrame(this);
    m_pVideoFrame->setObjectName("VideoFrame");
    m_pVideoFrame->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pControlFrame = new QFrame(this);
    m_pControlFrame->setObjectName("ControlFrame");
    pLayout->addWidget(m_pVideoFrame);
    pLayout->addWidget(m_pControlFrame);

    CPlayManage* pManage = manager();
    for (int i = 0; i < MaxWindows; ++i) {
        auto* pWnd = new CVideoWnd(i, m_pVideoFrame);
        pWnd->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_pVideoWnd[i] = pWnd;
        pManage->AddPlay(pWnd->videoHandle(), i, &CDisplayBox::wndClosedCallback, this);
        connect(pWnd, &CVideoWnd::activeWnd, this, qOverload<int>(&CDisplayBox::onActive));
        connect(pWnd, &CVideoWnd::doubleClicked, this, &CDisplayBox::onWndDoubleClicked);
        connect(pWnd, &CVideoWnd::sig_selectRegion, this, &CDisplayBox::slot_SelectRegion);
        connect(pWnd, &CVideoWnd::sig_RectanglePoint, this, &CDisplayBox::slot_RectanglePoint);
    }
    pManage->StartTimer();
    onActive(0, true);
    onWndNoChanged(4);

    buildControlFrame(m_pControlFrame);
    installEventFilter(this);
    m_pSlider->installEventFilter(this);

    m_pSeekHoldTimer = new QTimer(this);
    m_pSeekHoldTimer->setSingleShot(true);
    connect(m_pSeekHoldTimer, &QTimer::timeout, this, [this] { m_bSliderFollows = true; });

    connect(m_pBtnGroup, &QButtonGroup::idClicked, this, &CDisplayBox::onControlBtnClicked);
    connect(this, &CDisplayBox::updateBtnStatus, this, &CDisplayBox::onUpdateBtnStatus);
    m_nPollTimer = startTimer(PollIntervalMs);
}

CDisplayBox::~CDisplayBox()
{
    liveBoxes().remove(this);
}

void CDisplayBox::buildControlFrame(QFrame* pControl)
{
    pControl->setFixedHeight(100);
    pControl->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* pLayout = new QVBoxLayout(pControl);
    pLayout->setContentsMargins(0, 5, 0, 20);
    pLayout->setSpacing(0);

    m_pIndexLabel = new QLabel(tr("The file index is being read and the progress bar cannot be operated"), pControl);
    m_pIndexLabel->setFixedHeight(13);
    m_pIndexLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pIndexLabel->setStyleSheet("QLabel{padding-right:10px;}");
    QFont font = m_pIndexLabel->font();
    font.setPointSize(7);
    m_pIndexLabel->setFont(font);
    m_pIndexLabel->hide();

    m_pSlider = new QSlider(Qt::Horizontal, pControl);
    m_pSlider->setRange(0, 1000);
    m_pSlider->setFixedHeight(30);
    m_pSlider->setEnabled(false);

    auto* pRow = new QHBoxLayout();
    pRow->setSpacing(60);
    pRow->addStretch(1);
    m_pBtnGroup = new QButtonGroup(this);
    for (int i = 0; i < playbuttons::Count; ++i) {
        auto* pButton = new QToolButton(pControl);
        pButton->setFixedSize(40, 40);
        pButton->setFocusPolicy(Qt::NoFocus);
        m_pBtnGroup->addButton(pButton, i);
        pRow->addWidget(pButton);
        const playbuttons::Look look = playbuttons::initialLook(i);
        setButtonLook(i, look.strIcon, look.strTip);
    }
    pRow->addStretch(1);
    updateButtonsEnabled(isOpen(m_nActiveWnd));

    pLayout->addWidget(m_pIndexLabel);
    pLayout->addWidget(m_pSlider);
    pLayout->addLayout(pRow);
}

CVideoWnd* CDisplayBox::videoWnd(int nIndex) const
{
    return (nIndex >= 0 && nIndex < MaxWindows) ? m_pVideoWnd[nIndex] : nullptr;
}

QToolButton* CDisplayBox::controlButton(int nId) const
{
    return qobject_cast<QToolButton*>(m_pBtnGroup->button(nId));
}

QString CDisplayBox::buttonIcon(int nId) const
{
    return (nId >= 0 && nId < playbuttons::Count) ? m_strButtonIcon[nId] : QString();
}

void CDisplayBox::setButtonLook(int nId, const QString& strIcon, const QString& strTip)
{
    QAbstractButton* pButton = m_pBtnGroup->button(nId);
    if (!pButton)
        return;
    m_strButtonIcon[nId] = strIcon;
    pButton->setStyleSheet(playbuttons::styleSheet(m_strAppDir, strIcon));
    pButton->setToolTip(strTip);
}

// ---------------------------------------------------------------------------
// Windows and splits

bool CDisplayBox::isOpen(int nIndex) const
{
    return playcodes::IsOpenStatus(manager()->GetPlayStatus(nIndex));
}

bool CDisplayBox::anyOpen() const
{
    for (int i = 0; i < MaxWindows; ++i) {
        if (isOpen(i))
            return true;
    }
    return false;
}

bool CDisplayBox::anySync() const
{
    for (int i = 0; i < MaxWindows; ++i) {
        if (isOpen(i) && manager()->IsSync(i))
            return true;
    }
    return false;
}

void CDisplayBox::closeAll()
{
    for (int i = 0; i < MaxWindows; ++i)
        manager()->Stop(i);
}

void CDisplayBox::layoutGrid(int nSingle)
{
    delete m_pVideoGrid;
    m_pVideoGrid = new QGridLayout(m_pVideoFrame);
    m_pVideoGrid->setContentsMargins(1, 1, 1, 1);
    m_pVideoGrid->setSpacing(1);

    const int n = m_nWndCount;
    if (nSingle >= 0) {
        // The shown window alone in the grid: hidden cells would keep their
        // share of the frame and leave it in its small corner.
        m_pVideoGrid->addWidget(m_pVideoWnd[nSingle], 0, 0);
    } else if (n == 6) {
        m_pVideoGrid->addWidget(m_pVideoWnd[0], 0, 0, 2, 2);
        m_pVideoGrid->addWidget(m_pVideoWnd[1], 0, 2);
        m_pVideoGrid->addWidget(m_pVideoWnd[2], 1, 2);
        m_pVideoGrid->addWidget(m_pVideoWnd[3], 2, 0);
        m_pVideoGrid->addWidget(m_pVideoWnd[4], 2, 1);
        m_pVideoGrid->addWidget(m_pVideoWnd[5], 2, 2);
    } else if (n == 8) {
        m_pVideoGrid->addWidget(m_pVideoWnd[0], 0, 0, 3, 3);
        for (int i = 1; i <= 3; ++i)
            m_pVideoGrid->addWidget(m_pVideoWnd[i], i - 1, 3);
        for (int i = 4; i <= 7; ++i)
            m_pVideoGrid->addWidget(m_pVideoWnd[i], 3, i - 4);
    } else {
        const int w = qMax(1, int(std::sqrt(double(n))));
        for (int i = 0; i < n; ++i)
            m_pVideoGrid->addWidget(m_pVideoWnd[i], i / w, i % w);
    }
    // Equal cells, also for the uneven splits.
    const int nSide = nSingle >= 0 ? 1 : (n == 8) ? 4 : (n == 6) ? 3 : qMax(1, int(std::sqrt(double(n))));
    for (int i = 0; i < nSide; ++i) {
        m_pVideoGrid->setRowStretch(i, 1);
        m_pVideoGrid->setColumnStretch(i, 1);
    }
    for (int i = 0; i < MaxWindows; ++i)
        m_pVideoWnd[i]->setVisible(nSingle >= 0 ? i == nSingle : i < n);
}

void CDisplayBox::onWndNoChanged(int nIndex)
{
    if (nIndex < 0)
        return;
    m_nWndCount = qMin(nIndex, int(MaxWindows));
    m_bSingleView = false;
    layoutGrid(-1);
    onActive(0, true);
}

void CDisplayBox::onChangeWndMode(int nWndNum)
{
    int nSplit = 9;
    if (nWndNum == 1)
        nSplit = 1;
    else if (nWndNum <= 4)
        nSplit = 4;
    else if (nWndNum > 9)
        nSplit = MaxWindows;
    onWndNoChanged(nSplit);
    closeAll();
    CGlobalAppData::instance()->earliestSyncWindow = -1;
    CGlobalAppData::instance()->latestSyncWindow = -1;
}

void CDisplayBox::onActive(int nIndex)
{
    onActive(nIndex, true);
}

void CDisplayBox::onActive(int nIndex, bool bSend)
{
    if (nIndex < 0 || nIndex >= MaxWindows)
        return;
    for (int i = 0; i < MaxWindows; ++i)
        m_pVideoWnd[i]->setStyleSheet(i == nIndex ? kActiveStyle : kInactiveStyle);
    m_nActiveWnd = nIndex;
    // The buttons follow the newly active window at once, not at the next poll.
    updateButtonsEnabled(isOpen(nIndex));
    if (bSend && isOpen(nIndex)) {
        const QString strPath = manager()->GetPlayFile(nIndex);
        if (!strPath.isEmpty())
            emit selectRecord(strPath);
    }
}

void CDisplayBox::onWndDoubleClicked(int nIndex)
{
    if (nIndex < 0 || nIndex >= MaxWindows)
        return;
    onActive(nIndex, true);
    // Only a window of the split can be shown alone.
    const bool bSingle = !m_bSingleView && nIndex < m_nWndCount;
    if (bSingle == m_bSingleView)
        return;
    m_bSingleView = bSingle;
    layoutGrid(bSingle ? nIndex : -1);
}

void CDisplayBox::onSelectVideoWnd(QString strFileName)
{
    for (int i = 0; i < MaxWindows; ++i) {
        if (manager()->GetPlayFile(i) == strFileName) {
            onActive(i, false);
            return;
        }
    }
}

void CDisplayBox::onDiskChanged()
{
    for (int i = 0; i < MaxWindows; ++i) {
        if (isOpen(i))
            manager()->Stop(i);
    }
}

// ---------------------------------------------------------------------------
// Playing

void CDisplayBox::onPlayRecord(QString strFilePath, bool bSync)
{
    if (anySync()) {
        FancyMessageBox::message(tr("Please stop sync playback first"));
        return;
    }
    manager()->Stop(m_nActiveWnd);
    if (!manager()->Play(m_nActiveWnd, strFilePath, bSync))
        qDebug() << "Play failed" << m_nActiveWnd << strFilePath;
}

void CDisplayBox::onPlayRecordAt(QString strFilePath, int nSeconds)
{
    if (anySync()) {
        FancyMessageBox::message(tr("Please stop sync playback first"));
        return;
    }
    if (!manager()->PlayAt(m_nActiveWnd, strFilePath, nSeconds))
        qDebug() << "Play failed" << m_nActiveWnd << strFilePath;
}

void CDisplayBox::onSyncPlay(int nSyncTime)
{
    CGlobalAppData* pData = CGlobalAppData::instance();
    pData->earliestSyncWindow = -1;
    pData->latestSyncWindow = -1;
    std::lock_guard<std::mutex> lock(pData->syncQueueLock);
    for (auto it = pData->syncQueue.begin(); it != pData->syncQueue.end(); ++it) {
        if (it.value().isEmpty() || it.key() < 0 || it.key() >= MaxWindows)
            continue;
        const QString strPath = it.value().takeFirst();
        manager()->SyncPlay(it.key(), strPath, nSyncTime, true);
        qDebug() << "Sync Play " << it.key() << strPath;
    }
}

void CDisplayBox::onControlBtnClicked(int nType)
{
    CPlayManage* pManage = manager();
    const int nActive = m_nActiveWnd;
    const bool bSync = pManage->IsSync(nActive);
    switch (nType) {
    case playbuttons::Stop:
        if (bSync) {
            CGlobalAppData::instance()->clearSyncQueue(-1);
            closeAll();
        } else {
            pManage->Stop(nActive);
        }
        break;
    case playbuttons::PlayPause:
        if (!isOpen(nActive)) {
            emit playRecordRequest();
        } else if (bSync) {
            for (int i = 0; i < MaxWindows; ++i)
                pManage->PauseOrResume(i);
        } else {
            pManage->PauseOrResume(nActive);
        }
        break;
    case playbuttons::Slow:
    case playbuttons::Fast:
    case playbuttons::NextFrame:
        for (int i = 0; i < MaxWindows; ++i) {
            if (!bSync && i != nActive)
                continue;
            if (nType == playbuttons::Slow)
                pManage->Slow(i);
            else if (nType == playbuttons::Fast)
                pManage->Fast(i);
            else
                pManage->NextFrame(i);
        }
        break;
    case playbuttons::Audio:
        if (pManage->IsSoundOn(nActive)) {
            pManage->CloseSound(nActive);
        } else {
            // One window plays sound at a time.
            for (int i = 0; i < MaxWindows; ++i) {
                if (pManage->IsSoundOn(i))
                    pManage->CloseSound(i);
            }
            // Without a sound device the channel still counts sound as asked
            // for (the button shows AudioOn); the user is told once, here.
            if (pManage->IsPlaying(nActive) && !pManage->OpenSound(nActive))
                FancyMessageBox::message(tr("Sound output is not available"));
        }
        refreshButtons();
        break;
    default:
        break;
    }
}

void CDisplayBox::onCatchPic(int nPort)
{
    CPlayManage* pManage = manager();
    if (!pManage->IsPlaying(nPort))
        return;
    QString strSaved;
    bool bShown = false;
    if (!pManage->CatchPicture(nPort, CGlobalAppData::instance()->capturePath, &strSaved, &bShown))
        FancyMessageBox::message(tr("The picture could not be saved"));
    else if (!bShown)
        FancyMessageBox::message(tr("Picture saved as %1").arg(QDir::toNativeSeparators(strSaved)));
}

// ---------------------------------------------------------------------------
// Status

void CDisplayBox::timerEvent(QTimerEvent* pEvent)
{
    if (pEvent->timerId() == m_nPollTimer)
        pollStatus();
    else
        QWidget::timerEvent(pEvent);
}

void CDisplayBox::pollStatus()
{
    CPlayManage* pManage = manager();
    const int nActive = m_nActiveWnd;
    if (m_bSliderFollows)
        m_pSlider->setValue(pManage->GetPlayPos(nActive));
    onUpdateSliderStatus(pManage->GetIndexState(nActive));
    refreshButtons();
}

void CDisplayBox::refreshButtons()
{
    // One copy of the channel's state, taken in one go.
    const CPlay* pPlay = manager()->GetPlay(m_nActiveWnd);
    const CPlay::State state = pPlay ? pPlay->GetState() : CPlay::State();
    const bool bOpen = playcodes::IsOpenStatus(state.nPlayStatus);
    emit updateBtnStatus(state.nPlayStatus, state.nSpeed, bOpen && state.bSound ? 1 : 0);
    updateButtonsEnabled(bOpen);
}

void CDisplayBox::updateButtonsEnabled(bool bOpen)
{
    if (!m_pBtnGroup)
        return;
    // Play stays live on an idle window: it plays the record list's
    // selection. The others act on an open window only.
    for (int i = 0; i < playbuttons::Count; ++i) {
        if (QAbstractButton* pButton = m_pBtnGroup->button(i))
            pButton->setEnabled(i == playbuttons::PlayPause || bOpen);
    }
}

void CDisplayBox::onUpdateSliderStatus(int nStatus)
{
    m_pIndexLabel->setVisible(nStatus == 0);
    m_pSlider->setEnabled(nStatus > 0);
}

void CDisplayBox::onUpdateBtnStatus(int nPlayStatus, int nSpeed, int nSound)
{
    if (nPlayStatus != m_nLastPlayStatus) {
        m_nLastPlayStatus = nPlayStatus;
        const playbuttons::Look look = playbuttons::playLook(nPlayStatus);
        setButtonLook(playbuttons::PlayPause, look.strIcon, look.strTip);
    }
    if (nSpeed != m_nLastSpeed) {
        m_nLastSpeed = nSpeed;
        const playbuttons::Look fast = playbuttons::fastLook(nSpeed);
        const playbuttons::Look slow = playbuttons::slowLook(nSpeed);
        setButtonLook(playbuttons::Fast, fast.strIcon, fast.strTip);
        setButtonLook(playbuttons::Slow, slow.strIcon, slow.strTip);
    }
    if (nSound != m_nLastSound) {
        m_nLastSound = nSound;
        const playbuttons::Look look = playbuttons::audioLook(nSound);
        setButtonLook(playbuttons::Audio, look.strIcon, look.strTip);
    }
}

bool CDisplayBox::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched != m_pSlider || !m_pSlider->isEnabled())
        return QWidget::eventFilter(pWatched, pEvent);
    if (pEvent->type() == QEvent::MouseButtonPress) {
        m_bSliderFollows = false;
        return true;
    }
    if (pEvent->type() == QEvent::MouseButtonRelease) {
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        const int nMin = m_pSlider->minimum();
        const int nMax = m_pSlider->maximum();
        const double dRatio = m_pSlider->width() > 0 ? double(pMouse->pos().x()) / m_pSlider->width() : 0.0;
        // A release outside the slider still lands on one of its ends.
        const int nValue = qBound(nMin, int(nMin + (nMax - nMin) * dRatio), nMax);
        if (nValue != m_pSlider->sliderPosition()) {
            m_pSlider->setValue(nValue);
            if (!manager()->SetPlayPos(m_nActiveWnd, float(nValue) / 1000.0f))
                FancyMessageBox::message(tr("In synchronous mode, you need to wait for the file index to be created"));
        }
        m_pSeekHoldTimer->start(SeekHoldMs);
        return true;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

// ---------------------------------------------------------------------------
// Context menu

QMenu* CDisplayBox::createContextMenu()
{
    CPlayManage* pManage = manager();
    const int nActive = m_nActiveWnd;
    const bool bOpen = isOpen(nActive);
    const bool bAny = bOpen || anyOpen();

    auto* pMenu = new QMenu(this);
    QAction* pTitle = pMenu->addAction(QString("%1 %2").arg(tr("Window")).arg(nActive + 1));
    pTitle->setEnabled(false);
    pMenu->addSeparator();

    auto addItem = [pMenu](const QString& strText, int nCode, bool bCheckable = false, bool bChecked = false) {
        QAction* pAction = pMenu->addAction(strText);
        pAction->setData(nCode);
        pAction->setCheckable(bCheckable);
        pAction->setChecked(bChecked);
        return pAction;
    };
    if (bOpen) {
        addItem(tr("Close"), MenuClose);
        addItem(tr("Close All"), MenuCloseAll);
        addItem(tr("Catch Picture"), MenuCatchPicture);
        addItem(tr("Audio"), MenuAudio, true, pManage->IsSoundOn(nActive));
        addItem(tr("Record"), MenuRecord, true, pManage->IsRecording(nActive));
        addItem(tr("Range"), MenuRange, true, isRangeOn(nActive));
    } else if (bAny) {
        addItem(tr("Close All"), MenuCloseAll);
    }

    QMenu* pSplit = pMenu->addMenu(tr("Video Split"));
    const struct
    {
        const char* text;
        int nCount;
        int nCode;
    } splits[] = {{QT_TR_NOOP("Split1"), 1, MenuSplit1},
                  {QT_TR_NOOP("Split4"), 4, MenuSplit4},
                  {QT_TR_NOOP("Split8"), 8, MenuSplit8},
                  {QT_TR_NOOP("Split9"), 9, MenuSplit9},
                  {QT_TR_NOOP("Split16"), MaxWindows, MenuSplit16}};
    for (const auto& split : splits) {
        QAction* pAction = pSplit->addAction(tr(split.text));
        pAction->setData(split.nCode);
        pAction->setCheckable(true);
        pAction->setChecked(m_nWndCount == split.nCount);
    }
    connect(pMenu, &QMenu::triggered, this, &CDisplayBox::onMenuTriggered);
    return pMenu;
}

void CDisplayBox::setTimeline(QWidget* pTimeline)
{
    if (auto* pLayout = qobject_cast<QVBoxLayout*>(layout()))
        pLayout->insertWidget(pLayout->indexOf(m_pControlFrame), pTimeline);
}

void CDisplayBox::contextMenuEvent(QContextMenuEvent* pEvent)
{
    QMenu* pMenu = createContextMenu();
    pMenu->exec(pEvent->globalPos());
    pMenu->deleteLater();
}

void CDisplayBox::onMenuTriggered(QAction* pAction)
{
    if (!pAction || !pAction->data().isValid())
        return;
    CPlayManage* pManage = manager();
    CGlobalAppData* pData = CGlobalAppData::instance();
    const int nActive = m_nActiveWnd;
    switch (pAction->data().toInt()) {
    case MenuClose:
        pData->clearSyncQueue(nActive);
        pManage->Stop(nActive);
        break;
    case MenuCloseAll:
        pData->clearSyncQueue(-1);
        onDiskChanged();
        break;
    case MenuAudio:
        onControlBtnClicked(playbuttons::Audio);
        break;
    case MenuRecord:
        if (pManage->IsRecording(nActive))
            pManage->StopRecord(nActive);
        else
            pManage->StartRecord(nActive, pData->recordPath);
        break;
    case MenuCatchPicture:
        onCatchPic(nActive);
        break;
    case MenuRange:
        LocalRange();
        break;
    case MenuSplit1:
        onWndNoChanged(1);
        break;
    case MenuSplit4:
        onWndNoChanged(4);
        break;
    case MenuSplit8:
        onWndNoChanged(8);
        break;
    case MenuSplit9:
        onWndNoChanged(9);
        break;
    case MenuSplit16:
        onWndNoChanged(MaxWindows);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Region zoom

bool CDisplayBox::isRangeOn(int nIndex) const
{
    CVideoWnd* pWnd = videoWnd(nIndex);
    return manager()->IsRegionOn(nIndex) || (pWnd && pWnd->regionMode());
}

bool CDisplayBox::LocalRange()
{
    const int nActive = m_nActiveWnd;
    CVideoWnd* pWnd = m_pVideoWnd[nActive];
    // Zoom counts as on while the picture is zoomed or while the window waits
    // for a drag, so the same command always switches it off again.
    const bool bWasOn = isRangeOn(nActive);
    pWnd->setRegionMode(!bWasOn);
    if (bWasOn) {
        manager()->SetDisplayRegion(nActive, QPoint(0, 0), QPoint(zoomregion::kSpace, zoomregion::kSpace), 0, 0,
                                    false);
        pWnd->setZoomRegion(QRect());
    }
    return true;
}

int CDisplayBox::windowOfHandle(void* hwnd) const
{
    for (int i = 0; i < MaxWindows; ++i) {
        if (reinterpret_cast<void*>(quintptr(m_pVideoWnd[i]->videoHandle())) == hwnd)
            return i;
    }
    return -1;
}

void CDisplayBox::slot_RectanglePoint(void* hwnd, QPoint start, QPoint end)
{
    const int nWnd = windowOfHandle(hwnd);
    if (nWnd >= 0)
        m_pVideoWnd[nWnd]->frame()->setSelectionOutline(start, end);
}

void CDisplayBox::slot_SelectRegion(void* hwnd, QPoint start, QPoint end, int nWidth, int nHeight)
{
    const int nWnd = windowOfHandle(hwnd);
    const QSize widget = nWnd >= 0 ? m_pVideoWnd[nWnd]->frame()->size() : QSize();
    CVideoWnd* pActive = m_pVideoWnd[m_nActiveWnd];
    const QRect region = zoomregion::selectRegion(pActive->zoomRegion(), start, end, widget);
    if (manager()->SetDisplayRegion(m_nActiveWnd, region.topLeft(), region.bottomRight(), nWidth, nHeight, true))
        pActive->setZoomRegion(region);
}

// ---------------------------------------------------------------------------
// Stop notifications

void CDisplayBox::wndClosedCallback(int nWndIndex, void* pOwner)
{
    auto* pBox = static_cast<CDisplayBox*>(pOwner);
    if (!liveBoxes().contains(pBox))
        return;
    QPointer<CDisplayBox> guard(pBox);
    QMetaObject::invokeMethod(pBox, [guard, nWndIndex] {
        if (guard)
            guard->onWndClosed(nWndIndex);
    });
}

void CDisplayBox::onWndClosed(int nIndex)
{
    CVideoWnd* pWnd = videoWnd(nIndex);
    if (!pWnd)
        return;
    pWnd->setRegionMode(false);
    // The next recording starts unzoomed: a stale region would skew the next
    // selection made inside it.
    pWnd->setZoomRegion(QRect());
    pWnd->update();
}
