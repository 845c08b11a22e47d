#ifndef ORVELLE_APP_RECORDS_RECORDDIALOGS_H
#define ORVELLE_APP_RECORDS_RECORDDIALOGS_H

// The export and cut dialogs as the record pages open them: modally, the
// export with the paths in the shared export queue, the cut with one
// recording's path.

class QString;
class QWidget;

// Runs the export dialog over CGlobalAppData::exportQueue until it closes.
bool RunExportDialog(QWidget* pParent);
// Runs the cut dialog for one recording until it closes.
bool RunCutDialog(QWidget* pParent, const QString& strFilePath);

#endif
