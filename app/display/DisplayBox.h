#ifndef ORVELLE_APP_DISPLAY_DISPLAYBOX_H
#define ORVELLE_APP_DISPLAY_DISPLAYBOX_H

// CDisplayBox: the right-hand side of the main window - a grid of up to 16
// video windows above a control strip with the progress slider and six play
// buttons (Stop, Play/Pause, Slow, Fast, NextFrame, Audio).
//
// It keeps the active window, lays the windows out in splits of 1, 4, 6, 8,
// 9 or 16, turns button clicks, slider clicks and context-menu choices into
// calls on the play manager (window i plays on channel i), and polls the
// active window's channel once a second to keep buttons and slider current.
// After the user seeks, the slider holds the chosen place for 3 seconds
// before it follows playback again.

#include "app/play/PlayCodes.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

class CVideoWnd;
class QAction;
class QButtonGroup;
class QFrame;
class QGridLayout;
class QLabel;
class QMenu;
class QSlider;
class QTimer;
class QToolButton;

class CDisplayBox : public QWidget
{
    Q_OBJECT

public:
    enum { MaxWindows = playcodes::WindowCount, PollIntervalMs = 1000, SeekHoldMs = 3000 };
    // Codes carried by the context menu's actions.
    enum MenuCode {
        MenuClose = 0,
        MenuCloseAll = 1,
        MenuAudio = 2,
        MenuRecord = 3,
        MenuCatchPicture = 4,
        MenuRange = 6,
        MenuSplit1 = 7,
        MenuSplit4 = 8,
        MenuSplit8 = 9,
        MenuSplit9 = 10,
        MenuSplit16 = 11
    };

    explicit CDisplayBox(QWidget* parent = nullptr);
    ~CDisplayBox() override;

    int activeWindow() const { return m_nActiveWnd; }
    int windowCount() const { return m_nWndCount; }
    bool singleView() const { return m_bSingleView; }
    CVideoWnd* videoWnd(int nIndex) const;
    QGridLayout* videoGrid() const { return m_pVideoGrid; }
    QSlider* slider() const { return m_pSlider; }
    QLabel* indexNotice() const { return m_pIndexLabel; }
    QToolButton* controlButton(int nId) const;
    // The icon name a control button currently shows.
    QString buttonIcon(int nId) const;
    bool sliderFollowsPlayback() const { return m_bSliderFollows; }

    // The context menu for the current state; the caller owns it.
    QMenu* createContextMenu();
    // Places the day timeline between the video grid and the control strip.
    void setTimeline(QWidget* pTimeline);

signals:
    void updateBtnStatus(int nPlayStatus, int nSpeed, int nSound);
    void playRecordRequest();
    void selectRecord(QString strFileName);

public slots:
    void onPlayRecord(QString strFilePath, bool bSync = false);
    // As onPlayRecord, starting at nSeconds (seconds of day) of the recording.
    void onPlayRecordAt(QString strFilePath, int nSeconds);
    void onSelectVideoWnd(QString strFileName);
    void onChangeWndMode(int nWndNum);
    void onSyncPlay(int nSyncTime);
    void onDiskChanged();
    void onActive(int nIndex, bool bSend);
    void onActive(int nIndex);
    void onWndDoubleClicked(int nIndex);
    void onWndNoChanged(int nIndex);
    void onControlBtnClicked(int nType);
    void onMenuTriggered(QAction* pAction);
    void onCatchPic(int nPort);
    bool LocalRange();
    void onUpdateBtnStatus(int nPlayStatus, int nSpeed, int nSound);
    void onUpdateSliderStatus(int nStatus);
    void slot_RectanglePoint(void* hwnd, QPoint start, QPoint end);
    void slot_SelectRegion(void* hwnd, QPoint start, QPoint end, int nWidth, int nHeight);
    // One round of the once-a-second status poll.
    void pollStatus();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void timerEvent(QTimerEvent* pEvent) override;

private:
    void buildControlFrame(QFrame* pControl);
    // Rebuilds the grid for the current window count, or with window
    // nSingle alone filling the video frame (single view).
    void layoutGrid(int nSingle);
    void setButtonLook(int nId, const QString& strIcon, const QString& strTip);
    // Enables the buttons that have something to act on: all of them for an
    // open active window, only Play/Pause for an idle one.
    void updateButtonsEnabled(bool bOpen);
    // Applies the active window's play status, speed and sound to the buttons.
    void refreshButtons();
    bool isOpen(int nIndex) const;
    bool anyOpen() const;
    bool anySync() const;
    void closeAll();
    int windowOfHandle(void* hwnd) const;
    bool isRangeOn(int nIndex) const;
    // The play manager reports a channel that stopped (GUI thread).
    void onWndClosed(int nIndex);
    static void wndClosedCallback(int nWndIndex, void* pOwner);

    CVideoWnd* m_pVideoWnd[MaxWindows] = {};
    QGridLayout* m_pVideoGrid = nullptr;
    QFrame* m_pVideoFrame = nullptr;
    QButtonGroup* m_pBtnGroup = nullptr;
    QFrame* m_pControlFrame = nullptr;
    QSlider* m_pSlider = nullptr;
    QLabel* m_pIndexLabel = nullptr;
    QTimer* m_pSeekHoldTimer = nullptr;
    QString m_strAppDir;
    QString m_strButtonIcon[6];
    int m_nWndCount = 0;
    int m_nActiveWnd = 0;
    bool m_bSingleView = false;
    int m_nPollTimer = 0;
    int m_nLastPlayStatus = 0;
    int m_nLastSound = 0;
    int m_nLastSpeed = playcodes::SpeedNormal;
    bool m_bSliderFollows = true;
};

#endif
