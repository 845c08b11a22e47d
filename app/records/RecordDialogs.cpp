#include "app/records/RecordDialogs.h"

#include "app/export/CutFileDlg.h"
#include "app/export/ExportFileDlg.h"

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
