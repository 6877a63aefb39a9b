#include "cli/stopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace brenvo::cli {

namespace {

volatile sig_atomic_t g_writeFd = -1;
// Set by the first signal; the handlers are serialised (each blocks both).
volatile sig_atomic_t g_stopping = 0;
timespec g_firstAt = {};

// GNU timeout sends its signal to the program and then to the program's
// process group, and a user may press Ctrl-C twice at once: a repeat this
// close to the first signal is the same request.
constexpr long kRepeatWindowMs = 2000;

long millisecondsSince(const timespec& then)
{
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - then.tv_sec) * 1000L + (now.tv_nsec - then.tv_nsec) / 1000000L;
}

void onSignal(int number)
{
    const int saved = errno;
    if (!g_stopping) {
        g_stopping = 1;
        ::clock_gettime(CLOCK_MONOTONIC, &g_firstAt);
        const unsigned char byte = static_cast<unsigned char>(number);
        if (g_writeFd >= 0) {
            [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
        }
    } else if (millisecondsSince(g_firstAt) >= kRepeatWindowMs) {
        // A later, deliberate signal: the stop hangs, end the process.
        static const char message[] = "brenvo-cli: stopping at once: the state may not be saved and a port "
                                      "mapping may stay on the router\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::signal(number, SIG_DFL);
        ::raise(number);  // delivered with the default action once this handler returns
    }
    errno = saved;
}

void install(int number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
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
    g_stopping = 0;
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
    emit stopRequested(number);
}

}  // namespace brenvo::cli
