#ifndef ORVELLE_APP_RECORDS_TIMELINESOURCE_H
#define ORVELLE_APP_RECORDS_TIMELINESOURCE_H

// The day timeline's view of a record page: the recordings of one date item
// of the tree (one date of one partition or local folder), with the
// recordings of the day before that pass midnight into it, and the
// recordings of the days around it that a range export may need.

#include "app/display/TimelineDay.h"

class CRecordPage;
class QStandardItem;

namespace TimelineSource {

// The day of a date item (level 2); an empty day for anything else.
TimelineDay dayOf(const CRecordPage* pPage, QStandardItem* pDateItem);

// The date item at or above an item (its own for levels 2 to 4), or null.
QStandardItem* dateItemOf(QStandardItem* pItem);

}  // namespace TimelineSource

#endif
