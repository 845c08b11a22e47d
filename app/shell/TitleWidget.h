#ifndef ORVELLE_APP_SHELL_TITLEWIDGET_H
#define ORVELLE_APP_SHELL_TITLEWIDGET_H

// The title bar of the program's frameless windows, 36 pixels high.
//
// In the main window it shows the logo and the configuration, minimise,
// maximise and close buttons, and a double-click toggles maximise; in a
// dialog it shows the title text and the close button only. Dragging it with
// the left button moves the window (not while maximised).

#include <QPoint>
#include <QRect>
#include <QWidget>

class QLabel;
class QPushButton;

class CTitleWidget : public QWidget
{
    Q_OBJECT

public:
    static const int kHeight = 36;
    static const int kButtonSize = 20;

    CTitleWidget(QWidget* pWindow, bool bMainWindow, QWidget* parent = nullptr);

    void setTitle(const QString& strTitle);
    QString title() const;

    bool isMaximized() const { return m_bMaximized; }
    QPushButton* configButton() const { return m_pCfgButton; }
    QPushButton* minButton() const { return m_pMinButton; }
    QPushButton* maxButton() const { return m_pMaxButton; }
    QPushButton* closeButton() const { return m_pClsButton; }

signals:
    void closeSignal();
    void configSignal();

public slots:
    void onMinimize();
    void onToggleMaximize();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPushButton* makeButton(const QString& strName, const QString& strIcon, const QString& strTip);
    void setButtonLook(QPushButton* pButton, const QString& strName, const QString& strIcon);

    QWidget* m_pWindow;
    bool m_bMainWindow;
    bool m_bMaximized = false;
    QRect m_normalGeometry;
    bool m_bDragging = false;
    QPoint m_dragStartGlobal;
    QPoint m_windowStartPos;

    QLabel* m_pLogo = nullptr;
    QLabel* m_pTitle = nullptr;
    QPushButton* m_pCfgButton = nullptr;
    QPushButton* m_pMinButton = nullptr;
    QPushButton* m_pMaxButton = nullptr;
    QPushButton* m_pClsButton = nullptr;
};

#endif
