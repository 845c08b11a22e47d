#include "app/export/CaseDetailsBox.h"

#include <QFontMetrics>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Lines of notes shown without scrolling.
const int kNotesLines = 3;
// Longest case number, examiner and evidence number taken.
const int kMaxFieldLength = 200;

QLineEdit* makeLineEdit(QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setFixedHeight(25);
    edit->setMaxLength(kMaxFieldLength);
    return edit;
}

}  // namespace

CCaseDetailsBox::CCaseDetailsBox(QWidget* parent) : QWidget(parent)
{
    setObjectName("CaseDetailsBox");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    m_pHeader = new QToolButton(this);
    m_pHeader->setObjectName("CaseDetailsHeader");
    m_pHeader->setText(tr("Case details"));
    m_pHeader->setCheckable(true);
    m_pHeader->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_pHeader->setArrowType(Qt::RightArrow);
    m_pHeader->setAutoRaise(true);
    m_pHeader->setToolTip(tr("Named in the examination report written beside the exported files"));
    layout->addWidget(m_pHeader, 0, Qt::AlignLeft);

    m_pFields = new QWidget(this);
    m_pFields->setObjectName("CaseDetailsFields");
    auto* form = new QFormLayout(m_pFields);
    form->setContentsMargins(0, 0, 0, 0);
    form->setVerticalSpacing(6);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_pCaseNumber = makeLineEdit(m_pFields);
    m_pExaminer = makeLineEdit(m_pFields);
    m_pEvidenceNumber = makeLineEdit(m_pFields);
    m_pNotes = new QPlainTextEdit(m_pFields);
    m_pNotes->setTabChangesFocus(true);
    const int lineHeight = m_pNotes->fontMetrics().lineSpacing();
    m_pNotes->setFixedHeight(kNotesLines * lineHeight + 12);
    m_pClockOffset = new QSpinBox(m_pFields);
    m_pClockOffset->setRange(-kMaxClockOffsetS, kMaxClockOffsetS);
    m_pClockOffset->setValue(0);
    m_pClockOffset->setSuffix(tr(" s"));
    m_pClockOffset->setFixedHeight(25);
    m_pClockOffset->setAccelerated(true);
    m_pClockOffset->setToolTip(tr("The recorder's clock minus the true time, in seconds. The report shows the "
                                  "corrected times beside the recorder's own; exported files and their names "
                                  "stay as they are."));
    form->addRow(tr("Case number"), m_pCaseNumber);
    form->addRow(tr("Examiner"), m_pExaminer);
    form->addRow(tr("Evidence number"), m_pEvidenceNumber);
    form->addRow(tr("Notes"), m_pNotes);
    form->addRow(tr("Clock offset"), m_pClockOffset);
    layout->addWidget(m_pFields);
    m_pFields->setVisible(false);

    connect(m_pHeader, &QToolButton::toggled, this, &CCaseDetailsBox::setExpanded);
}

CaseDetails CCaseDetailsBox::details() const
{
    CaseDetails details;
    details.caseNumber = m_pCaseNumber->text().trimmed();
    details.examiner = m_pExaminer->text().trimmed();
    details.evidenceNumber = m_pEvidenceNumber->text().trimmed();
    details.notes = m_pNotes->toPlainText().trimmed();
    details.clockOffsetS = m_pClockOffset->value();
    return details;
}

void CCaseDetailsBox::setDetails(const CaseDetails& details)
{
    m_pCaseNumber->setText(details.caseNumber);
    m_pCaseNumber->setCursorPosition(0);
    m_pExaminer->setText(details.examiner);
    m_pExaminer->setCursorPosition(0);
    m_pEvidenceNumber->setText(details.evidenceNumber);
    m_pEvidenceNumber->setCursorPosition(0);
    m_pNotes->setPlainText(details.notes);
    m_pClockOffset->setValue(details.clockOffsetS);
    const bool bGiven = !details.caseNumber.isEmpty() || !details.examiner.isEmpty()
                        || !details.evidenceNumber.isEmpty() || !details.notes.isEmpty()
                        || details.clockOffsetS != 0;
    setExpanded(bGiven);
}

bool CCaseDetailsBox::isExpanded() const
{
    return m_pHeader->isChecked();
}

void CCaseDetailsBox::setExpanded(bool bExpanded)
{
    if (m_pHeader->isChecked() != bExpanded) {
        m_pHeader->setChecked(bExpanded);  // its toggled() comes back here
        return;
    }
    m_pHeader->setArrowType(bExpanded ? Qt::DownArrow : Qt::RightArrow);
    if (m_pFields->isVisibleTo(this) == bExpanded)
        return;
    m_pFields->setVisible(bExpanded);
    // Our own size first, so that the dialog sees the new one.
    layout()->activate();
    updateGeometry();
    emit expandedChanged(bExpanded);
}
