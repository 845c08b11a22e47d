#ifndef ORVELLE_APP_RECORDS_DIRMANAGEPAGE_H
#define ORVELLE_APP_RECORDS_DIRMANAGEPAGE_H

// The "Local" page of the record list: the recordings of a folder that an
// earlier export filled, read from its "index.data" and shown in the same
// five-level tree as the disk page, rooted at the folder. Play, sync play
// and cut work on the local files as on disk recordings.
//
// A folder with a "SHA256SUMS" is checked against it on a worker thread once
// its tree is shown; recordings whose file does not match get a warning icon
// and tooltip, and a notice tells how the check came out.

#include "app/export/jobs/HashManifest.h"
#include "app/records/RecordPage.h"

#include <QMap>
#include <QMutex>

class QToolButton;
class CLocalFolderCheck;

class CDirManagePage : public CRecordPage
{
    Q_OBJECT

public:
    explicit CDirManagePage(QWidget* parent = nullptr);

    // Replaces the tree with the recordings of one folder. False (with a
    // notice) when the folder has no "index.data" or none of its files.
    bool LoadLocalDir(const QString& strDir);

    QString directory() const { return m_strDir; }
    QString recordingPath(const QModelIndex& index) const override;
    QMenu* buildContextMenu(const QModelIndex& index) override;
    QToolButton* addDirButton() const { return m_pAddDirButton; }
    // The check against "SHA256SUMS" of the folder shown (tests wait on it).
    CLocalFolderCheck* folderCheck() const { return m_pCheck; }
    // The icon of a recording whose file does not match "SHA256SUMS".
    QIcon mismatchIcon() const { return m_mismatchIcon; }

public slots:
    void onAddLocalDir();
    void LoadRecordByRecordPath(QString strPath);

protected:
    void runCommand(int nCommand) override;

private slots:
    void onFolderChecked(QString strFolder, HashManifest::CheckResult result);

private:
    QMutex m_mutex;
    QMap<QString, QString> m_recordMap;
    QString m_strDir;
    QToolButton* m_pAddDirButton;
    CLocalFolderCheck* m_pCheck;
    QIcon m_mismatchIcon;
};

#endif
