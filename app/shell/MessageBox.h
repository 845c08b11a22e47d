#ifndef ORVELLE_APP_SHELL_MESSAGEBOX_H
#define ORVELLE_APP_SHELL_MESSAGEBOX_H

// The program's own frameless modal message box: the program's title bar with
// the caller's title, a standard icon, a text and up to three push buttons
// (object name "NormalToolButton") in the order given. exec() and the static
// helpers answer the index of the clicked button (0 = first), or -1 when the
// box was closed without one (title bar close, Escape). An empty first
// button text stands for "OK".

#include <QDialog>
#include <QStringList>
#include <QVector>

class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class CTitleWidget;

class CMessageBox : public QDialog
{
    Q_OBJECT

public:
    enum Icon { Information, Warning, Question };
    static const int kMaxButtons = 3;

    CMessageBox(QWidget* parent, Icon icon, const QString& strTitle, const QString& strText,
                const QStringList& buttons = QStringList());

    // Shows the box modally; the index of the clicked button or -1.
    int exec() override;
    int clickedIndex() const { return m_nClicked; }

    QString text() const;
    // Replaces the message of a box that is already up; the box grows to it.
    void setText(const QString& strText);
    // Shows the message as a table instead of running text: one row per
    // entry, each cell a plain-text label that never wraps, odd columns
    // (the values) right-aligned. text() still answers the message.
    void setTable(const QVector<QStringList>& rows);
    QGridLayout* table() const { return m_pTable; }
    Icon icon() const { return m_icon; }
    QList<QPushButton*> buttons() const { return m_buttons; }

    static int information(QWidget* parent, const QString& strTitle, const QString& strText,
                           const QString& btn0 = QString(), const QString& btn1 = QString(),
                           const QString& btn2 = QString());
    static int warning(QWidget* parent, const QString& strTitle, const QString& strText,
                       const QString& btn0 = QString(), const QString& btn1 = QString(),
                       const QString& btn2 = QString());
    static int question(QWidget* parent, const QString& strTitle, const QString& strText,
                        const QString& btn0 = QString(), const QString& btn1 = QString(),
                        const QString& btn2 = QString());

private slots:
    void onButtonClicked();

private:
    static int run(QWidget* parent, Icon icon, const QString& strTitle, const QString& strText,
                    const QString& btn0, const QString& btn1, const QString& btn2);

    Icon m_icon;
    int m_nClicked = -1;
    CTitleWidget* m_pTitle = nullptr;
    QLabel* m_pIconLabel = nullptr;
    QLabel* m_pTextLabel = nullptr;
    QGridLayout* m_pTable = nullptr;
    QVBoxLayout* m_pTextColumn = nullptr;
    QList<QPushButton*> m_buttons;
};

#endif
