#include "app/shell/MessageBox.h"

#include "app/shell/GlobalAppData.h"
#include "app/shell/TitleWidget.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const int kIconSize = 32;

// The skin's picture for an icon, or the platform style's standard one when
// the skin lacks it.
QPixmap iconPixmap(CMessageBox::Icon icon)
{
    static const char* const names[] = {"msg_info", "msg_warn", "msg_question"};
    const QString path = CGlobalAppData::appDir() + "/skin/icons/" + names[icon] + ".png";
    QPixmap pixmap;
    if (QFile::exists(path) && pixmap.load(path))
        return pixmap.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QStyle::StandardPixmap sp = QStyle::SP_MessageBoxInformation;
    if (icon == CMessageBox::Warning)
        sp = QStyle::SP_MessageBoxWarning;
    else if (icon == CMessageBox::Question)
        sp = QStyle::SP_MessageBoxQuestion;
    return QApplication::style()->standardIcon(sp).pixmap(kIconSize, kIconSize);
}

}  // namespace

CMessageBox::CMessageBox(QWidget* parent, Icon icon, const QString& strTitle,
                         const QString& strText, const QStringList& buttons)
    : QDialog(parent)
    , m_icon(icon)
{
    setObjectName("CMessageBox");
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Dialog);
    setModal(true);
    setWindowTitle(strTitle);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    // At least 320 wide, and never narrower than a table or the buttons need.
    outer->addStrut(320);

    m_pTitle = new CTitleWidget(this, false, this);
    m_pTitle->setTitle(strTitle);
    outer->addWidget(m_pTitle);
    connect(m_pTitle, &CTitleWidget::closeSignal, this, &QDialog::reject);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(20, 16, 20, 8);
    body->setSpacing(14);
    m_pIconLabel = new QLabel(this);
    m_pIconLabel->setObjectName("MessageIcon");
    m_pIconLabel->setPixmap(iconPixmap(icon));
    m_pIconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    body->addWidget(m_pIconLabel);
    m_pTextLabel = new QLabel(strText, this);
    m_pTextLabel->setObjectName("MessageText");
    m_pTextLabel->setWordWrap(true);
    m_pTextLabel->setTextFormat(Qt::PlainText);
    m_pTextLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* textColumn = new QVBoxLayout;
    textColumn->setContentsMargins(0, 0, 0, 0);
    textColumn->addWidget(m_pTextLabel);
    body->addLayout(textColumn, 1);
    m_pTextColumn = textColumn;
    outer->addLayout(body, 1);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(20, 8, 20, 16);
    row->setSpacing(10);
    row->addStretch(1);
    QStringList texts = buttons.mid(0, kMaxButtons);
    if (texts.isEmpty())
        texts << QString();
    if (texts.first().isEmpty())
        texts.first() = tr("OK");
    for (const QString& text : texts) {
        auto* button = new QPushButton(text, this);
        button->setObjectName("NormalToolButton");
        button->setMinimumSize(75, 25);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, &CMessageBox::onButtonClicked);
        m_buttons << button;
        row->addWidget(button);
        // A blank second button before a third keeps the third one's index.
        if (text.isEmpty())
            button->hide();
    }
    m_buttons.first()->setDefault(true);
    m_buttons.first()->setFocus();
    outer->addLayout(row);
}

QString CMessageBox::text() const
{
    return m_pTextLabel->text();
}

void CMessageBox::setText(const QString& strText)
{
    m_pTextLabel->setText(strText);
    if (isVisible()) {
        layout()->activate();
        resize(width(), qMax(height(), heightForWidth(width())));
    }
}

void CMessageBox::setTable(const QVector<QStringList>& rows)
{
    if (!m_pTable) {
        m_pTable = new QGridLayout;
        m_pTable->setContentsMargins(0, 0, 0, 0);
        m_pTable->setHorizontalSpacing(8);
        m_pTable->setVerticalSpacing(6);
        m_pTextColumn->addLayout(m_pTable);
        m_pTextColumn->addStretch(1);
    }
    while (QLayoutItem* pItem = m_pTable->takeAt(0)) {
        delete pItem->widget();
        delete pItem;
    }
    m_pTextLabel->hide();
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows.at(r).size(); ++c) {
            auto* pCell = new QLabel(rows.at(r).at(c), this);
            pCell->setObjectName("MessageCell");
            pCell->setTextFormat(Qt::PlainText);
            pCell->setTextInteractionFlags(Qt::TextSelectableByMouse);
            pCell->setAlignment((c % 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            // Room between one value and the next pair's label.
            if (c > 0 && c % 2 == 0)
                pCell->setContentsMargins(16, 0, 0, 0);
            m_pTable->addWidget(pCell, r, c);
        }
    }
}

int CMessageBox::exec()
{
    m_nClicked = -1;
    QDialog::exec();
    return m_nClicked;
}

void CMessageBox::onButtonClicked()
{
    m_nClicked = m_buttons.indexOf(qobject_cast<QPushButton*>(sender()));
    accept();
}

int CMessageBox::run(QWidget* parent, Icon icon, const QString& strTitle, const QString& strText,
                      const QString& btn0, const QString& btn1, const QString& btn2)
{
    QStringList texts{btn0};
    if (!btn1.isEmpty() || !btn2.isEmpty())
        texts << btn1;
    if (!btn2.isEmpty())
        texts << btn2;
    CMessageBox box(parent, icon, strTitle, strText, texts);
    return box.exec();
}

int CMessageBox::information(QWidget* parent, const QString& strTitle, const QString& strText,
                             const QString& btn0, const QString& btn1, const QString& btn2)
{
    return run(parent, Information, strTitle, strText, btn0, btn1, btn2);
}

int CMessageBox::warning(QWidget* parent, const QString& strTitle, const QString& strText,
                         const QString& btn0, const QString& btn1, const QString& btn2)
{
    return run(parent, Warning, strTitle, strText, btn0, btn1, btn2);
}

int CMessageBox::question(QWidget* parent, const QString& strTitle, const QString& strText,
                          const QString& btn0, const QString& btn1, const QString& btn2)
{
    return run(parent, Question, strTitle, strText, btn0, btn1, btn2);
}
