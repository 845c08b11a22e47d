#ifndef ORVELLE_APP_RECORDS_RECORDLISTMANAGE_H
#define ORVELLE_APP_RECORDS_RECORDLISTMANAGE_H

// The left side of the main window: the Disk and Local record pages as two
// tabs. Their requests leave as this object's signals; the display box's
// requests come back here and go to the page that fits.

#include "app/display/TimelineDay.h"

#include <QDateTime>
#include <QString>
#include <QWidget>

class QTabWidget;
class CDirManagePage;
class CDiskManagePage;
class CRecordPage;

class CRecordListManage : public QWidget
{
    Q_OBJECT

public:
    explicit CRecordListManage(QWidget* parent = nullptr);

    // The disk page's start-up load.
    void InitialLoad();
    // Stops the disk page's loading thread and waits for it (program end,
    // before the play manager and the settings are released).
    void StopLoad();

    CDiskManagePage* diskPage() const { return m_pDiskPage; }
    CDirManagePage* localPage() const { return m_pLocalPage; }
    QTabWidget* tabWidget() const { return m_pTabWidget; }

signals:
    void playRecord(QString strFilePath, bool bSync = false);
    void selectVideoWnd(QString strFileName);
    void changeWndMode(int nWndNum);
    void syncPlay(int nSyncTime);
    void diskChanged();
    // The day the timeline shows: from the page the user works in.
    void daySelected(TimelineDay day);

public slots:
    void onPlayRecordResponse();
    void onSelectRecord(QString strFileName);
    void onTabCurrentIndexChanged(int nIndex);
    // The timeline's "Export range", run by the page its day came from.
    void onExportRange(TimelineDay day, QDateTime from, QDateTime to);

private:
    CDirManagePage* m_pLocalPage;
    CDiskManagePage* m_pDiskPage;
    QTabWidget* m_pTabWidget;
    CRecordPage* m_pDayPage = nullptr;  // the page whose day the timeline shows
};

#endif
