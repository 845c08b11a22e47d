#ifndef ORVELLE_APP_RECORDS_CALENDARARROWBUTTON_H
#define ORVELLE_APP_RECORDS_CALENDARARROWBUTTON_H

// A small arrow button of the calendar header, drawn from the skin's
// "<Name>.png" and "<Name>_hover.png".

#include <QToolButton>

class CArrowButton : public QToolButton
{
    Q_OBJECT

public:
    enum Arrow { ArrowUp = 0, ArrowDown = 1, ArrowRight = 2, ArrowLeft = 3 };

    explicit CArrowButton(int nIcon, QWidget* parent = nullptr);

    // The skin name of an icon index ("ArrowUp" ...); "" for an unknown index.
    static QString iconName(int nIcon);
    QString iconName() const { return m_strIcon; }

private:
    QString m_strIcon;
};

#endif
