#ifndef ORVELLE_APP_RECORDS_LOCALFOLDERCHECK_H
#define ORVELLE_APP_RECORDS_LOCALFOLDERCHECK_H

// Checks a local record folder against its "SHA256SUMS" on a thread of its
// own: a folder of gigabytes takes a while to hash, and the window must go on
// answering meanwhile. The result comes back on the owner's thread through
// finished(); a check that was stopped (a new folder, the page going away)
// reports nothing.

#include "app/export/jobs/HashManifest.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

class CLocalFolderCheck : public QObject
{
    Q_OBJECT

public:
    explicit CLocalFolderCheck(QObject* parent = nullptr);
    ~CLocalFolderCheck() override;

    // Starts checking a folder; a check still running is stopped first.
    void start(const QString& strFolder);
    // Stops a running check and waits for its thread.
    void stop();
    bool isRunning() const { return m_bRunning.load(); }

signals:
    void finished(QString strFolder, HashManifest::CheckResult result);

protected:
    bool event(QEvent* event) override;

private:
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRunning{false};
    unsigned m_nGeneration = 0;  // of the check now running; GUI thread
};

#endif
