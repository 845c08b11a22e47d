#include "app/records/CalendarArrowButton.h"

#include "app/shell/GlobalAppData.h"

QString CArrowButton::iconName(int nIcon)
{
    static const char* const names[] = {"ArrowUp", "ArrowDown", "ArrowRight", "ArrowLeft"};
    if (nIcon < 0 || nIcon > 3)
        return QString();
    return names[nIcon];
}

CArrowButton::CArrowButton(int nIcon, QWidget* parent)
    : QToolButton(parent)
    , m_strIcon(iconName(nIcon))
{
    setFixedHeight(18);
    setFocusPolicy(Qt::NoFocus);
    if (m_strIcon.isEmpty())
        return;
    setStyleSheet(QString("QToolButton{border:0px;border-image:url(%1/skin/icons/%2.png);}"
                          "QToolButton:hover{border:0px;border-image:url(%1/skin/icons/%2_hover.png);}")
                      .arg(CGlobalAppData::appDir(), m_strIcon));
}
