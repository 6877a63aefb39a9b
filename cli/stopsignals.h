#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace brenvo::cli {

// Turns SIGINT and SIGTERM into a Qt signal on the main thread: the handler
// only writes the signal's number to a pipe, whose read end the event loop
// watches. stopRequested() comes once. Signals within two seconds of the
// first are repeats of it (GNU timeout signals the program and then its
// process group) and change nothing, so the stop that follows (removing the
// port mapping, saving) is never cut short by them; a later one says so and
// ends the process with the signal's default action, for a stop that hangs.
//
// One instance at a time; the handlers are put back on destruction.
class StopSignals : public QObject {
    Q_OBJECT
public:
    StopSignals();
    ~StopSignals() override;

    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

signals:
    void stopRequested(int signalNumber);

private:
    void readPipe();

    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace brenvo::cli
