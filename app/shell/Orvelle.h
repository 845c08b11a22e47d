#ifndef ORVELLE_APP_SHELL_ORVELLE_H
#define ORVELLE_APP_SHELL_ORVELLE_H

// COrvelle: the program's only top-level window. A frameless window with the
// program's own title bar on top, the record list (Disk and Local tabs) on
// the left and the video grid with its play controls on the right. It wires
// the record list and the display box together, fades in when shown, asks
// before it closes and opens the configuration dialog.

#include <QWidget>

class CDisplayBox;
class CTimelinePanel;
class CRecordListManage;
class CTitleWidget;
class QPropertyAnimation;

class COrvelle : public QWidget
{
    Q_OBJECT

public:
    enum { DefaultWidth = 1080, DefaultHeight = 720, FadeInMs = 1000 };

    explicit COrvelle(QWidget* parent = nullptr);
    ~COrvelle() override;

    CTitleWidget* titleWidget() const { return m_pTitle; }
    CRecordListManage* recordList() const { return m_pRecordList; }
    CDisplayBox* displayBox() const { return m_pDisplayBox; }
    CTimelinePanel* timeline() const { return m_pTimeline; }
    QPropertyAnimation* fadeAnimation() const { return m_pFade; }

    // Starts loading the recorder disks (once; the disk page then watches
    // for drives coming and going).
    void loadDisks();
    // Stops the disk page's loading thread and waits for it; called when the
    // event loop has ended, before the play manager goes.
    void stopLoading();

    // Where the window goes on a screen of the given geometry.
    static QPoint centredPosition(const QRect& screen, const QSize& window);

public slots:
    void onBaseConfig();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CTitleWidget* m_pTitle = nullptr;
    CRecordListManage* m_pRecordList = nullptr;
    CDisplayBox* m_pDisplayBox = nullptr;
    CTimelinePanel* m_pTimeline = nullptr;
    QPropertyAnimation* m_pFade = nullptr;
};

#endif
