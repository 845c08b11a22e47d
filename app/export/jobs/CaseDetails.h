// What the examiner tells a job about the case it serves. The export, cut
// and range export jobs copy these fields into their examination report;
// they never change what is exported or how files are named.
#pragma once

#include <QString>

struct CaseDetails {
    QString caseNumber;
    QString examiner;
    QString evidenceNumber;
    QString notes;
    // The recorder's clock minus true time, in seconds. The report shows the
    // corrected times beside the recorder's own when it is not 0.
    int clockOffsetS = 0;
};
