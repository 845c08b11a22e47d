#include "app/records/RecordDialogs.h"

#include "app/export/CutFileDlg.h"
#include "app/export/ExportFileDlg.h"
#include "app/export/RangeExportDlg.h"

#include <QString>

bool RunExportDialog(QWidget* pParent)
{
    CExportFileDlg dlg(pParent);
    dlg.exec();
    return true;
}

bool RunCutDialog(QWidget* pParent, const QString& strFilePath)
{
    CCutFileDlg dlg(strFilePath, pParent);
    dlg.exec();
    return true;
}

bool RunRangeExportDialog(QWidget* pParent, const TimelineDay& day, const QDateTime& from, const QDateTime& to)
{
    CRangeExportDlg dlg(day, from, to, pParent);
    dlg.exec();
    return true;
}
