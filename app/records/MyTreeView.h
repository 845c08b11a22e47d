#ifndef ORVELLE_APP_RECORDS_MYTREEVIEW_H
#define ORVELLE_APP_RECORDS_MYTREEVIEW_H

// The record pages' tree view: a mouse press makes the item under the cursor
// current and reports the current item as a left or right click.

#include <QModelIndex>
#include <QTreeView>

class CMyTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit CMyTreeView(QWidget* parent = nullptr);

signals:
    void leftClicked(QModelIndex index);
    void rightClicked(QModelIndex index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

#endif
