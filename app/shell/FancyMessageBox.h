#ifndef ORVELLE_APP_SHELL_FANCYMESSAGEBOX_H
#define ORVELLE_APP_SHELL_FANCYMESSAGEBOX_H

// The transient notice shared by the whole program: a frameless, always-on-top,
// translucent label 50 pixels high that fades in, stays and fades out again
// over 3 seconds. A new text restarts the fade. Texts shown from another
// thread travel to the box's own thread through a queued signal.

#include <QLabel>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

class FancyMessageBox : public QLabel
{
    Q_OBJECT

public:
    static const int kHeight = 50;
    static const int kDurationMs = 3000;

    // The shared box; create it on the GUI thread (start-up does).
    static FancyMessageBox* instance();
    // Shows a notice in the shared box from any thread. From a thread other
    // than the GUI thread the box is reached through the event loop, so this
    // never blocks.
    static void message(const QString& strText);

    explicit FancyMessageBox(QWidget* parent = nullptr);
    ~FancyMessageBox() override;

    // Shows a text; safe from any thread.
    void showText(const QString& strText);

    QPropertyAnimation* animation() const { return m_pAnimation; }
    qreal opacity() const;

signals:
    void signal_message(QString strText);

public slots:
    void slot_message(QString strText);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void onAnimationFinished();

private:
    void placeOnScreen();

    QGraphicsOpacityEffect* m_pEffect;
    QPropertyAnimation* m_pAnimation;
};

#endif
