#include "app/shell/QuitOnSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

const int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
// [0] is written by the handler, [1] read on the GUI thread.
int g_fds[2] = {-1, -1};

void onQuitSignal(int nSignal)
{
    const int nSaved = errno;
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    // A full socket needs nothing more: a quit is already on its way.
    const ssize_t nWritten = write(g_fds[0], &byte, 1);
    (void)nWritten;
    errno = nSaved;
}

void setHandlers(void (*pfnHandler)(int))
{
    struct sigaction action{};
    action.sa_handler = pfnHandler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int nSignal : kQuitSignals)
        sigaction(nSignal, &action, nullptr);
}

}  // namespace

CQuitOnSignals::CQuitOnSignals(QObject* parent)
    : QObject(parent)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) {
        qWarning() << "Stop signals: no socket pair, the program ends on them without saving";
        return;
    }
    m_pNotifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CQuitOnSignals::onSignal);
    setHandlers(&onQuitSignal);
}

CQuitOnSignals::~CQuitOnSignals()
{
    if (g_fds[0] < 0)
        return;
    setHandlers(SIG_DFL);
    close(g_fds[0]);
    close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void CQuitOnSignals::onSignal()
{
    unsigned char byte = 0;
    while (read(g_fds[1], &byte, 1) == 1)
        m_nSignal = byte;
    m_pNotifier->setEnabled(false);
    // From now on a signal ends the process at once.
    setHandlers(SIG_DFL);
    qInfo() << "Stop signal" << m_nSignal << "- leaving as the Close button does";
    // Before the main loop runs (a start-up step that processes events),
    // exit() would be forgotten when exec() begins; main() asks
    // receivedSignal() before it enters the loop.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}
