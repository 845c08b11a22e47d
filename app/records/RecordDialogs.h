#ifndef ORVELLE_APP_RECORDS_RECORDDIALOGS_H
#define ORVELLE_APP_RECORDS_RECORDDIALOGS_H

// The export and cut dialogs as the record pages open them: modally, the
// export with the paths in the shared export queue, the cut with one
// recording's path.

class QDateTime;
class QString;
class QWidget;
struct TimelineDay;

// Runs the export dialog over CGlobalAppData::exportQueue until it closes.
bool RunExportDialog(QWidget* pParent);
// Runs the cut dialog for one recording until it closes.
bool RunCutDialog(QWidget* pParent, const QString& strFilePath);
// Runs the range export dialog for a window of a timeline's day.
bool RunRangeExportDialog(QWidget* pParent, const TimelineDay& day, const QDateTime& from, const QDateTime& to);

#endif
