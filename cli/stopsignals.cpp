#include "cli/stopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace brenvo::cli {

namespace {

volatile sig_atomic_t g_writeFd = -1;

void onSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (g_writeFd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    }
    errno = saved;
}

void install(int number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

}  // namespace

StopSignals::StopSignals()
{
    if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_fds[0] = m_fds[1] = -1;
        return;
    }
    g_writeFd = m_fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::readPipe);
    install(SIGINT, onSignal);
    install(SIGTERM, onSignal);
}

StopSignals::~StopSignals()
{
    install(SIGINT, SIG_DFL);
    install(SIGTERM, SIG_DFL);
    g_writeFd = -1;
    m_notifier.reset();
    for (int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

void StopSignals::readPipe()
{
    unsigned char byte = 0;
    int number = 0;
    while (::read(m_fds[0], &byte, 1) == 1)
        number = byte;
    if (number == 0)
        return;
    install(SIGINT, SIG_DFL);
    install(SIGTERM, SIG_DFL);
    emit stopRequested(number);
}

}  // namespace brenvo::cli
