#include "quitonsignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace Pinrova::Platform {

namespace {

sigset_t quitSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

bool QuitOnSignal::blockSignals()
{
    const sigset_t set = quitSignals();
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

QuitOnSignal::QuitOnSignal(QObject *parent)
    : QObject(parent)
{
    const sigset_t set = quitSignals();
    m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignal::readSignal);
}

QuitOnSignal::~QuitOnSignal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void QuitOnSignal::readSignal()
{
    signalfd_siginfo info;
    while (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) { }
    QCoreApplication::quit();
}

} // namespace Pinrova::Platform
