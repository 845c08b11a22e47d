#ifndef ORVELLE_APP_SHELL_SERVICEAGREEMENTDLG_H
#define ORVELLE_APP_SHELL_SERVICEAGREEMENTDLG_H

// The service agreement: a modal, frameless, always-on-top dialog of
// 550 x 650 pixels that shows a text file as plain text, with one button
// that closes it.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class CServiceAgreementDlg : public QDialog
{
    Q_OBJECT

public:
    enum { Width = 550, Height = 650 };

    // Shows the file's text; nothing when the file cannot be read.
    explicit CServiceAgreementDlg(const QString& strFile, QWidget* parent = nullptr);

    QString text() const;
    QPushButton* closeButton() const { return m_pButton; }

private:
    QPlainTextEdit* m_pText = nullptr;
    QPushButton* m_pButton = nullptr;
};

#endif
