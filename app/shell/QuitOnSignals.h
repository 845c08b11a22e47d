#ifndef ORVELLE_APP_SHELL_QUITONSIGNALS_H
#define ORVELLE_APP_SHELL_QUITONSIGNALS_H

// Ends the event loop when the process is asked to stop (SIGTERM from a
// session logout or `kill`, SIGINT from Ctrl+C in a terminal, SIGHUP when the
// terminal goes), so that the program leaves the way its Close button does:
// the play channels stop and the settings are written. The signal handler
// only writes a byte to a socket pair; the GUI thread reads it through a
// socket notifier and quits there. A second signal while the program shuts
// down ends it at once, as the signal normally would.

#include <QObject>

class QSocketNotifier;

class CQuitOnSignals : public QObject
{
    Q_OBJECT

public:
    // Installs the handlers; one object per process.
    explicit CQuitOnSignals(QObject* parent = nullptr);
    ~CQuitOnSignals() override;

    // The signal that asked the program to stop, or 0. A signal that came
    // during the start-up, before the main loop ran, is only recorded here:
    // the caller then leaves without entering the loop.
    int receivedSignal() const { return m_nSignal; }

private slots:
    void onSignal();

private:
    QSocketNotifier* m_pNotifier = nullptr;
    int m_nSignal = 0;
};

#endif
