#include "app/records/MyTreeView.h"

#include <QMouseEvent>

CMyTreeView::CMyTreeView(QWidget* parent)
    : QTreeView(parent)
{
}

void CMyTreeView::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    const QModelIndex under = indexAt(event->pos());
    if (under.isValid())
        setCurrentIndex(under);
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    if (event->button() == Qt::RightButton)
        emit rightClicked(current);
    else if (event->button() == Qt::LeftButton)
        emit leftClicked(current);
}
