#include "app/display/TimelineDay.h"

int TimelineDay::recordingCount() const
{
    int n = 0;
    for (const TimelineRow& row : rows)
        n += row.recordings.size();
    return n;
}

int TimelineDay::rowOfChannel(int nChannel) const
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].nChannel == nChannel)
            return i;
    }
    return -1;
}

const TimelineRecording* TimelineDay::recordingAt(int nRow, int nSecond) const
{
    if (nRow < 0 || nRow >= rows.size())
        return nullptr;
    for (const TimelineRecording& r : rows[nRow].recordings) {
        if (r.nStart > nSecond)
            break;
        if (nSecond < r.nEnd)
            return &r;
    }
    return nullptr;
}
