// A job's progress on stderr, for the commands that run the export and cut
// workers: the status text, then the percentage of the 0..1000 position on
// the same line. A new status replaces a line that shows no percentage yet
// (a cut's search for its start updates it many times) and starts a new line
// after one that does, so each finished step stays visible.
#pragma once

#include <QObject>
#include <QString>

#include <cstdio>
#include <memory>

namespace cli {

template <class Job>
void show_job_progress(Job *job)
{
    struct Line {
        QString status;
        int percent = -1;
    };
    auto line = std::make_shared<Line>();
    QObject::connect(job, &Job::updateExportStatus, [line](const QString &text) {
        if (text == line->status)
            return;
        std::fprintf(stderr, line->percent >= 0 ? "\n%s" : "\r%s\033[K", text.toLocal8Bit().constData());
        std::fflush(stderr);
        line->status = text;
        line->percent = -1;
    });
    QObject::connect(job, &Job::updateProcess, [line](int pos) {
        const int percent = pos / 10;
        if (pos < 0 || percent == line->percent || line->status.isEmpty())
            return;
        line->percent = percent;
        std::fprintf(stderr, "\r%s %3d%%\033[K", line->status.toLocal8Bit().constData(), percent);
        std::fflush(stderr);
    });
}

}  // namespace cli
