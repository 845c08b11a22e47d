#ifndef ORVELLE_APP_EXPORT_CASEDETAILSBOX_H
#define ORVELLE_APP_EXPORT_CASEDETAILSBOX_H

// The "Case details" section of the export, cut and range export dialogs:
// case number, examiner, evidence number, notes and the recorder's clock
// offset, which the job writes into its examination report. A header button
// folds the fields away to keep the dialog small; the section opens by
// itself when it holds details from an earlier job, so that they are never
// used unseen.

#include "app/export/jobs/CaseDetails.h"

#include <QWidget>

class QFormLayout;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QToolButton;

class CCaseDetailsBox : public QWidget
{
    Q_OBJECT

public:
    // The largest clock offset taken either way: ten years of seconds.
    static const int kMaxClockOffsetS = 10 * 366 * 86400;

    explicit CCaseDetailsBox(QWidget* parent = nullptr);

    // What the fields hold; text fields without surrounding white space.
    CaseDetails details() const;
    // Fills the fields and opens the section when anything is given.
    void setDetails(const CaseDetails& details);

    bool isExpanded() const;
    void setExpanded(bool bExpanded);

    // For the tests.
    QToolButton* headerButton() const { return m_pHeader; }
    QLineEdit* caseNumberEdit() const { return m_pCaseNumber; }
    QLineEdit* examinerEdit() const { return m_pExaminer; }
    QLineEdit* evidenceNumberEdit() const { return m_pEvidenceNumber; }
    QPlainTextEdit* notesEdit() const { return m_pNotes; }
    QSpinBox* clockOffsetBox() const { return m_pClockOffset; }

signals:
    // The section was opened or folded; the dialog fits its size to it.
    void expandedChanged(bool bExpanded);

private:
    QToolButton* m_pHeader = nullptr;
    QWidget* m_pFields = nullptr;
    QLineEdit* m_pCaseNumber = nullptr;
    QLineEdit* m_pExaminer = nullptr;
    QLineEdit* m_pEvidenceNumber = nullptr;
    QPlainTextEdit* m_pNotes = nullptr;
    QSpinBox* m_pClockOffset = nullptr;
};

#endif
