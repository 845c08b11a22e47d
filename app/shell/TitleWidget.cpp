#include "app/shell/TitleWidget.h"

#include "app/shell/GlobalAppData.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace {

QString buttonStyle(const QString& strName, const QString& strIcon)
{
    const QString dir = CGlobalAppData::appDir();
    return QString("#%1{background:transparent;border-image:url(%2/skin/icons/%3.png);}"
                   "#%1:hover{background:transparent;border-image:url(%2/skin/icons/%3_hover.png);}"
                   "#%1:press{background:transparent;border-image:url(%2/skin/icons/%3_hover.png);}")
        .arg(strName, dir, strIcon);
}

}  // namespace

CTitleWidget::CTitleWidget(QWidget* pWindow, bool bMainWindow, QWidget* parent)
    : QWidget(parent)
    , m_pWindow(pWindow)
    , m_bMainWindow(bMainWindow)
{
    setObjectName(bMainWindow ? "TitleWidget" : "SubTitleWidget");
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_StyledBackground, true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(8);

    if (bMainWindow) {
        m_pLogo = new QLabel(this);
        m_pLogo->setObjectName("TitleLogo");
        m_pLogo->setPixmap(QPixmap(CGlobalAppData::appDir() + "/skin/icons/mainLogo.png"));
        layout->addWidget(m_pLogo);
    }
    m_pTitle = new QLabel(this);
    m_pTitle->setObjectName("TitleText");
    layout->addWidget(m_pTitle);
    layout->addStretch(1);

    if (bMainWindow) {
        m_pCfgButton = makeButton("SysCfg", "sys_cfg", tr("Config"));
        m_pMinButton = makeButton("SysMin", "sys_min", tr("Min"));
        m_pMaxButton = makeButton("SysMax", "sys_max", tr("Max"));
        layout->addWidget(m_pCfgButton);
        layout->addWidget(m_pMinButton);
        layout->addWidget(m_pMaxButton);
        connect(m_pCfgButton, &QPushButton::clicked, this, &CTitleWidget::configSignal);
        connect(m_pMinButton, &QPushButton::clicked, this, &CTitleWidget::onMinimize);
        connect(m_pMaxButton, &QPushButton::clicked, this, &CTitleWidget::onToggleMaximize);
    }
    m_pClsButton = makeButton("SysCls", "sys_cls", tr("Close"));
    layout->addWidget(m_pClsButton);
    connect(m_pClsButton, &QPushButton::clicked, this, &CTitleWidget::closeSignal);
}

QPushButton* CTitleWidget::makeButton(const QString& strName, const QString& strIcon,
                                      const QString& strTip)
{
    auto* button = new QPushButton(this);
    button->setFixedSize(kButtonSize, kButtonSize);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(strTip);
    setButtonLook(button, strName, strIcon);
    return button;
}

void CTitleWidget::setButtonLook(QPushButton* pButton, const QString& strName,
                                 const QString& strIcon)
{
    pButton->setObjectName(strName);
    pButton->setStyleSheet(buttonStyle(strName, strIcon));
}

void CTitleWidget::setTitle(const QString& strTitle)
{
    m_pTitle->setText(strTitle);
}

QString CTitleWidget::title() const
{
    return m_pTitle->text();
}

void CTitleWidget::onMinimize()
{
    if (m_pWindow)
        m_pWindow->showMinimized();
}

void CTitleWidget::onToggleMaximize()
{
    if (!m_pWindow || !m_pMaxButton)
        return;
    if (!m_bMaximized) {
        m_normalGeometry = m_pWindow->geometry();
        QScreen* screen = m_pWindow->screen();
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen)
            m_pWindow->setGeometry(screen->availableGeometry());
        m_bMaximized = true;
        setButtonLook(m_pMaxButton, "SysNormal", "sys_normal");
        m_pMaxButton->setToolTip(tr("Normal"));
    } else {
        m_pWindow->setGeometry(m_normalGeometry);
        m_bMaximized = false;
        setButtonLook(m_pMaxButton, "SysMax", "sys_max");
        m_pMaxButton->setToolTip(tr("Max"));
    }
}

void CTitleWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pWindow) {
        m_bDragging = true;
        m_dragStartGlobal = event->globalPos();
        m_windowStartPos = m_pWindow->pos();
    }
    QWidget::mousePressEvent(event);
}

void CTitleWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging && (event->buttons() & Qt::LeftButton) && !m_bMaximized && m_pWindow)
        m_pWindow->move(m_windowStartPos + (event->globalPos() - m_dragStartGlobal));
    QWidget::mouseMoveEvent(event);
}

void CTitleWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_bDragging = false;
    QWidget::mouseReleaseEvent(event);
}

void CTitleWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_bMainWindow) {
        m_bDragging = false;
        onToggleMaximize();
    }
    QWidget::mouseDoubleClickEvent(event);
}
