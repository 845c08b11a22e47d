#include "app/shell/FancyMessageBox.h"

#include "media/common/QueuedCall.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QThread>

namespace {

QPointer<FancyMessageBox> g_box;

QFont noticeFont(QFont font)
{
    font.setBold(true);
    font.setPointSize(10);
    return font;
}

}  // namespace

FancyMessageBox* FancyMessageBox::instance()
{
    if (!g_box)
        g_box = new FancyMessageBox();
    return g_box;
}

void FancyMessageBox::message(const QString& strText)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() == app->thread()) {
        instance()->showText(strText);
        return;
    }
    media::postToGuiThread([strText]() { FancyMessageBox::instance()->showText(strText); });
}

FancyMessageBox::FancyMessageBox(QWidget* parent)
    : QLabel(parent)
{
    setObjectName("FancyMessageBox");
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool
                   | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_TranslucentBackground, true);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setAlignment(Qt::AlignCenter);
    setFixedHeight(kHeight);
    setFont(noticeFont(font()));

    m_pEffect = new QGraphicsOpacityEffect(this);
    m_pEffect->setOpacity(0.0);
    setGraphicsEffect(m_pEffect);

    m_pAnimation = new QPropertyAnimation(m_pEffect, "opacity", this);
    m_pAnimation->setDuration(kDurationMs);
    m_pAnimation->setKeyValueAt(0.0, 0.0);
    m_pAnimation->setKeyValueAt(0.4, 1.0);
    m_pAnimation->setKeyValueAt(0.9, 1.0);
    m_pAnimation->setKeyValueAt(1.0, 0.0);
    connect(m_pAnimation, &QPropertyAnimation::finished, this, &FancyMessageBox::onAnimationFinished);

    connect(this, &FancyMessageBox::signal_message, this, &FancyMessageBox::slot_message,
            Qt::QueuedConnection);
}

FancyMessageBox::~FancyMessageBox() = default;

qreal FancyMessageBox::opacity() const
{
    return m_pEffect->opacity();
}

void FancyMessageBox::showText(const QString& strText)
{
    if (QThread::currentThread() != thread()) {
        emit signal_message(strText);
        return;
    }
    slot_message(strText);
}

void FancyMessageBox::slot_message(QString strText)
{
    setFont(noticeFont(font()));
    setText(strText);
    setFixedWidth(QFontMetrics(font()).horizontalAdvance(strText) + 20);
    placeOnScreen();
    m_pAnimation->stop();
    m_pEffect->setOpacity(0.0);
    show();
    raise();
    m_pAnimation->start();
}

void FancyMessageBox::onAnimationFinished()
{
    hide();
}

void FancyMessageBox::placeOnScreen()
{
    // Centred over the active window, or the primary screen when there is
    // none, a little below the middle so that it does not hide the dialog
    // that caused it.
    QRect area;
    if (QWidget* active = QApplication::activeWindow(); active && active != this)
        area = active->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isNull())
        return;
    move(area.center().x() - width() / 2, area.center().y() + area.height() / 6 - height() / 2);
}

void FancyMessageBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, QColor(86, 86, 86));
    gradient.setColorAt(1.0, QColor(48, 48, 48));
    painter.setPen(QColor(127, 127, 127));
    painter.setBrush(gradient);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(QColor(222, 222, 222));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
